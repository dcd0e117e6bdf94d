// The main window and the browser server: start-up news, the news box and the Link button,
// "Gantry browser" with the server browser, and the self-upgrade's window side.
#include "TestMain.h"
#include "WatchFakes.h"
#include "tests/support/SimRun.h"

#include "platform/HostResolve.h"
#include "platform/UdpSocket.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/MinisignKeys.h"
#include "tests/support/ScopedUnprivileged.h"
#include "tests/support/ZipBuilder.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "watch/BrowserDialog.h"
#include "watch/BrowserLink.h"
#include "watch/EngineBrowserLink.h"
#include "watch/EngineWatch.h"
#include "watch/WatchDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstring>
#include <mutex>

using namespace quillory;
using namespace quillory::ui;
using quillory::test::CCountingLauncher;
using quillory::test::CRecordingNotifier;
using quillory::test::CScriptedWatch;

namespace {

// A browser client that records what the window asks and answers from its fields. The
// upgrade's thread sets the progress, so the fields are guarded.
class CScriptedBrowser final : public IBrowserLink {
public:
    struct Query {
        uint32_t address;
        uint16_t port;
    };

    void QueryNews(uint32_t address, uint16_t port) override {
        std::lock_guard guard(mutex);
        newsQueries.push_back({address, port});
    }
    void QueryServerList(uint32_t address, uint16_t port) override {
        std::lock_guard guard(mutex);
        listQueries.push_back({address, port});
    }
    // Only dotted addresses and empty hosts here: resolved at once, handed back as the
    // engine's thread does.
    void ResolveHost(const String& host, std::function<void(uint32_t)> done) override {
        done(quillory::ResolveHost(host));
    }
    void ClearPublicServers() override {
        std::lock_guard guard(mutex);
        servers.clear();
        ++clears;
    }
    void TakePublicServers(HandleArray<PublicServer>& into) override {
        std::lock_guard guard(mutex);
        into.insert(into.end(), servers.begin(), servers.end());
        servers.clear();
    }
    void SetUpgradeProgress(const std::optional<String>& text) override {
        std::lock_guard guard(mutex);
        progress = text.value_or(String());
    }
    String Progress() {
        std::lock_guard guard(mutex);
        return progress;
    }

    std::mutex mutex;
    std::vector<Query> newsQueries;
    std::vector<Query> listQueries;
    HandleArray<PublicServer> servers;
    String progress;
    int clears = 0;
};

Handle<PublicServer> Public(const char* name, uint8_t last, uint16_t port, uint8_t flags) {
    const uint8_t bytes[4] = {127, 10, 0, last};
    uint32_t address = 0;
    std::memcpy(&address, bytes, 4);
    return std::make_shared<PublicServer>(PublicServer{name, address, port, 3, flags});
}

struct BrowsingWindow {
    explicit BrowsingWindow(const String& browserHost = "127.0.0.1") {
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.notifier = &notifier;
        parts.dataFolder = folder.path().toStdString();
        parts.browser = &browser;
        parts.browserEndpoint = {browserHost, 48200};
        parts.openUrl = [this](const QUrl& url) {
            opened.push_back(url.toString());
            return true;
        };
        window = std::make_unique<CWatchDialog>(parts);
        QDir(folder.path()).mkdir(QStringLiteral("program"));
        const String program = folder.path().toStdString() + "/program/quillory";
        QFile file(QString::fromStdString(program));
        if (file.open(QIODevice::WriteOnly))
            file.write("old program");
        window->Open({program, "-connect=127.0.0.1", "-port=2302"});
        window->StopTimer();
    }

    String ProgramFolder() const { return folder.path().toStdString() + "/program/"; }

