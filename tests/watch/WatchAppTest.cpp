// The application around the window: one copy at a time, closing during the start-up scan,
// and the whole program against the simulator (second copy, SIGTERM, the settings written).
#include "TestMain.h"
#include "WatchFakes.h"

#include "common/MemoryStream.h"
#include "gantry/db/FileDatabase.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SimRun.h"
#include "ui/MessageBoxes.h"
#include "watch/EngineWatch.h"
#include "watch/ExecutableCheck.h"
#include "watch/WatchApp.h"
#include "watch/WatchDialog.h"
#include "watch/core/SettingsFile.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace quillory;
using namespace quillory::ui;

namespace {

QString UniqueInstanceName() {
    return QStringLiteral("QUILLORYTEST-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QDateTime::currentMSecsSinceEpoch());
}

// Bytes of a version 1 settings file, written by hand: entries without the mod flag byte.
QByteArray Version1Settings(const QString& gameFolder) {
    QByteArray bytes;
    const auto int32 = [&bytes](int32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes.append(char((uint32_t(value) >> (8 * i)) & 0xFF));
    };
    const auto text = [&bytes](const QByteArray& value) {
        bytes.append(value);
        bytes.append('\0');
    };
    bytes.append('\0');
    int32(1);
    int32(1);
    text("10.1.1.1:2302");
    text("old");
    text("Old server");
    text("-MOD=@a -x");
    int32(0);
    text(gameFolder.toUtf8());
    return bytes;
}

// A game folder with an executable and `files` more files in it.
QString MakeGameFolder(const QString& root, int files) {
    QDir(root).mkpath(QStringLiteral("game/DATA"));
    const QString game = root + QStringLiteral("/game/");
    QFile(game + QStringLiteral("IRONVALE.EXE")).open(QIODevice::WriteOnly);
    for (int i = 0; i < files; ++i) {
        QFile file(game + QStringLiteral("DATA/f%1.pak").arg(i));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(512, char('a' + i % 26)));
    }
    return game;
}

// An empty database file for the folder, so the program starts without its first-run box.
void SaveEmptyDatabase(const QString& dataFolder, const QString& game) {
    CFileDatabase database(dataFolder.toStdString());
    database.SetGamePath(game.toStdString());
    database.Scan();
    QVERIFY(database.Save());
}

} // namespace

class WatchAppTest : public QObject {
    Q_OBJECT

private slots:
    void secondCopyAsksTheFirstAndLeaves() {
        const QString name = UniqueInstanceName();
        CWatchApp first(name);
        QVERIFY(first.ClaimInstance());
        test::CScriptedWatch watch;
        test::CRecordingNotifier notifier;
        QTemporaryDir folder;
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.notifier = &notifier;
        parts.dataFolder = folder.path().toStdString();
        CWatchDialog window(parts);
        window.Open({"quillory"});
        first.SetWindow(&window);
        window.showMinimized();

        CWatchApp second(name);
        QVERIFY(!second.ClaimInstance());
        QTRY_COMPARE(first.RestoreRequests(), 1);
        // The window comes back at its next tick.
        QTRY_COMPARE_WITH_TIMEOUT(notifier.flashes, 1, 2000);
        QVERIFY(!window.isMinimized());
        window.reject();
    }

    void socketLeftByACrashedCopyIsTakenOver() {
        QTemporaryDir tmp;
        const QString name = UniqueInstanceName();
        // A leftover file where the name's socket lives, with nobody listening.
        const QString path = QDir::tempPath() + QLatin1Char('/') + name;
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        CWatchApp app(name);
        QVERIFY(app.ClaimInstance());
        CWatchApp later(name);
        QVERIFY(!later.ClaimInstance());
        QTRY_COMPARE(app.RestoreRequests(), 1);
    }

    void aNameThatCannotBeListenedOnStillLetsTheProgramRun() {
        QTemporaryDir tmp;
        // A socket path in a folder that does not exist: listening fails, the copy goes on.
        CWatchApp app(tmp.path() + QStringLiteral("/missing/") + UniqueInstanceName());
        QVERIFY(app.ClaimInstance());
    }

