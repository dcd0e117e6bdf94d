// quillory-watch-shots --data DIR --browser HOST:PORT --out DIR [--seconds N] [-connect=...]...
// Opens the main window as the program does (settings and database from DIR, the browser
// server given), lets it watch for a while, saves a picture of it, then presses "Gantry browser"
// and saves a picture of the server browser once its rows have arrived. Words after the
// options are the program's own command line.
#include "net/BrowserHost.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "watch/BrowserDialog.h"
#include "watch/EngineBrowserLink.h"
#include "watch/EngineWatch.h"
#include "watch/Notifier.h"
#include "watch/WatchDialog.h"
#include "watch/WatchLauncher.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace quillory;
using namespace quillory::ui;

namespace {

constexpr int kPollMs = 100;
// Nothing here may wait forever: a window that never fills fails the run instead.
constexpr int kGiveUpMs = 60000;

// The pictures need no sound; the real notifier would open the audio device.
class CSilentNotifier final : public INotifier {
public:
    void Play(int) override {}
    void Flash() override {}
};

bool Save(QWidget& widget, const QString& path) {
    QApplication::processEvents();
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "saved" : "could not save", path.toLocal8Bit().constData());
    return saved;
}

// Mid-round: players listed, the Gantry server answered and the news shown.
bool WindowFilled(CWatchDialog& window) {
    const auto* players = window.findChild<QTreeWidget*>(QStringLiteral("playersList"));
    const auto* gantry = window.findChild<QLabel*>(QStringLiteral("gantryField"));
    const auto* news = window.findChild<QPlainTextEdit*>(QStringLiteral("newsEdit"));
    return players != nullptr && players->topLevelItemCount() > 0 && gantry != nullptr &&
           gantry->text() == QStringLiteral("Yes") && news != nullptr &&
           !news->toPlainText().isEmpty() && window.ManagerBlink();
}

// Waits in the event loop until `ready` holds or the time is up; true when it held.
template <typename Ready> bool WaitFor(Ready ready, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += kPollMs) {
        if (ready())
            return true;
        QEventLoop loop;
        QTimer::singleShot(kPollMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return ready();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillory"));
    std::map<std::string, std::string> options;
    std::vector<String> words = {ToLocal(QCoreApplication::applicationFilePath())};
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind("--", 0) == 0 && i + 1 < argc)
            options[word] = argv[++i];
        else
            words.push_back(word);
    }
    for (const char* needed : {"--data", "--browser", "--out"}) {
        if (!options.count(needed)) {
            std::fputs("usage: quillory-watch-shots --data DIR --browser HOST:PORT --out DIR "
                       "[--seconds N] [PROGRAM WORDS...]\n",
                       stderr);
            return 2;
        }
    }
    const QString out = QString::fromStdString(options["--out"]) + QStringLiteral("/");
    const int seconds = options.count("--seconds") ? std::stoi(options["--seconds"]) : 0;
    const auto endpoint = ParseBrowserEndpoint(options["--browser"]);
    if (!endpoint) {
        std::fputs("quillory-watch-shots: --browser must be HOST[:PORT]\n", stderr);
        return 2;
    }

    CMessageBoxes messageBoxes;
    CWatchLauncher launcher(CWatchLauncher::Parts{});
    CSilentNotifier notifier;
    CEngineWatch engine;
    if (!engine.Start(options["--data"]))
        std::fputs("quillory-watch-shots: cannot open a UDP socket; no server is watched\n",
                   stderr);
    CEngineBrowserLink browser(engine.Watch());

    CWatchDialog::Parts parts;
    parts.watch = &engine;
    parts.messageBoxes = &messageBoxes;
    parts.launcher = &launcher;
    parts.notifier = &notifier;
    parts.dataFolder = options["--data"];
    parts.browser = &browser;
    parts.browserEndpoint = *endpoint;
    CWatchDialog window(parts);
    window.show();
    window.Open(words);

    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &giveUp, [] {
        std::fputs("quillory-watch-shots: the window did not fill in time\n", stderr);
        std::exit(1);
    });
    giveUp.start(kGiveUpMs);

    // A few seconds more than the fill itself, so the round has moved on and the list is long.
    bool ok = WaitFor([&] { return WindowFilled(window); }, kGiveUpMs);
    // A tick or two more, so the Manager button has started to blink.
    WaitFor([] { return false; }, std::max(seconds * 1000, 2 * CWatchDialog::TICK_MS));
    // The Link button blinks too: its caption is empty one tick in four.
    const auto* link = window.findChild<QPushButton*>(QStringLiteral("linkButton"));
    WaitFor([&] { return link != nullptr && !link->text().isEmpty(); }, kGiveUpMs);
    ok = ok && Save(window, out + QStringLiteral("main-window.png"));

    // "Gantry browser" runs the dialog modally; the picture is taken from inside its loop.
    bool browserSaved = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto* dialog = qobject_cast<CBrowserDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        const auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("serverList"));
        if (list == nullptr || list->topLevelItemCount() < 2)
            return;
        // Every listed server asked and each row filled in, or marked silent.
        const auto* summary = dialog->findChild<QLabel*>(QStringLiteral("summaryLabel"));
        if (summary == nullptr || summary->text().isEmpty() ||
            summary->text().startsWith(QStringLiteral("Asking")))
            return;
        poll.stop();
        dialog->findChild<QTreeWidget*>(QStringLiteral("serverList"))
            ->topLevelItem(0)
            ->setSelected(true);
        dialog->Refresh();
        browserSaved = Save(*dialog, out + QStringLiteral("browser.png"));
        dialog->reject();
    });
    poll.start(kPollMs);
    // The dialog opens once the browser server's name is looked up.
    window.Browse();
    WaitFor([&] { return browserSaved; }, kGiveUpMs);
    poll.stop();

    window.accept();
    return ok && browserSaved ? 0 : 1;
}