    template <typename T> T* Find(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    void SetNews(const String& text, const String& link, const String& file, bool offered) {
        watch.news = {text, link, file, offered};
    }

    QTemporaryDir folder;
    CScriptedWatch watch;
    CMessageBoxes boxes;
    CCountingLauncher launcher;
    CRecordingNotifier notifier;
    CScriptedBrowser browser;
    QStringList opened;
    std::unique_ptr<CWatchDialog> window;
};

// Runs `act` on the server browser once it is up (it runs modally once Browse has the browser
// server's address); a check that fails inside `act` still closes it, so the test ends. The
// flag returned is set once `act` ran and the window has gone on after the dialog.
std::shared_ptr<bool> OnBrowserDialog(QWidget* window, std::function<void(CBrowserDialog&)> act) {
    auto acted = std::make_shared<bool>(false);
    auto* poll = new QTimer(window);
    QObject::connect(poll, &QTimer::timeout, window, [window, poll, act, acted] {
        CBrowserDialog* dialog = window->findChild<CBrowserDialog*>();
        if (dialog == nullptr || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        // Set first: a failed check below returns early, and the test must not wait forever.
        *acted = true;
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    poll->start(20);
    return acted;
}

void PickRow(CBrowserDialog& dialog, int row) {
    dialog.Refresh();
    auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
    QVERIFY(list->topLevelItemCount() > row);
    list->setCurrentItem(list->topLevelItem(row));
    dialog.findChild<QPushButton*>(QStringLiteral("selectButton"))->click();
}

// With QUILLORY_TEST_SHOTS set to a folder, the widget's picture is saved there for a look.
void SaveShot(QWidget& widget, const char* name) {
    const QString folder = qEnvironmentVariable("QUILLORY_TEST_SHOTS");
    if (!folder.isEmpty())
        widget.grab().save(QDir(folder).filePath(QString::fromLatin1(name)));
}

// Runs the process in `folder` as its current directory, where the upgrade downloads.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const QString& folder) : old_(QDir::currentPath()) {
        QDir::setCurrent(folder);
    }
    ~ScopedCurrentDir() { QDir::setCurrent(old_); }

private:
    QString old_;
};

} // namespace

class WatchBrowserTest : public QObject {
    Q_OBJECT

private slots:
    void startUpAsksForTheNewsOnceTheHostIsResolved() {
        BrowsingWindow w;
        QTRY_COMPARE(w.browser.newsQueries.size(), size_t(1));
        QCOMPARE(w.browser.newsQueries[0].address, LoopbackAddress());
        QCOMPARE(w.browser.newsQueries[0].port, uint16_t(48200));
    }

    void browseAddsTheChosenServerAndWatchesIt() {
        BrowsingWindow w;
        auto* list = w.Find<QComboBox>("serverList");
        QVERIFY(list != nullptr);
        const int before = list->count();
        // Left from an earlier browse: emptied before the request goes out.
        w.browser.servers = {Public("Stale", 9, 2302, 1)};
        const auto acted = OnBrowserDialog(w.window.get(), [&w](CBrowserDialog& dialog) {
            w.browser.servers = {Public("Alpha", 7, 2302, 1), Public("Beta", 8, 2402, 1)};
            PickRow(dialog, 1);
        });
        w.window->Browse();
        QTRY_VERIFY(*acted);
        QCOMPARE(w.browser.clears, 1);
        QCOMPARE(w.browser.listQueries.size(), size_t(1));
        QCOMPARE(w.browser.listQueries[0].port, uint16_t(48200));
        QCOMPARE(list->count(), before + 1);
        QCOMPARE(list->currentIndex(), before);
        QCOMPARE(list->currentText(), QStringLiteral("127.10.0.8:2402"));
        QVERIFY(!w.watch.selected.empty());
        QCOMPARE(w.watch.selected.back().address, String("127.10.0.8:2402"));
    }

    void browseSelectsAnEntryThatHasTheAddress() {
        BrowsingWindow w;
        auto* list = w.Find<QComboBox>("serverList");
        const int before = list->count();
        const auto acted = OnBrowserDialog(w.window.get(), [&w](CBrowserDialog& dialog) {
            // The command line's server, as the browser lists it.
            w.browser.servers = {std::make_shared<PublicServer>(
                PublicServer{"Self", LoopbackAddress(), 2302, 1, 1})};
            PickRow(dialog, 0);
        });
        w.window->Browse();
        QTRY_VERIFY(*acted);
        QCOMPARE(list->count(), before);
        QCOMPARE(w.window->Entries()[size_t(list->currentIndex())]->address,
                 String("127.0.0.1:2302"));
    }