    void closingDuringTheScanStopsItThenSaves() {
        QTemporaryDir folder;
        const QString game = MakeGameFolder(folder.path(), 400);
        QFile sav(folder.path() + QStringLiteral("/quillory.sav"));
        QVERIFY(sav.open(QIODevice::WriteOnly));
        sav.write(Version1Settings(game));
        sav.close();

        test::CScriptedWatch watch;
        test::CRecordingNotifier notifier;
        CMessageBoxes boxes;
        boxes.QueueAnswer(QMessageBox::Ok);
        CExecutableCheck launcher;
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.notifier = &notifier;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.dataFolder = folder.path().toStdString();
        CWatchDialog window(parts);
        // Each file read is slowed, so the scan is surely running when the window closes.
        std::atomic<int> read{0};
        window.Database().SetContentReadHook([&read](const String&) {
            ++read;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });
        window.Open({"quillory"});
        QCOMPARE(boxes.Asked(), QStringList{QStringLiteral(
                                    "Quillory & Gantry: This is the first time you run Quillory "
                                    "with Gantry.\nGantry is going to examine your IVL "
                                    "installation files.\nThis might take a few minutes "
                                    "depending on your computer\nand drive speeds.")});
        QTRY_VERIFY(read.load() > 0);
        window.accept();
        const int readAtClose = read.load();
        QVERIFY2(readAtClose < 400, "the scan ran to its end instead of stopping");
        QCOMPARE(watch.quits, 1);
        const Settings saved = LoadSettings(folder.path().toStdString() + "/quillory.sav");
        QCOMPARE(saved.entries.size(), size_t(1));
        QCOMPARE(saved.entries[0]->description, String("Old server"));
        QVERIFY(!saved.entries[0]->automaticMods);
        QCOMPARE(QString::fromStdString(saved.gameFolder), game);
        QFile savedFile(folder.path() + QStringLiteral("/quillory.sav"));
        QVERIFY(savedFile.open(QIODevice::ReadOnly));
        QCOMPARE(savedFile.read(5), QByteArray("\0\2\0\0\0", 5));
        QVERIFY(QFile::exists(folder.path() + QStringLiteral("/quillory.dat")));
    }

    void closingShowsTheSavesThatFailed() {
        QTemporaryDir gameRoot;
        const QString game = MakeGameFolder(gameRoot.path(), 1);
        auto folder = std::make_unique<QTemporaryDir>();
        const QString data = folder->path();
        Settings settings;
        settings.gameFolder = game.toStdString();
        QVERIFY(SaveSettings(data.toStdString() + "/quillory.sav", settings));
        SaveEmptyDatabase(data, game);

        test::CScriptedWatch watch;
        test::CRecordingNotifier notifier;
        CMessageBoxes boxes;
        CExecutableCheck launcher;
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.notifier = &notifier;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.dataFolder = data.toStdString();
        CWatchDialog window(parts);
        window.Open({"quillory"});
        QTRY_VERIFY_WITH_TIMEOUT(window.GantryReady(), 20000);
        QVERIFY(boxes.Asked().isEmpty());

        folder.reset(); // the data folder goes away under the program
        boxes.QueueAnswer(QMessageBox::Ok);
        boxes.QueueAnswer(QMessageBox::Ok);
        window.accept();
        const QString shown = window.windowTitle() + QStringLiteral(": Could not save ");
        // The database's writer also says why.
        QCOMPARE(boxes.Asked(),
                 (QStringList{shown + data + QStringLiteral("/quillory.sav"),
                              shown + data +
                                  QStringLiteral("/quillory.dat: cannot create the file (No "
                                                 "such file or directory)")}));
        QVERIFY(window.Closed());
    }

    void noGameFolderMeansNoDatabase() {
        QTemporaryDir folder;
        test::CScriptedWatch watch;
        test::CRecordingNotifier notifier;
        CMessageBoxes boxes;
        CExecutableCheck launcher;
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.notifier = &notifier;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.dataFolder = folder.path().toStdString();
        CWatchDialog window(parts);
        window.Open({"quillory", "-connect=127.0.0.1", "-port=9"});
        window.StopTimer();
        window.Tick();
        QVERIFY(boxes.Asked().isEmpty());
        QVERIFY(!window.GantryReady());
        QVERIFY(!window.findChild<QWidget*>(QStringLiteral("managerButton"))->isEnabled());
        // Without a database worker, polling starts at once.
        QCOMPARE(watch.selected.size(), size_t(1));
        window.accept();
        QVERIFY(!QFile::exists(folder.path() + QStringLiteral("/quillory.dat")));
    }

