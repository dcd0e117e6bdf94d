// "Play Now" in the window: the Gantry check and its warning, the game started through a
// recording wine, the failure texts, and the game folder lookup at start.
#include "TestMain.h"
#include "WatchFakes.h"
#include "tests/support/SimRun.h"

#include "gantry/ui/GantryManagerDlg.h"
#include "tests/support/TempGameFolder.h"
#include "tests/support/ZipBuilder.h"
#include "ui/MessageBoxes.h"
#include "watch/EngineWatch.h"
#include "watch/WatchDialog.h"
#include "watch/WatchLauncher.h"
#include "watch/core/SettingsFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace quillory;
using namespace quillory::ui;

namespace {

uint32_t Crc(const std::string& content) {
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(content.data()), uInt(content.size())));
}

struct OfferedPackage {
    std::string name;
    std::vector<std::pair<std::string, std::string>> files; // under "addons\", with contents
    uint32_t priority = 10;                                 // "Required"
};

// A Gantry description offering the packages, written byte by byte.
std::vector<uint8_t> Description(const std::vector<OfferedPackage>& packages) {
    std::string b;
    auto u32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(char((v >> (8 * i)) & 0xFF));
    };
    auto text = [&b](const std::string& t) {
        b += t;
        b.push_back('\0');
    };
    u32(0xC0FFEE);
    for (int i = 0; i < 10; ++i)
        text("text");
    u32(uint32_t(packages.size()));
    for (const OfferedPackage& package : packages) {
        text("http://host/" + package.name + ".zip");
        u32(100);
        text(package.name);
        text("http://home");
        text("");
        text("");
        u32(package.priority);
        text("addons\\");
        for (const auto& [name, content] : package.files) {
            text(name);
            u32(uint32_t(content.size()));
            u32(Crc(content));
        }
        b.push_back('\0');
        b.push_back('\0');
    }
    return {b.begin(), b.end()};
}

// One Required package with the given files.
std::vector<uint8_t> Description(const std::string& package,
                                 const std::vector<std::pair<std::string, std::string>>& files) {
    return Description(std::vector<OfferedPackage>{{package, files}});
}

// Puts a folder first on the PATH for one test.
class ScopedPath {
public:
    explicit ScopedPath(const std::string& folder)
        : old_(std::getenv("PATH") ? std::getenv("PATH") : "") {
        ::setenv("PATH", (folder + ":" + old_).c_str(), 1);
    }
    ~ScopedPath() { ::setenv("PATH", old_.c_str(), 1); }

private:
    std::string old_;
};

// A wine stand-in in `bin` that writes its working folder and arguments, one a line, to `record`.
void WriteRecordingWine(const test::TempGameFolder& bin, const std::string& record) {
    {
        std::ofstream script(bin / "wine");
        script << "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '"
               << record << ".part'\nmv '" << record << ".part' '" << record << "'\n";
    }
    std::filesystem::permissions(bin / "wine", std::filesystem::perms::owner_all);
}

QStringList RecordedLines(const std::string& record) {
    std::ifstream in(record);
    QStringList lines;
    for (std::string line; std::getline(in, line);)
        lines << QString::fromStdString(line);
    return lines;
}

struct RecordingStart {
    int calls = 0;
    bool succeed = true;
    String commandLine, folder;
};

// A window over a scripted engine with one server entry and a game folder, its database loaded
// and the server replied.
struct LaunchWindow {
    explicit LaunchWindow(const ServerEntry& entry, int32_t version = 196, bool locked = true,
                          CWatchLauncher::Parts launcherParts = {}) {
        game.Write("IRONVALEUPRISING.EXE", "MZ");
        game.Write("AddOns/alpha.pbo", "alpha");
        game.Write("@beta/addons/beta.pbo", "beta");
        Settings settings;
        settings.entries.push_back(std::make_shared<ServerEntry>(entry));
        settings.selectedIndex = 0;
        settings.gameFolder = game.Path();
        if (!SaveSettings(folder.path().toStdString() + "/quillory.sav", settings))
            qFatal("cannot write the settings file of the test window");

        boxes.QueueAnswer(QMessageBox::Ok); // the first run's notice about the scan
        if (!launcherParts.start)
            launcherParts.start = [this](const String& line, const String& where) {
                ++started.calls;
                started.commandLine = line;
                started.folder = where;
                return platform::ProcessStartResult{started.succeed, started.succeed ? "" : "no"};
            };
        launcher = std::make_unique<CWatchLauncher>(std::move(launcherParts));
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.messageBoxes = &boxes;
        parts.launcher = launcher.get();
        parts.runManager = [this](QDialog& manager) {
            ++managerRuns;
            managerTab = static_cast<CGantryManagerDlg&>(manager).StartTab();
        };
        parts.notifier = &notifier;
        parts.dataFolder = folder.path().toStdString();
        window = std::make_unique<CWatchDialog>(parts);
        window->Open({"quillory"});
        window->StopTimer();
        reply.implementation = IMPL_SOCKETS;
        reply.port = 2302;
        reply.version = version;
        reply.locked = locked;
    }