    void aSecondBrowseWhileTheFirstRunsIsIgnored() {
        BrowsingWindow w;
        const auto acted = OnBrowserDialog(w.window.get(), [](CBrowserDialog&) {});
        w.window->Browse();
        w.window->Browse(); // before the name is known: the browser opens once
        QTRY_VERIFY(*acted);
        QCOMPARE(w.browser.clears, 1);
        QCOMPARE(w.browser.listQueries.size(), size_t(1));
        QVERIFY(w.window->findChild<CBrowserDialog*>() == nullptr);
        // Closed again: the next click browses.
        const auto again = OnBrowserDialog(w.window.get(), [](CBrowserDialog&) {});
        w.window->Browse();
        QTRY_VERIFY(*again);
        QCOMPARE(w.browser.listQueries.size(), size_t(2));
    }

    void browseWithoutAResolvableHostSaysSo() {
        BrowsingWindow w("");
        w.boxes.QueueAnswer(QMessageBox::Ok);
        w.window->Browse();
        QTRY_COMPARE(w.boxes.Asked().size(), 1);
        QVERIFY(w.boxes.Asked()[0].endsWith(
            QStringLiteral("Trouble resolving browser server address\nPlease try again")));
        QVERIFY(w.browser.listQueries.empty());
    }

    // Serves a signed upgrade archive holding a new program; the window trusts the test's key.
    static void ServeUpgrade(test::FakeHttpServer& http, const QTemporaryDir& work) {
        const QString built = work.filePath(QStringLiteral("built.zip"));
        QVERIFY(test::ZipBuilder()
                    .AddUnix("quillory", "new program", 0100755)
                    .Add("readme.txt", "new readme")
                    .Write(built.toStdString()));
        test::MinisignKeys keys(work.filePath(QStringLiteral("keys")).toStdString());
        QVERIFY(keys.Ok());
        const auto signature = keys.Sign(built.toStdString());
        QVERIFY(signature.has_value());
        qputenv("QUILLORY_UPGRADE_KEY", keys.PublicKeyFile().string().c_str());
        QFile file(built);
        QVERIFY(file.open(QIODevice::ReadOnly));
        http.Serve("/quillory.OZP", file.readAll().toStdString());
        http.Serve("/quillory.OZP.minisig", *signature);
        file.close();
        QFile::remove(built);
        QVERIFY(http.Start());
    }

    void upgradeReplacesTheProgramAndAsksForARestart() {
        BrowsingWindow w;
        QTemporaryDir work;
        ScopedCurrentDir cwd(work.path());
        test::FakeHttpServer http;
        ServeUpgrade(http, work);

        w.SetNews("Upgrade", "Get it", http.Url("/quillory.OZP"), true);
        w.window->Tick();
        w.boxes.QueueAnswer(QMessageBox::Ok);
        w.window->show();
        w.Find<QPushButton>("linkButton")->click();
        QVERIFY(!w.watch.news.upgradeOffered);
        // Only Cancel and "Close" can be pressed while it runs.
        QVERIFY(!w.Find<QPushButton>("linkButton")->isEnabled());
        QVERIFY(!w.Find<QComboBox>("serverList")->isEnabled());
        QVERIFY(w.Find<QPushButton>("cancelUpgradeButton")->isVisible());
        QTRY_VERIFY(!w.window->UpgradeRunning());
        QCOMPARE(w.boxes.Asked(),
                 QStringList{QStringLiteral("Quillory upgrade: Quillory will now restart")});
        QCOMPARE(w.window->result(), int(QDialog::Accepted));
        QVERIFY(w.window->Closed());
        QVERIFY(w.window->RestartRequested());
        const QDir program(QString::fromStdString(w.ProgramFolder()));
        QFile replaced(program.filePath(QStringLiteral("quillory")));
        QVERIFY(replaced.open(QIODevice::ReadOnly));
        QCOMPARE(replaced.readAll(), QByteArray("new program"));
        QCOMPARE(program.entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("quillory"), QStringLiteral("readme.txt")}));
        QVERIFY(!QFile::exists(work.filePath(QStringLiteral("quillory.ozp"))));
        QVERIFY(w.opened.isEmpty());
        qunsetenv("QUILLORY_UPGRADE_KEY");
    }