    void commandLineAddsOrSelects_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("selected");
        QTest::newRow("existing entry, other case")
            << QStringList{QStringLiteral("-connect=HOST.example"), QStringLiteral("-port=2400"),
                           QStringLiteral("-password=new")}
            << QStringLiteral("host.example:2400") << QStringLiteral("new") << QString() << 2 << 1;
        QTest::newRow("new entry")
            << QStringList{QStringLiteral("-connect=10.0.0.7"), QStringLiteral("-port=2302")}
            << QStringLiteral("10.0.0.7:2302") << QString() << QString() << 3 << 2;
        QTest::newRow("no port keeps the colon")
            << QStringList{QStringLiteral("-connect=10.0.0.7")} << QStringLiteral("10.0.0.7:")
            << QString() << QString() << 3 << 2;
        QTest::newRow("free words, nosplash dropped, later value wins")
            << QStringList{QStringLiteral("-connect=a"), QStringLiteral("-nosplash"),
                           QStringLiteral("-mod=@x"),    QStringLiteral("-PORT=1"),
                           QStringLiteral("-port=2"),    QStringLiteral("-win")}
            << QStringLiteral("a:2") << QString() << QStringLiteral("-mod=@x -win") << 3 << 2;
        QTest::newRow("no host keeps the remembered selection")
            << QStringList{QStringLiteral("-port=5")} << QStringLiteral("10.1.1.1:2302")
            << QStringLiteral("old") << QStringLiteral("-MOD=@a -x") << 2 << 0;
    }

    void commandLineAddsOrSelects() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, address);
        QFETCH(QString, password);
        QFETCH(QString, parameters);
        QFETCH(int, entries);
        QFETCH(int, selected);
        QTemporaryDir folder;
        Settings settings;
        settings.entries.push_back(std::make_shared<ServerEntry>(
            ServerEntry{"10.1.1.1:2302", "old", "Old server", "-MOD=@a -x", false}));
        settings.entries.push_back(std::make_shared<ServerEntry>(
            ServerEntry{"host.example:2400", "pw", "Host", "-y", true}));
        settings.selectedIndex = 0;
        QVERIFY(SaveSettings(folder.path().toStdString() + "/quillory.sav", settings));
        test::CScriptedWatch watch;
        test::CRecordingNotifier notifier;
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.notifier = &notifier;
        parts.dataFolder = folder.path().toStdString();
        CWatchDialog window(parts);
        std::vector<String> words = {"/opt/quillory/quillory"};
        for (const QString& argument : arguments)
            words.push_back(argument.toStdString());
        window.Open(words);
        QCOMPARE(int(window.Entries().size()), entries);
        QCOMPARE(window.SelectedIndex(), selected);
        auto* list = window.findChild<QComboBox*>(QStringLiteral("serverList"));
        QCOMPARE(list->count(), entries);
        QCOMPARE(list->currentIndex(), selected);
        const Handle<ServerEntry> entry = window.SelectedEntry();
        QCOMPARE(QString::fromStdString(entry->address), address);
        QCOMPARE(QString::fromStdString(entry->password), password);
        QCOMPARE(QString::fromStdString(entry->startupParameters), parameters);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("addressLabel"))->text(), address);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("passwordLabel"))->text(),
                 password.isEmpty() ? QStringLiteral("<no password>") : password);
        window.reject();
    }

    void fieldsFillWithinTwoSecondsFromTheSimulator() {
        test::CSimRun sim({"--name", "Dedicated server on Testhold", "--mission", "Ember",
                           "--players", "5", "--phase-seconds", "3", "--round-seconds", "20"});
        QVERIFY(sim.Listening());
        QTemporaryDir folder;
        CEngineWatch engine;
        QVERIFY(engine.Start(folder.path().toStdString()));
        test::CRecordingNotifier notifier;
        CWatchDialog::Parts parts;
        parts.watch = &engine;
        parts.notifier = &notifier;
        parts.dataFolder = folder.path().toStdString();
        CWatchDialog window(parts);
        window.Open({"quillory", "-connect=127.0.0.1", "-port=" + std::to_string(sim.Port())});
        const auto field = [&window](const char* name) {
            return window.findChild<QLabel*>(QString::fromLatin1(name))->text();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!field("statusField").isEmpty() && !field("pingField").isEmpty() &&
                                     !field("mapField").isEmpty(),
                                 2000);
        for (const char* name :
             {"typeField", "versionField", "requiredField", "lockedField", "portField", "implField",
              "platformField", "loggedOnField", "gantryField"})
            QVERIFY2(!field(name).isEmpty(), name);
        QCOMPARE(
            window.findChild<QPlainTextEdit*>(QStringLiteral("descriptionEdit"))->toPlainText(),
            QStringLiteral("Dedicated server on Testhold"));
        QCOMPARE(window.findChild<QPlainTextEdit*>(QStringLiteral("missionEdit"))->toPlainText(),
                 QStringLiteral("Ember"));
        QCOMPARE(field("portField"), QString::number(sim.Port()));
        QCOMPARE(window.findChild<QComboBox*>(QStringLiteral("serverList"))->currentText(),
                 QStringLiteral("Testhold"));
        // The first named state played its sound once, and only that one so far.
        QCOMPARE(notifier.sounds.size(), size_t(1));
        window.accept();
    }

    void stopSignalWhileTheFirstRunMessageIsUp() {
#ifndef QUILLORY_PATH
        QSKIP("the program is not built");
#else
        QTemporaryDir folder;
        const QString game = MakeGameFolder(folder.path(), 3);
        QFile sav(folder.path() + QStringLiteral("/quillory.sav"));
        QVERIFY(sav.open(QIODevice::WriteOnly));
        sav.write(Version1Settings(game));
        sav.close();
        // No "quillory.dat": the program opens with its first-run message and waits there.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), folder.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(folder.path());
        program.start(QStringLiteral(QUILLORY_PATH),
                      {QStringLiteral("-connect=127.0.0.1"), QStringLiteral("-port=9")});
        QVERIFY(program.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(program.state(), QProcess::Running);
        program.terminate();
        QVERIFY2(program.waitForFinished(10000), "SIGTERM did not end the program");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // It stopped before reading its command line; what it had is written back.
        const Settings saved = LoadSettings(folder.path().toStdString() + "/quillory.sav");
        QCOMPARE(saved.entries.size(), size_t(1));
        QCOMPARE(saved.entries[0]->description, String("Old server"));
        QCOMPARE(QString::fromStdString(saved.gameFolder), game);
        QFile written(folder.path() + QStringLiteral("/quillory.sav"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(5), QByteArray("\0\2\0\0\0", 5));
#endif
    }

    void programAgainstTheSimulator() {
#ifndef QUILLORY_PATH
        QSKIP("the program is not built");
#else
        test::CSimRun sim({"--name", "Dedicated server on Testhold", "--phase-seconds", "2",
                           "--round-seconds", "4"});
        QVERIFY(sim.Listening());
        QTemporaryDir folder;
        const QString game = MakeGameFolder(folder.path(), 3);
        SaveEmptyDatabase(folder.path(), game);
        QFile sav(folder.path() + QStringLiteral("/quillory.sav"));
        QVERIFY(sav.open(QIODevice::WriteOnly));
        sav.write(Version1Settings(game));
        sav.close();

        // The instance socket lives in the temporary folder: this test's own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), folder.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QStringList arguments = {QStringLiteral("-connect=127.0.0.1"),
                                       QStringLiteral("-port=%1").arg(sim.Port()),
                                       QStringLiteral("-password=pw"), QStringLiteral("-mod=@x")};
        QProcess first;
        first.setProcessEnvironment(environment);
        first.setWorkingDirectory(folder.path());
        first.start(QStringLiteral(QUILLORY_PATH), arguments);
        QVERIFY(first.waitForStarted());
        // Long enough for the database worker to end and the server to name itself.
        QTest::qWait(3500);
        QCOMPARE(first.state(), QProcess::Running);

        QProcess second;
        second.setProcessEnvironment(environment);
        second.setWorkingDirectory(folder.path());
        second.start(QStringLiteral(QUILLORY_PATH), arguments);
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate(); // SIGTERM
        QVERIFY(first.waitForFinished(15000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);

        QFile written(folder.path() + QStringLiteral("/quillory.sav"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(5), QByteArray("\0\2\0\0\0", 5));
        const Settings saved = LoadSettings(folder.path().toStdString() + "/quillory.sav");
        QCOMPARE(saved.entries.size(), size_t(2));
        QCOMPARE(saved.entries[0]->address, String("10.1.1.1:2302"));
        QCOMPARE(saved.entries[0]->password, String("old"));
        QCOMPARE(saved.entries[0]->startupParameters, String("-MOD=@a -x"));
        QVERIFY(!saved.entries[0]->automaticMods);
        const ServerEntry& added = *saved.entries[1];
        QCOMPARE(added.address, "127.0.0.1:" + std::to_string(sim.Port()));
        QCOMPARE(added.password, String("pw"));
        QCOMPARE(added.startupParameters, String("-mod=@x"));
        QCOMPARE(added.description, String("Testhold"));
        QCOMPARE(saved.selectedIndex, 1);
        QCOMPARE(QString::fromStdString(saved.gameFolder), game);
#endif
    }

    void helpAndVersionNeedNoDisplay() {
#ifndef QUILLORY_PATH
        QSKIP("the program is not built");
#else
        QTemporaryDir folder;
        // A platform that cannot start here: the answers must come before Qt does.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        const auto run = [&](const QStringList& arguments) {
            QProcess program;
            program.setProcessEnvironment(environment);
            program.setWorkingDirectory(folder.path());
            program.start(QStringLiteral(QUILLORY_PATH), arguments);
            program.waitForFinished(10000);
            return std::make_pair(program.exitCode(), program.readAllStandardOutput());
        };
        const auto version = run({QStringLiteral("--version")});
        QCOMPARE(version.first, 0);
        QCOMPARE(version.second, QByteArray("quillory 0.9.6.3\n"));
        const auto help = run({QStringLiteral("-connect=10.0.0.7"), QStringLiteral("--help")});
        QCOMPARE(help.first, 0);
        QVERIFY2(help.second.startsWith("usage: quillory "), help.second.constData());
        QVERIFY(help.second.contains("--data-folder"));
        // Neither reached the server list.
        QVERIFY(!QFile::exists(folder.path() + QStringLiteral("/quillory.sav")));
#endif
    }

    void desktopStartWorksInTheDataFolder() {
#ifndef QUILLORY_PATH
        QSKIP("the program is not built");
#else
        QTemporaryDir folder;
        const QString terminal = folder.path() + QStringLiteral("/terminal");
        QVERIFY(QDir().mkpath(terminal));
        const QString dataFolder = folder.path() + QStringLiteral("/share/quillory");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"),
                           folder.path() + QStringLiteral("/share"));
        environment.insert(QStringLiteral("WINEPREFIX"), folder.path() + QStringLiteral("/wine"));
        environment.insert(QStringLiteral("TMPDIR"), folder.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // As the desktop entry starts it, with the game's switches beside; SIGTERM ends it.
        const auto runOnce = [&](int runMs) {
            QProcess program;
            program.setProcessEnvironment(environment);
            program.setWorkingDirectory(terminal);
            program.start(QStringLiteral(QUILLORY_PATH),
                          {QStringLiteral("--data-folder"), QStringLiteral("-connect=127.0.0.1"),
                           QStringLiteral("-port=9"), QStringLiteral("-mod=@x")});
            QVERIFY(program.waitForStarted());
            QTest::qWait(runMs);
            QCOMPARE(program.state(), QProcess::Running);
            program.terminate();
            QVERIFY2(program.waitForFinished(10000), "SIGTERM did not end the program");
            QCOMPARE(program.exitCode(), 0);
        };

        // The first start makes the folder and keeps its files there, none in the terminal's.
        runOnce(1500);
        QVERIFY(QFileInfo(dataFolder).isDir());
        QVERIFY(QFile::exists(dataFolder + QStringLiteral("/quillory.sav")));
        QVERIFY(QDir(terminal).isEmpty());

        // With a game folder known there, the game's switches add the server as ever.
        const QString game = MakeGameFolder(folder.path(), 3);
        SaveEmptyDatabase(dataFolder, game);
        QFile sav(dataFolder + QStringLiteral("/quillory.sav"));
        QVERIFY(sav.open(QIODevice::WriteOnly));
        sav.write(Version1Settings(game));
        sav.close();
        runOnce(2500);
        const Settings saved = LoadSettings(dataFolder.toStdString() + "/quillory.sav");
        QCOMPARE(saved.entries.size(), size_t(2));
        QCOMPARE(saved.entries[1]->address, String("127.0.0.1:9"));
        // The program's own switch is not a startup parameter of the server.
        QCOMPARE(saved.entries[1]->startupParameters, String("-mod=@x"));
        QVERIFY(QDir(terminal).isEmpty());
#endif
    }
};

QUILLORY_WATCH_TEST(WatchAppTest);
#include "WatchAppTest.moc"