    // Ticks until the database worker has finished, which starts the watch, then the server
    // replies.
    bool Ready() {
        for (int i = 0; i < 400 && !window->GantryReady(); ++i) {
            window->Tick();
            QTest::qWait(10);
        }
        watch.status = reply;
        window->Tick();
        return window->GantryReady() && watch.selected.size() == 1;
    }

    // The server's Gantry description arrives and the window reads it.
    void Offer(std::vector<uint8_t> description) {
        watch.description = std::move(description);
        watch.status.gantryState = GANTRY_ANSWERED;
        watch.status.gantryChunksReceived = watch.status.gantryChunkTotal;
        window->Tick();
        QCoreApplication::processEvents();
    }

    void PlayNow() {
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("playNowButton")),
                          Qt::LeftButton);
    }
    QCheckBox* Box(const char* name) {
        return window->findChild<QCheckBox*>(QString::fromLatin1(name));
    }

    QTemporaryDir folder;
    test::TempGameFolder game;
    test::CScriptedWatch watch;
    ServerStatus reply;
    test::CRecordingNotifier notifier;
    CMessageBoxes boxes;
    RecordingStart started;
    std::unique_ptr<CWatchLauncher> launcher;
    int managerRuns = 0; // the Gantry manager opened
    int managerTab = -1; // on this view
    std::unique_ptr<CWatchDialog> window;
};

const ServerEntry SIM_ENTRY{"127.0.0.1:2400", "pw", "Sim", "-mod=@old -world=empty -MOD=@x", true};

} // namespace

