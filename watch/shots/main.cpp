// quillory-watch-shots --data DIR --browser HOST:PORT --out DIR [--seconds N]
//     [--table NAME@ADDRESS,...] [--friend NAME] [-connect=...]...
// Opens the main window as the program does (settings and database from DIR, the browser
// server given), lets it watch for a while, saves a picture of it, then presses "Gantry browser"
// and saves a picture of the server browser once its rows have arrived. With --table, the
// entries are added to the list and a picture of the table, the players plot and the friend's
// arrival is saved too. Words after the options are the program's own command line.
#include "net/BrowserHost.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "watch/BrowserDialog.h"
#include "watch/EngineBrowserLink.h"
#include "watch/EngineWatch.h"
#include "watch/Notifier.h"
#include "watch/ServersOverview.h"
#include "watch/WatchDialog.h"
#include "watch/WatchLauncher.h"
#include "watch/core/ServersTableRow.h"
#include "watch/core/UserConfigFile.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

// The friend is in the data folder's choices before the window opens, as a player's would be.
void StoreFriend(const String& folder, const String& name) {
    CUserConfigFile file;
    UserConfigLoad load = file.Load(folder);
    load.config.friends = {name};
    file.Save(folder, load.config, load.history);
}

// The entries NAME@ADDRESS, added to the list with their names; the watched one stays selected.
void AddEntries(CWatchDialog& window, const std::string& list) {
    const int watched = window.SelectedIndex();
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string item = list.substr(start, end - start);
        start = end + 1;
        const size_t at = item.find('@');
        if (at == std::string::npos)
            continue;
        ServerEntry typed;
        typed.address = item.substr(at + 1);
        window.AddServer(typed);
        typed.description = item.substr(0, at);
        window.EditServer(typed);
    }
    window.SelectServer(watched);
}

// The afternoon as the plot keeps it: a server that fills towards the evening, rounds of about
// forty minutes. Made up here, since a picture cannot wait six hours.
void FillHistory(CWatchDialog& window) {
    const Handle<ServerEntry> entry = window.SelectedEntry();
    if (!entry)
        return;
    const int64_t now = std::time(nullptr);
    for (int64_t minutes = 6 * 60; minutes > 0; --minutes) {
        const int64_t hour = minutes / 60;
        const int players = int(std::min<int64_t>(16, 2 + (6 - hour) * 2 + (minutes % 40) / 10));
        window.History().Add(entry->address,
                             HistorySample{now - minutes * 60, players, 16, minutes % 40 == 0});
    }
}

bool TableFilled(CWatchDialog& window) {
    for (const ServersTableRow& row : window.Overview().Rows())
        if (row.status == ASKING_TEXT)
            return false;
    const auto* notice = window.findChild<QLabel*>(QStringLiteral("noticeLine"));
    return notice != nullptr && notice->text().contains(QStringLiteral("joined"));
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

    if (options.count("--friend"))
        StoreFriend(options["--data"], options["--friend"]);

    CWatchDialog::Parts parts;
    parts.watch = &engine;
    parts.messageBoxes = &messageBoxes;
    parts.launcher = &launcher;
    parts.notifier = &notifier;
    parts.dataFolder = options["--data"];
    parts.browser = &browser;
    parts.browserEndpoint = *endpoint;
    parts.refreshServers = options.count("--table") != 0;
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

    bool tableSaved = true;
    if (options.count("--table")) {
        AddEntries(window, options["--table"]);
        FillHistory(window);
        // The watched server was chosen again after the additions: its fields fill anew.
        tableSaved =
            WaitFor([&] { return TableFilled(window) && WindowFilled(window); }, kGiveUpMs) &&
            Save(window, out + QStringLiteral("servers.png"));
    }

    window.accept();
    return ok && browserSaved && tableSaved ? 0 : 1;
}