    // The package manager owns the copy: the offer is told and the download page offered.
    void aCopyOfThePackageManagerIsNotUpgraded() {
        BrowsingWindow w;
        test::FakeHttpServer http;
        http.Serve("/rel/quillory.ozp", "never fetched");
        QVERIFY(http.Start());
        w.SetNews("Upgrade", "Upgrade to 0.97", http.Url("/rel/quillory.ozp"), true);
        w.window->Tick();
        w.boxes.QueueAnswer(QMessageBox::Open);
        QFile::setPermissions(QString::fromStdString(w.ProgramFolder()),
                              QFile::ReadOwner | QFile::ExeOwner);
        {
            test::ScopedUnprivileged unprivileged;
            QVERIFY(unprivileged.Active());
            w.Find<QPushButton>("linkButton")->click();
        }
        QFile::setPermissions(QString::fromStdString(w.ProgramFolder()),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(w.boxes.Asked(),
                 QStringList{QStringLiteral("Quillory upgrade: Quillory 0.97 is available. Update "
                                            "it with your system's package manager.")});
        QCOMPARE(w.opened, QStringList{QString::fromStdString(http.Url("/rel/"))});
        QVERIFY(!w.window->UpgradeRunning());
        QCOMPARE(http.RequestCount("/rel/quillory.ozp"), 0);
        QVERIFY(w.Find<QPushButton>("linkButton")->isEnabled());
    }

    void onlyWebPagesGoToTheBrowser() {
        struct Case {
            const char* link;
            bool opened;
        } cases[] = {
            {"https://127.0.0.1/news.html", true}, {"HTTP://127.0.0.1/", true},
            {"file:///etc/passwd", false},         {"/usr/bin/xterm", false},
            {"smb://127.0.0.1/share", false},
        };
        for (const auto& c : cases) {
            BrowsingWindow w;
            w.SetNews("News", "Read more", c.link, false);
            w.window->Tick();
            w.boxes.QueueAnswer(QMessageBox::Ok);
            w.Find<QPushButton>("linkButton")->click();
            QCOMPARE(w.opened.size(), c.opened ? 1 : 0);
            QCOMPARE(w.boxes.Asked().size(), c.opened ? 0 : 1);
            if (!c.opened)
                QVERIFY(w.boxes.Asked()[0].contains(QString::fromLatin1(c.link)));
        }
    }

    void cancelStopsTheUpgradeAndClosingDuringItEndsIt() {
        for (const bool closing : {false, true}) {
            BrowsingWindow w;
            QTemporaryDir work;
            ScopedCurrentDir cwd(work.path());
            test::FakeHttpServer http;
            http.Stall("/quillory.ozp", "PK", 100000);
            QVERIFY(http.Start());
            w.SetNews("Upgrade", "Get it", http.Url("/quillory.ozp"), true);
            w.window->Tick();
            w.window->show();
            w.Find<QPushButton>("linkButton")->click();
            QVERIFY(w.window->UpgradeRunning());
            QTRY_COMPARE(w.browser.Progress(), String("0% downloaded"));
            if (closing) {
                w.window->accept(); // as "Close" and SIGTERM do
                QVERIFY(w.window->Closed());
                QVERIFY(!w.window->RestartRequested());
            } else {
                w.Find<QPushButton>("cancelUpgradeButton")->click();
                QTRY_VERIFY(!w.window->UpgradeRunning());
                QCOMPARE(w.browser.Progress(), String("Upgrade cancelled"));
                QVERIFY(w.Find<QPushButton>("linkButton")->isEnabled());
                QVERIFY(!w.Find<QPushButton>("cancelUpgradeButton")->isVisible());
                QVERIFY(!w.window->Closed());
            }
            QVERIFY(!QFile::exists(work.filePath(QStringLiteral("quillory.ozp"))));
            QFile program(QString::fromStdString(w.ProgramFolder() + "quillory"));
            QVERIFY(program.open(QIODevice::ReadOnly));
            QCOMPARE(program.readAll(), QByteArray("old program"));
        }
    }

    void newsAndTheServerBrowserAgainstTheSimulator() {
        test::CSimRun sim(
            {"--browser", "--browser-port", test::CSimRun::kBrowserPort, "--game-type", "ironvalu",
             "--name", "Sim Browser Server", "--news", "Hello from the simulator", "--news-link",
             "Get 0.97", "--upgrade-file", "http://127.0.0.1/quillory.ozp", "--public",
             "Far Keep@127.11.2.3:2302:5:1", "--public", "Old Vale@127.11.2.4:2302:2:0"});
        QVERIFY(sim.Listening());
        QTemporaryDir folder;
        CEngineWatch engine;
        QVERIFY(engine.Start(folder.path().toStdString()));
        CEngineBrowserLink browser(engine.Watch());
        test::CRecordingNotifier notifier;
        CMessageBoxes boxes;
        CWatchDialog::Parts parts;
        parts.watch = &engine;
        parts.notifier = &notifier;
        parts.messageBoxes = &boxes;
        parts.dataFolder = folder.path().toStdString();
        parts.browser = &browser;
        parts.browserEndpoint = {"127.0.0.1", uint16_t(sim.BrowserPort())};
        CWatchDialog window(parts);
        window.show();
        window.Open({"quillory"});
        auto* news = window.findChild<QPlainTextEdit*>(QStringLiteral("newsEdit"));
        QTRY_COMPARE_WITH_TIMEOUT(news->toPlainText(), QStringLiteral("Hello from the simulator"),
                                  5000);
        QVERIFY(window.LinkBlink()); // an ".ozp" link
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("linkButton"))->isEnabled());