class WatchLauncherTest : public QObject {
    Q_OBJECT

private slots:
    void playNowStartsTheRecordingWineAndEndsTheProgram() {
        test::TempGameFolder bin, records;
        const std::string record = records / "wine.txt";
        WriteRecordingWine(bin, record);
        ScopedPath path(bin.Path());

        CWatchLauncher::Parts parts;
        parts.start = &platform::StartProcess; // for real, through the PATH's wine
        LaunchWindow w(SIM_ENTRY, 196, true, parts);
        QVERIFY(w.Ready());
        w.Offer(Description("Beta", {{"beta.pbo", "beta"}}));
        QCOMPARE(w.window->Database().OfferedPackages().size(), size_t(1));
        w.window->show();
        w.PlayNow();

        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(record), 20000);
        QCOMPARE(RecordedLines(record),
                 (QStringList{QString::fromStdString(std::filesystem::canonical(w.game.Path())),
                              QString::fromStdString(w.game.Path() + "IRONVALEUPRISING.EXE"),
                              QStringLiteral("-nosplash"), QStringLiteral("-connect=127.0.0.1"),
                              QStringLiteral("-port=2400"), QStringLiteral("-password=pw"),
                              QStringLiteral("-world=empty"), QStringLiteral("-mod=@beta")}));
        // The window closed as "OK" does, and the settings were saved on the way.
        QCOMPARE(w.window->result(), int(QDialog::Accepted));
        QVERIFY(!w.window->isVisible());
        QCOMPARE(w.watch.quits, 1);
        QVERIFY(QFile::exists(w.folder.path() + QStringLiteral("/quillory.dat")));
    }

    void playNowAgainstTheSimulator() {
        // A locked server with a Gantry server whose one package is installed in a mod folder.
        test::TempGameFolder packages, bin, records, game;
        QVERIFY(test::ZipBuilder()
                    .Add("gantry.txt", "GANTRY_START\nPACKAGE Beta\nINSTALLPATH *\n"
                                       "IGNORE gantry.txt\nGANTRY_END\n")
                    .Add("@beta/addons/beta.pbo", "beta")
                    .Write(packages / "beta.zip"));
        test::CSimRun sim({"--password-flag", "--gantry", packages.Path(), "--gantry-password",
                           "pw", "--name", "Dedicated server on Testhold"});
        QVERIFY(sim.Listening());
        game.Write("IRONVALEUPRISING.EXE", "MZ");
        game.Write("@beta/addons/beta.pbo", "beta");
        QTemporaryDir data;
        Settings settings;
        settings.entries.push_back(std::make_shared<ServerEntry>(
            ServerEntry{sim.Address(), "pw", sim.Address(), "-mod=@old -world=empty", true}));
        settings.gameFolder = game.Path();
        QVERIFY(SaveSettings(data.path().toStdString() + "/quillory.sav", settings));
        const std::string record = records / "wine.txt";
        WriteRecordingWine(bin, record);
        ScopedPath path(bin.Path());

        CMessageBoxes boxes;
        boxes.QueueAnswer(QMessageBox::Ok); // the first run's notice about the scan
        CWatchLauncher launcher(CWatchLauncher::Parts{});
        CEngineWatch engine;
        QVERIFY(engine.Start(data.path().toStdString()));
        test::CRecordingNotifier notifier;
        CWatchDialog::Parts parts;
        parts.watch = &engine;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.notifier = &notifier;
        parts.dataFolder = data.path().toStdString();
        CWatchDialog window(parts);
        window.show();
        window.Open({"quillory"});
        // The reply, the database and the server's description, each in its own time.
        QTRY_VERIFY_WITH_TIMEOUT(window.GantryReady() && window.Status().implementation != 0 &&
                                     !window.Database().OfferedPackages().empty(),
                                 30000);
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("playNowButton")),
                          Qt::LeftButton);

        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(record), 20000);
        QCOMPARE(
            RecordedLines(record),
            (QStringList{QString::fromStdString(std::filesystem::canonical(game.Path())),
                         QString::fromStdString(game.Path() + "IRONVALEUPRISING.EXE"),
                         QStringLiteral("-nosplash"), QStringLiteral("-connect=127.0.0.1"),
                         QStringLiteral("-port=%1").arg(sim.Port()), QStringLiteral("-password=pw"),
                         QStringLiteral("-world=empty"), QStringLiteral("-mod=@beta")}));
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QVERIFY(!window.isVisible());
        // The settings were saved on the way out, the server renamed after its reply.
        const Settings saved = LoadSettings(data.path().toStdString() + "/quillory.sav");
        QCOMPARE(saved.entries.size(), size_t(1));
        QCOMPARE(saved.entries[0]->description, String("Testhold"));
        QCOMPARE(QString::fromStdString(saved.gameFolder), QString::fromStdString(game.Path()));
    }

    void withoutADescriptionModWordsAreStillDropped() {
        LaunchWindow w(SIM_ENTRY);
        QVERIFY(w.Ready());
        w.PlayNow();
        QCOMPARE(w.started.calls, 1);
        QCOMPARE(QString::fromStdString(w.started.commandLine),
                 QString::fromStdString("\"" + w.game.Path() +
                                        "IRONVALEUPRISING.EXE\" -nosplash -connect=127.0.0.1 "
                                        "-port=2400 -password=pw -world=empty"));
        QCOMPARE(QString::fromStdString(w.started.folder), QString::fromStdString(w.game.Path()));
    }

    void missingPackagesAskFirst_data() {
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("starts");
        QTest::addColumn<bool>("managerOpened");
        QTest::newRow("cancel") << int(CGantryWarningDialog::Choice::CANCEL) << 0 << false;
        QTest::newRow("manager") << int(CGantryWarningDialog::Choice::MANAGER) << 0 << true;
        QTest::newRow("force connect")
            << int(CGantryWarningDialog::Choice::FORCE_CONNECT) << 1 << false;
    }

    void missingPackagesAskFirst() {
        QFETCH(int, choice);
        QFETCH(int, starts);
        QFETCH(bool, managerOpened);
        int asked = 0;
        CWatchLauncher::Parts parts;
        parts.askWarning = [&](QWidget*, const LaunchRequest&) {
            ++asked;
            return CGantryWarningDialog::Choice(choice);
        };
        LaunchWindow w(SIM_ENTRY, 196, true, parts);
        QVERIFY(w.Ready());
        w.Offer(Description("Absent", {{"absent.pbo", "nothing like it here"}}));
        const qsizetype boxesBefore = w.boxes.Asked().size();
        w.PlayNow();
        QCOMPARE(asked, 1);
        QCOMPARE(w.started.calls, starts);
        QCOMPARE(w.managerRuns > 0, managerOpened);
        if (managerOpened)
            QCOMPARE(w.managerTab, int(CGantryViewModel::VIEW_SERVER));
        QCOMPARE(w.boxes.Asked().size(), boxesBefore);
        QCOMPARE(w.window->result() == QDialog::Accepted, starts == 1);
    }

    // Only packages the manager flags for download (Recommended 4-6, Required 7-10) stop "Play
    // Now"; a missing Optional one (0-3) never does.
    void warningRules_data() {
        QTest::addColumn<int>("priority");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("warned");
        for (const int priority : {0, 3, 4, 6, 7, 10})
            for (const bool installed : {false, true}) {
                const bool warned = !installed && priority >= 4;
                QTest::addRow("priority %d, %s", priority, installed ? "installed" : "missing")
                    << priority << installed << warned;
            }
    }

    void warningRules() {
        QFETCH(int, priority);
        QFETCH(bool, installed);
        QFETCH(bool, warned);
        int asked = 0;
        CWatchLauncher::Parts parts;
        parts.askWarning = [&](QWidget*, const LaunchRequest&) {
            ++asked;
            return CGantryWarningDialog::Choice::CANCEL;
        };
        LaunchWindow w(SIM_ENTRY, 196, true, parts);
        QVERIFY(w.Ready());
        const std::string content = installed ? "alpha" : "nothing like it here";
        w.Offer(Description({{"Pack", {{"alpha.pbo", content}}, uint32_t(priority)}}));
        w.PlayNow();
        QCOMPARE(asked, warned ? 1 : 0);
        QCOMPARE(w.started.calls, warned ? 0 : 1);
    }

    void warningNamesOptionalPackagesAsInformation() {
        LaunchWindow w(SIM_ENTRY);
        QVERIFY(w.Ready());
        w.Offer(Description({{"Maps", {{"maps.pbo", "absent"}}, 2},
                             {"Core \x80", {{"core.pbo", "absent too"}}, 8}}));
        // The real warning comes up; its lists are read and it is cancelled.
        QString required, optional;
        bool shown = false;
        QTimer::singleShot(0, w.window.get(), [&] {
            auto* dialog = qobject_cast<CGantryWarningDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            shown = true;
            required = dialog->findChild<QLabel*>(QStringLiteral("requiredList"))->text();
            optional = dialog->findChild<QLabel*>(QStringLiteral("optionalList"))->text();
            dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        });
        w.PlayNow();
        QVERIFY(shown);
        QCOMPARE(w.started.calls, 0);
        // Names in the server's code page; the Optional one apart, as information.
        QCOMPARE(required, QString::fromLatin1(CGantryWarningDialog::REQUIRED_HEADING) +
                               QStringLiteral("\n    Core \u20AC"));
        QCOMPARE(optional, QString::fromLatin1(CGantryWarningDialog::OPTIONAL_HEADING) +
                               QStringLiteral("\n    Maps"));
    }

    void withoutWineTheBoxSaysWhy() {
        test::TempGameFolder bin;
        const char* old = std::getenv("PATH");
        const std::string saved = old ? old : "";
        ::setenv("PATH", bin.Path().c_str(), 1);
        CWatchLauncher::Parts parts;
        parts.start = &platform::StartProcess;
        LaunchWindow w(SIM_ENTRY, 196, true, parts);
        const bool ready = w.Ready();
        w.boxes.QueueAnswer(QMessageBox::Ok);
        w.PlayNow();
        ::setenv("PATH", saved.c_str(), 1);
        QVERIFY(ready);
        QCOMPARE(
            w.boxes.Asked().constLast(),
            w.window->windowTitle() +
                QStringLiteral(": Could not start Ironvale Uprising\n\nwine is not on the PATH"));
        QVERIFY(w.window->result() != QDialog::Accepted);
    }

    void failuresShowTheirTexts_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("startSucceeds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("unchecked");
        QTest::newRow("bad address") << QStringLiteral("no-such-host!:2302") << 196 << true
                                     << QStringLiteral("Bad address") << false;
        QTest::newRow("expansion") << QStringLiteral("127.0.0.1") << 196 << false
                                   << QStringLiteral("Could not start Ironvale Uprising") << true;
        QTest::newRow("original game") << QStringLiteral("127.0.0.1") << 150 << false
                                       << QStringLiteral("Could not start Ironvale") << true;
    }

    void failuresShowTheirTexts() {
        QFETCH(QString, address);
        QFETCH(int, version);
        QFETCH(bool, startSucceeds);
        QFETCH(QString, text);
        QFETCH(bool, unchecked);
        ServerEntry entry = SIM_ENTRY;
        entry.address = address.toStdString();
        LaunchWindow w(entry, version);
        w.started.succeed = startSucceeds;
        QVERIFY(w.Ready());
        w.watch.status.state = GS_PLAYING; // a game in progress, so the boxes can be checked
        w.window->Tick();
        w.Box("launchWhenEndsBox")->setChecked(true);
        w.Box("alarmBox")->setChecked(true);
        w.boxes.QueueAnswer(QMessageBox::Ok);
        w.PlayNow();
        QVERIFY(!w.boxes.Asked().isEmpty());
        // The box's text starts with the failure and, where there is one, gives the reason.
        const QString shown = w.boxes.Asked().constLast();
        QVERIFY2(shown.contains(QStringLiteral(": ") + text), qPrintable(shown));
        if (!startSucceeds)
            QVERIFY2(shown.endsWith(text + QStringLiteral("\n\nno")), qPrintable(shown));
        QCOMPARE(w.Box("launchWhenEndsBox")->isChecked(), !unchecked);
        QCOMPARE(w.Box("alarmBox")->isChecked(), !unchecked);
        QVERIFY(w.window->result() != QDialog::Accepted);
    }

    void nothingHappensBeforeTheServerReplied() {
        LaunchWindow w(SIM_ENTRY);
        QVERIFY(w.Ready());
        const qsizetype boxesBefore = w.boxes.Asked().size();
        w.watch.status.implementation = 0;
        w.window->Tick();
        w.PlayNow();
        QCOMPARE(w.started.calls, 0);
        QCOMPARE(w.boxes.Asked().size(), boxesBefore);
    }

    void gameFolderLookupAtStart() {
        test::TempGameFolder stored, prefix, empty;
        stored.Write("Ironvale.exe", "MZ");
        prefix.Write("drive_c/IVU/IRONVALEUPRISING.EXE", "MZ");
        int asked = 0;
        CWatchLauncher::Parts parts;
        parts.winePrefix = empty.Path();
        parts.askFolder = [&](QWidget*) {
            ++asked;
            return String("/chosen/");
        };
        CWatchLauncher noRegistry(parts);
        QCOMPARE(QString::fromStdString(noRegistry.CheckGameFolder(stored.Path())),
                 QString::fromStdString(stored.Path()));
        QCOMPARE(asked, 0);
        QCOMPARE(noRegistry.CheckGameFolder(empty.Path()), String("/chosen/"));
        QCOMPARE(noRegistry.CheckGameFolder(String()), String("/chosen/"));
        QCOMPARE(asked, 2);

        prefix.Write("system.reg", "WINE REGISTRY Version 2\n\n"
                                   "[Software\\\\Marrowby\\\\Ironvale Uprising] 1700000000\n"
                                   "\"MAIN\"=\"C:\\\\IVU\"\n");
        parts.winePrefix = prefix.Path();
        CWatchLauncher withRegistry(parts);
        QCOMPARE(withRegistry.CheckGameFolder(empty.Path()), prefix / "drive_c/IVU/");
        QCOMPARE(asked, 2);
    }
};

QUILLORY_WATCH_TEST(WatchLauncherTest);
#include "WatchLauncherTest.moc"