        const QString self = QStringLiteral("127.0.0.1:%1").arg(sim.Port());
        const auto acted = OnBrowserDialog(&window, [self](CBrowserDialog& dialog) {
            auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
            // The simulator and "Far Keep" run Uprising; "Old Vale" is hidden at first.
            QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 2, 5000);
            dialog.findChild<QCheckBox*>(QStringLiteral("ironvaleCheck"))->click();
            QCOMPARE(list->topLevelItemCount(), 3);
            // Sorted by name: "Far Keep", "Old Vale", then the simulator.
            QCOMPARE(list->topLevelItem(2)->text(BC_ADDRESS), self);
            SaveShot(dialog, "server-browser.png");
            PickRow(dialog, 2);
        });
        window.Browse();
        QTRY_VERIFY_WITH_TIMEOUT(*acted, 5000);
        auto* servers = window.findChild<QComboBox*>(QStringLiteral("serverList"));
        QCOMPARE(servers->currentText(), self);
        QCOMPARE(window.Entries().back()->address, ToLocal(self));
        QTRY_COMPARE_WITH_TIMEOUT(
            window.findChild<QPlainTextEdit*>(QStringLiteral("descriptionEdit"))->toPlainText(),
            QStringLiteral("Sim Browser Server"), 5000);
        SaveShot(window, "main-window.png");
        window.accept();
    }

    void playNowInTheBrowserStartsTheGameOnceTheServerAnswered() {
        test::CSimRun sim({"--browser", "--browser-port", test::CSimRun::kBrowserPort,
                           "--game-type", "ironvalu", "--name", "Sim Browser Server"});
        QVERIFY(sim.Listening());
        QTemporaryDir folder;
        CEngineWatch engine;
        QVERIFY(engine.Start(folder.path().toStdString()));
        CEngineBrowserLink browser(engine.Watch());
        test::CRecordingNotifier notifier;
        CCountingLauncher launcher;
        CMessageBoxes boxes;
        CWatchDialog::Parts parts;
        parts.watch = &engine;
        parts.notifier = &notifier;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.dataFolder = folder.path().toStdString();
        parts.browser = &browser;
        parts.browserEndpoint = {"127.0.0.1", uint16_t(sim.BrowserPort())};
        CWatchDialog window(parts);
        window.show();
        window.Open({"quillory"});

        const QString self = QStringLiteral("127.0.0.1:%1").arg(sim.Port());
        const auto acted = OnBrowserDialog(&window, [&launcher](CBrowserDialog& dialog) {
            auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
            QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 1, 5000);
            // The row has its ping once the server answered the dialog's own query.
            QTRY_VERIFY_WITH_TIMEOUT(!list->topLevelItem(0)->text(BC_PING).isEmpty(), 5000);
            list->setCurrentItem(list->topLevelItem(0));
            dialog.findChild<QPushButton*>(QStringLiteral("playNowButton"))->click();
            QCOMPARE(launcher.playNows, 0); // not before the window watches it
        });
        window.Browse();
        QTRY_VERIFY_WITH_TIMEOUT(*acted, 5000);
        auto* servers = window.findChild<QComboBox*>(QStringLiteral("serverList"));
        QCOMPARE(servers->currentText(), self);
        QTRY_COMPARE_WITH_TIMEOUT(launcher.playNows, 1, 10000);
        QCOMPARE(window.Status().implementation != IMPL_NONE, true);
        // Once, not at every tick after.
        QTest::qWait(3 * CWatchDialog::TICK_MS);
        QCOMPARE(launcher.playNows, 1);
        window.accept();
    }

    void addToMyServersKeepsTheServerWithoutSelectingIt() {
        BrowsingWindow w;
        const int before = int(w.window->Entries().size());
        const int selected = w.window->SelectedIndex();
        const auto acted = OnBrowserDialog(w.window.get(), [&w](CBrowserDialog& dialog) {
            {
                std::lock_guard guard(w.browser.mutex);
                w.browser.servers.push_back(Public("Far Keep", 3, 2302, PSF_UPRISING));
            }
            dialog.Refresh();
            auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
            QCOMPARE(list->topLevelItemCount(), 1);
            list->setCurrentItem(list->topLevelItem(0));
            auto* add = dialog.findChild<QPushButton*>(QStringLiteral("addButton"));
            QVERIFY(add->isVisible() && add->isEnabled());
            add->click();
            auto* notice = dialog.findChild<QLabel*>(QStringLiteral("noticeLabel"));
            QCOMPARE(notice->text(), QStringLiteral("Added to my servers: Far Keep"));
            add->click();
            QCOMPARE(notice->text(), QStringLiteral("Already in my servers: Far Keep"));
            QVERIFY(dialog.isVisible()); // the player may go on browsing
        });
        w.window->Browse();
        QTRY_VERIFY_WITH_TIMEOUT(*acted, 5000);
        QCOMPARE(int(w.window->Entries().size()), before + 1);
        QCOMPARE(w.window->Entries().back()->description, String("Far Keep"));
        QCOMPARE(w.window->Entries().back()->address, String("127.10.0.3:2302"));
        QCOMPARE(w.window->SelectedIndex(), selected);
        auto* servers = w.Find<QComboBox>("serverList");
        QCOMPARE(servers->count(), before + 1);
    }

    void interruptedUpgradeEnablesTheWindowAgain() {
        BrowsingWindow w;
        QTemporaryDir work;
        ScopedCurrentDir cwd(work.path());
        test::FakeHttpServer http;
        http.CutShort("/quillory.ozp", std::string(3000, 'x'), 4000);
        QVERIFY(http.Start());

        w.SetNews("Upgrade", "Get it", http.Url("/quillory.ozp"), true);
        w.window->Tick();
        w.window->show();
        w.Find<QPushButton>("linkButton")->click();
        // The break is tried again three times, after 1, 2 and 4 seconds.
        QTRY_VERIFY_WITH_TIMEOUT(!w.window->UpgradeRunning(), 20000);
        QVERIFY(w.Find<QPushButton>("linkButton")->isEnabled());
        QVERIFY(w.Find<QComboBox>("serverList")->isEnabled());
        // The error stays for the Link button.
        QCOMPARE(w.browser.Progress(), String("Error: Downloading file"));
        QVERIFY(!w.window->RestartRequested());
        QVERIFY(w.boxes.Asked().isEmpty());
        QVERIFY(w.window->isVisible());
    }
};

QUILLORY_WATCH_TEST(WatchBrowserTest);

#include "WatchBrowserTest.moc"
