// The application around the window: one copy at a time, closing during the start-up scan,
// and the whole program against the simulator (second copy, SIGTERM, the settings written).
#include "TestMain.h"
#include "WatchFakes.h"

#include "common/MemoryStream.h"
#include "gantry/db/FileDatabase.h"
#include "platform/InstanceSocket.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SimRun.h"
#include "ui/MessageBoxes.h"
#include "watch/EngineWatch.h"
#include "watch/ExecutableCheck.h"
#include "watch/WatchApp.h"
#include "watch/WatchDialog.h"
#include "watch/core/SettingsFile.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocalSocket>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace quillory;
using namespace quillory::ui;

namespace {

// A socket path of this test's own, as the program names one in the user's runtime folder.
QString SocketIn(const QTemporaryDir& runtime) {
    return runtime.path() +
           QStringLiteral("/QUILLORYTEST-%1").arg(QCoreApplication::applicationPid());
}

// A socket file whose listener has gone, as a copy that crashed leaves it.
bool LeaveStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    if (fd < 0 || size_t(bytes.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::listen(fd, 1) == 0;
    ::close(fd);
    return bound && QFileInfo(path).exists();
}

// A window over a scripted engine, with a settings file holding two servers, the first selected.
struct WindowFixture {
    QTemporaryDir folder;
    test::CScriptedWatch watch;
    test::CRecordingNotifier notifier;
    std::unique_ptr<CWatchDialog> window;
    bool saved = false;

    WindowFixture() {
        Settings settings;
        settings.entries.push_back(std::make_shared<ServerEntry>(
            ServerEntry{"127.0.0.9:2302", "old", "Old server", "-MOD=@a -x", false}));
        settings.entries.push_back(
            std::make_shared<ServerEntry>(ServerEntry{"localhost:2400", "pw", "Host", "-y", true}));
        settings.selectedIndex = 0;
        saved = SaveSettings(folder.path().toStdString() + "/quillory.sav", settings);
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.notifier = &notifier;
        parts.dataFolder = folder.path().toStdString();
        window = std::make_unique<CWatchDialog>(parts);
        window->Open({"/opt/quillory/quillory"});
    }
    ~WindowFixture() { window->reject(); }
};

QStringList Words(const std::vector<String>& words) {
    QStringList list;
    for (const String& word : words)
        list << QString::fromStdString(word);
    return list;
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
    text("127.11.1.1:2302");
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
        QTemporaryDir runtime;
        const QString name = SocketIn(runtime);
        CWatchApp first(name);
        QVERIFY(first.ClaimInstance({"quillory"}));
        QVERIFY(first.ClaimProblem().isEmpty());
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
        QVERIFY(!second.ClaimInstance({"/usr/bin/quillory"}));
        QTRY_COMPARE(first.RestoreRequests(), 1);
        // The window comes back at its next tick.
        QTRY_COMPARE_WITH_TIMEOUT(notifier.flashes, 1, 2000);
        QVERIFY(!window.isMinimized());
        // A line naming no server leaves the selection and the program path as they were.
        QCOMPARE(window.SelectedIndex(), -1);
        QCOMPARE(window.ProgramPath(), String("quillory"));
        window.reject();
    }

    void handedLineSelectsOrAddsItsServer_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("selected");
        QTest::newRow("existing entry, other case")
            << QStringList{QStringLiteral("-connect=LOCALHOST"), QStringLiteral("-port=2400"),
                           QStringLiteral("-password=new")}
            << QStringLiteral("localhost:2400") << QStringLiteral("new") << QString() << 2 << 1;
        QTest::newRow("new entry, free words, nosplash dropped")
            << QStringList{QStringLiteral("-connect=127.0.0.1"), QStringLiteral("-port=3201"),
                           QStringLiteral("-nosplash"), QStringLiteral("-mod=@x"),
                           QStringLiteral("a b")}
            << QStringLiteral("127.0.0.1:3201") << QString() << QStringLiteral("-mod=@x a b") << 3
            << 2;
        QTest::newRow("no server named: the selection stays")
            << QStringList{QStringLiteral("-port=5"), QStringLiteral("-mod=@x")}
            << QStringLiteral("127.0.0.9:2302") << QStringLiteral("old")
            << QStringLiteral("-MOD=@a -x") << 2 << 0;
    }

    void handedLineSelectsOrAddsItsServer() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, address);
        QFETCH(QString, password);
        QFETCH(QString, parameters);
        QFETCH(int, entries);
        QFETCH(int, selected);
        QTemporaryDir runtime;
        WindowFixture fixture;
        QVERIFY(fixture.saved);
        CWatchDialog& window = *fixture.window;
        QCOMPARE(fixture.watch.selected.size(), size_t(1)); // the remembered one, at the start
        CWatchApp first(SocketIn(runtime));
        QVERIFY(first.ClaimInstance({"quillory"}));
        first.SetWindow(&window);

        std::vector<String> words = {"/elsewhere/quillory"};
        for (const QString& argument : arguments)
            words.push_back(argument.toStdString());
        CWatchApp second(SocketIn(runtime));
        QVERIFY(!second.ClaimInstance(words));
        QTRY_COMPARE(first.RestoreRequests(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(fixture.notifier.flashes, 1, 2000);

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
        // A named server is watched from now on; otherwise the engine is left alone.
        const bool named = selected != 0;
        QCOMPARE(fixture.watch.selected.size(), size_t(named ? 2 : 1));
        QCOMPARE(QString::fromStdString(fixture.watch.selected.back().address),
                 named ? address : QStringLiteral("127.0.0.9:2302"));
        // The running copy's own program path stays its own.
        QCOMPARE(window.ProgramPath(), String("/opt/quillory/quillory"));
    }

    void handedLineWaitsForADialogOverTheWindow() {
        QTemporaryDir runtime;
        WindowFixture fixture;
        QVERIFY(fixture.saved);
        CWatchDialog& window = *fixture.window;
        window.show();
        window.StopTimer();
        CWatchApp first(SocketIn(runtime));
        QVERIFY(first.ClaimInstance({"quillory"}));
        first.SetWindow(&window);
        auto* editor = new QDialog(&window);
        editor->setModal(true);
        editor->show();
        QVERIFY(QApplication::activeModalWidget() == editor);

        CWatchApp second(SocketIn(runtime));
        QVERIFY(!second.ClaimInstance({"quillory", "-connect=127.0.0.1", "-port=3201"}));
        QTRY_COMPARE(first.RestoreRequests(), 1);
        window.activateWindow();
        QTRY_VERIFY(QApplication::activeWindow() == &window);
        window.Tick();
        // The window came forward, and the dialog over it with it, still within reach.
        QTRY_VERIFY(QApplication::activeWindow() == editor);
        QCOMPARE(fixture.notifier.flashes, 1);
        QCOMPARE(window.SelectedIndex(), 0);
        QCOMPARE(fixture.watch.selected.size(), size_t(1));
        editor->close();
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        window.Tick();
        QCOMPARE(window.SelectedIndex(), 2);
        QCOMPARE(window.SelectedEntry()->address, String("127.0.0.1:3201"));
        QCOMPARE(fixture.watch.selected.size(), size_t(2));
    }

    void malformedMessagesAreIgnored_data() {
        QTest::addColumn<QByteArray>("bytes");
        const auto u32 = [](uint32_t value) {
            QByteArray bytes;
            for (int i = 0; i < 4; ++i)
                bytes.append(char((value >> (8 * i)) & 0xFF));
            return bytes;
        };
        const QByteArray connect("-connect=127.0.0.1");
        QTest::newRow("a line of text") << QByteArray("-connect=127.0.0.1\n");
        QTest::newRow("wrong start") << QByteArray("QLN2") + u32(22) + u32(18) + connect;
        QTest::newRow("word beyond the body") << QByteArray("QLN1") + u32(22) + u32(40) + connect;
        QTest::newRow("body beyond the bound") << QByteArray("QLN1") + u32(0x7FFFFFFF) + connect;
        QTest::newRow("cut short, then the peer leaves")
            << QByteArray("QLN1") + u32(22) + u32(18) + connect.left(5);
        QTest::newRow("trailing bytes")
            << QByteArray("QLN1") + u32(22) + u32(18) + connect + QByteArray("zz");
    }

    void malformedMessagesAreIgnored() {
        QFETCH(QByteArray, bytes);
        QTemporaryDir runtime;
        WindowFixture fixture;
        QVERIFY(fixture.saved);
        CWatchDialog& window = *fixture.window;
        CWatchApp first(SocketIn(runtime));
        QVERIFY(first.ClaimInstance({"quillory"}));
        first.SetWindow(&window);

        QLocalSocket peer;
        peer.connectToServer(SocketIn(runtime));
        QVERIFY(peer.waitForConnected(2000));
        peer.write(bytes);
        QVERIFY(peer.waitForBytesWritten(2000));
        // Sent in full, then the peer leaves; the running copy has read it all.
        QTest::qWait(200);
        peer.disconnectFromServer();
        QTest::qWait(700); // more than one tick
        QCOMPARE(first.RestoreRequests(), 0);
        QCOMPARE(fixture.notifier.flashes, 0);
        QCOMPARE(window.Entries().size(), size_t(2));
        QCOMPARE(window.SelectedIndex(), 0);
        // The running copy still answers a well-formed line.
        CWatchApp later(SocketIn(runtime));
        QVERIFY(!later.ClaimInstance({"quillory", "-connect=127.0.0.1"}));
        QTRY_COMPARE(first.RestoreRequests(), 1);
        QTRY_COMPARE(window.SelectedEntry()->address, String("127.0.0.1:"));
    }

    void aSilentConnectionIsDropped() {
        QTemporaryDir runtime;
        CWatchApp first(SocketIn(runtime));
        QVERIFY(first.ClaimInstance({"quillory"}));
        QLocalSocket peer;
        peer.connectToServer(SocketIn(runtime));
        QVERIFY(peer.waitForConnected(2000));
        peer.write("QLN1");
        QVERIFY(peer.waitForBytesWritten(2000));
        // The rest never comes: the running copy hangs up rather than wait for ever.
        QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QLocalSocket::UnconnectedState, 6000);
        QCOMPARE(first.RestoreRequests(), 0);
    }

    void socketLeftByACrashedCopyIsTakenOver() {
        QTemporaryDir runtime;
        const QString name = SocketIn(runtime);
        QVERIFY(LeaveStaleSocket(name));
        CWatchApp app(name);
        QVERIFY(app.ClaimInstance({"quillory"}));
        QVERIFY(app.ClaimProblem().isEmpty());
        CWatchApp later(name);
        QVERIFY(!later.ClaimInstance({"quillory"}));
        QTRY_COMPARE(app.RestoreRequests(), 1);
    }

    void twoRuntimeFoldersGiveTwoRunningCopies() {
        QTemporaryDir runtimeA;
        QTemporaryDir runtimeB;
        QTemporaryDir data;
        const String dataFolder = data.path().toStdString();
        const auto path = [&dataFolder](const QTemporaryDir& runtime) {
            return QString::fromStdString(platform::InstanceSocketPath(
                runtime.path().toStdString(), CWatchApp::INSTANCE_NAME, dataFolder));
        };
        QVERIFY(path(runtimeA) != path(runtimeB));
        CWatchApp a(path(runtimeA));
        CWatchApp b(path(runtimeB));
        QVERIFY(a.ClaimInstance({"quillory"}));
        QVERIFY(b.ClaimInstance({"quillory"}));
        // Each answers only its own folder's later copies.
        CWatchApp laterA(path(runtimeA));
        QVERIFY(!laterA.ClaimInstance({"quillory"}));
        QTRY_COMPARE(a.RestoreRequests(), 1);
        QCOMPARE(b.RestoreRequests(), 0);
    }

    void aNameThatCannotBeListenedOnStillLetsTheProgramRun() {
        QTemporaryDir tmp;
        // A socket path in a folder that does not exist: listening fails, the copy goes on.
        const QString name = tmp.path() + QStringLiteral("/missing/QUILLORYTEST");
        CWatchApp app(name);
        QVERIFY(app.ClaimInstance({"quillory"}));
        QVERIFY2(app.ClaimProblem().startsWith(name + QStringLiteral(": ")),
                 qPrintable(app.ClaimProblem()));
        // Without a socket path at all, the copy runs alone too.
        CWatchApp alone{QString()};
        QVERIFY(alone.ClaimInstance({"quillory"}));
    }

    void restartLetsGoOfTheNameAndRunsTheStartLine() {
        QTemporaryDir runtime;
        const QString name = SocketIn(runtime);
        struct Call {
            String program;
            std::vector<String> argv;
            String folder;
            bool nameHeld = true;
        };
        std::vector<Call> calls;
        const std::vector<String> argv = {"./quillory", "--data-folder=rel", "-connect=127.0.0.1",
                                          "-port=3201"};
        CWatchApp app(
            name, CWatchApp::StartLine{argv, "/home/p"},
            [&](const String& program, const std::vector<String>& args, const String& folder) {
                calls.push_back({program, args, folder, QFileInfo::exists(name)});
                return String("cannot run /opt/q/quillory: Permission denied");
            });
        QVERIFY(app.ClaimInstance({"quillory"}));
        bool stillFirst = false;
        const QString reason = app.Restart("/opt/q/quillory", {"/opt/q/quillory"}, stillFirst);
        QCOMPARE(calls.size(), size_t(1));
        QCOMPARE(calls[0].program, String("/opt/q/quillory"));
        QCOMPARE(Words(calls[0].argv), Words(argv));
        QCOMPARE(calls[0].folder, String("/home/p"));
        QVERIFY2(!calls[0].nameHeld, "the new image would have met the old copy's socket");
        // It failed: the old copy keeps running and holds the name again.
        QCOMPARE(reason, QStringLiteral("cannot run /opt/q/quillory: Permission denied"));
        QVERIFY(stillFirst);
        CWatchApp later(name);
        QVERIFY(!later.ClaimInstance({"quillory"}));
        QTRY_COMPARE(app.RestoreRequests(), 1);
    }

    void aCopyStartedDuringAFailedRestartKeepsTheName() {
        QTemporaryDir runtime;
        const QString name = SocketIn(runtime);
        CWatchApp meanwhile(name);
        bool claimedMeanwhile = false;
        CWatchApp app(name, CWatchApp::StartLine{{"quillory"}, String()},
                      [&](const String&, const std::vector<String>&, const String&) {
                          claimedMeanwhile = meanwhile.ClaimInstance({"quillory"});
                          return String("cannot run quillory: No such file or directory");
                      });
        QVERIFY(app.ClaimInstance({"quillory"}));
        bool stillFirst = true;
        app.Restart("quillory", {"quillory", "-connect=127.0.0.1"}, stillFirst);
        // The old copy handed its line to the new one and leaves.
        QVERIFY(claimedMeanwhile);
        QVERIFY(!stillFirst);
        QTRY_COMPARE(meanwhile.RestoreRequests(), 1);
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

    void unreadableSettingsAreMovedAsideSaidOnceThenWrittenAnew() {
        const QByteArray good = Version1Settings(QStringLiteral("/nowhere/"));
        QByteArray newer = good;
        newer[1] = '\3';
        QByteArray marker = good;
        marker[0] = '\1';
        const struct {
            const char* name;
            QByteArray bytes;
            const char* problem;
        } cases[] = {
            {"newer", newer, "it is of unknown version 3"},
            {"marker", marker, "it does not start with the settings marker"},
            {"zeros", QByteArray(4096, '\0'), "it holds nothing but zero bytes"},
        };
        for (const auto& c : cases) {
            QTemporaryDir folder;
            const QString sav = folder.path() + QStringLiteral("/quillory.sav");
            const QString bad = sav + QStringLiteral(".bad");
            QFile file(sav);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(c.bytes);
            file.close();
            for (int run = 0; run < 2; ++run) {
                test::CScriptedWatch watch;
                CMessageBoxes boxes;
                boxes.QueueAnswer(QMessageBox::Ok);
                CWatchDialog::Parts parts;
                parts.watch = &watch;
                parts.messageBoxes = &boxes;
                parts.dataFolder = folder.path().toStdString();
                CWatchDialog window(parts);
                window.Open({"quillory"});
                // At the first start the old file is aside before anything can write a new one.
                QVERIFY2(run == 1 || !QFile::exists(sav), c.name);
                QTest::qWait(50);
                window.accept();
                // Said once, at the first start only.
                const QStringList expected =
                    run == 0 ? QStringList{window.windowTitle() + QStringLiteral(": ") +
                                           QStringLiteral("quillory.sav could not be read (%1) "
                                                          "and was moved aside to %2.")
                                               .arg(QString::fromLatin1(c.problem), bad)}
                             : QStringList{};
                QCOMPARE(boxes.Asked(), expected);
                QFile aside(bad);
                QVERIFY2(aside.open(QIODevice::ReadOnly), c.name);
                QCOMPARE(aside.readAll(), c.bytes);
                // The window's own file, read back whole; the next start finds it.
                QVERIFY2(ReadSettingsFile(sav.toStdString()).state == SettingsLoad::READ, c.name);
            }
        }
    }

    void settingsThatCannotBeMovedAsideAreNotSavedOver() {
        QTemporaryDir folder;
        const QString sav = folder.path() + QStringLiteral("/quillory.sav");
        QFile file(sav);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(100, '\0'));
        file.close();
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("quillory.sav.bad/in the way")));
        test::CScriptedWatch watch;
        CMessageBoxes boxes;
        boxes.QueueAnswer(QMessageBox::Ok);
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.messageBoxes = &boxes;
        parts.dataFolder = folder.path().toStdString();
        CWatchDialog window(parts);
        window.Open({"quillory", "-connect=127.0.0.1"});
        QTRY_COMPARE(boxes.Asked().size(), qsizetype(1));
        QVERIFY2(boxes.Asked()[0].contains(QStringLiteral("nor moved aside")),
                 qPrintable(boxes.Asked()[0]));
        window.accept();
        QCOMPARE(boxes.Asked().size(), qsizetype(1));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(100, '\0'));
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

    void aCancelledPathSetupKeepsTheStoredFolderWithoutADatabase() {
        QTemporaryDir folder, gone;
        const QString data = folder.path();
        Settings settings;
        // A folder whose game cannot be found today (a disk not mounted, say).
        settings.gameFolder = (gone.path() + QStringLiteral("/not-mounted/")).toStdString();
        QVERIFY(SaveSettings(data.toStdString() + "/quillory.sav", settings));
        test::CScriptedWatch watch;
        test::CRecordingNotifier notifier;
        CMessageBoxes boxes;
        CExecutableCheck launcher; // gives no folder, as the path setup's "Cancel" does
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.notifier = &notifier;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.dataFolder = data.toStdString();
        CWatchDialog window(parts);
        window.Open({"quillory"});
        window.StopTimer();
        window.Tick();
        QVERIFY(boxes.Asked().isEmpty()); // no first-run scan message either
        QVERIFY(!window.GantryReady());
        window.accept();
        QVERIFY(!QFile::exists(data + QStringLiteral("/quillory.dat")));
        QCOMPARE(LoadSettings(data.toStdString() + "/quillory.sav").gameFolder,
                 settings.gameFolder);
    }

    void commandLineAddsOrSelects_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("selected");
        QTest::newRow("existing entry, other case")
            << QStringList{QStringLiteral("-connect=LOCALHOST"), QStringLiteral("-port=2400"),
                           QStringLiteral("-password=new")}
            << QStringLiteral("localhost:2400") << QStringLiteral("new") << QString() << 2 << 1;
        QTest::newRow("new entry")
            << QStringList{QStringLiteral("-connect=127.10.0.7"), QStringLiteral("-port=2302")}
            << QStringLiteral("127.10.0.7:2302") << QString() << QString() << 3 << 2;
        QTest::newRow("no port keeps the colon")
            << QStringList{QStringLiteral("-connect=127.10.0.7")} << QStringLiteral("127.10.0.7:")
            << QString() << QString() << 3 << 2;
        QTest::newRow("free words, nosplash dropped, later value wins")
            << QStringList{QStringLiteral("-connect=a"), QStringLiteral("-nosplash"),
                           QStringLiteral("-mod=@x"),    QStringLiteral("-PORT=1"),
                           QStringLiteral("-port=2"),    QStringLiteral("-win")}
            << QStringLiteral("a:2") << QString() << QStringLiteral("-mod=@x -win") << 3 << 2;
        QTest::newRow("no host keeps the remembered selection")
            << QStringList{QStringLiteral("-port=5")} << QStringLiteral("127.11.1.1:2302")
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
            ServerEntry{"127.11.1.1:2302", "old", "Old server", "-MOD=@a -x", false}));
        settings.entries.push_back(
            std::make_shared<ServerEntry>(ServerEntry{"localhost:2400", "pw", "Host", "-y", true}));
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
        // The news go to a browser server on this machine, never to the built-in host.
        environment.insert(QStringLiteral("QUILLORY_BROWSER"), QStringLiteral("127.0.0.1:9"));
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

        // The instance socket lives in the runtime folder: this test's own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.path());
        // The news go to a browser server on this machine, never to the built-in host.
        environment.insert(QStringLiteral("QUILLORY_BROWSER"), QStringLiteral("127.0.0.1:9"));
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
        QCOMPARE(saved.entries[0]->address, String("127.11.1.1:2302"));
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

    void oneCopyPerUserAndDataFolder() {
#ifndef QUILLORY_PATH
        QSKIP("the program is not built");
#else
        QTemporaryDir folder;
        const QString game = MakeGameFolder(folder.path(), 3);
        const QString dataA = folder.path() + QStringLiteral("/dataA");
        const QString dataB = folder.path() + QStringLiteral("/dataB");
        for (const QString& data : {dataA, dataB}) {
            QVERIFY(QDir().mkpath(data));
            SaveEmptyDatabase(data, game);
            QFile sav(data + QStringLiteral("/quillory.sav"));
            QVERIFY(sav.open(QIODevice::WriteOnly));
            sav.write(Version1Settings(game));
        }
        // Two users' runtime folders.
        const QString runA = folder.path() + QStringLiteral("/runA");
        const QString runB = folder.path() + QStringLiteral("/runB");
        QVERIFY(QDir().mkpath(runA) && QDir().mkpath(runB));
        const auto start = [&](QProcess& program, const QString& run, const QString& data,
                               const QStringList& arguments) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("QUILLORY_BROWSER"), QStringLiteral("127.0.0.1:9"));
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
            environment.insert(QStringLiteral("TMPDIR"), folder.path());
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            program.setProcessEnvironment(environment);
            program.setWorkingDirectory(data);
            program.start(QStringLiteral(QUILLORY_PATH), arguments);
            QVERIFY(program.waitForStarted());
        };
        QProcess first;
        start(first, runA, dataA, {});
        QTest::qWait(2500);
        QCOMPARE(first.state(), QProcess::Running);
        // Another user with the same data folder, and the same user with another one: both run.
        QProcess otherUser;
        start(otherUser, runB, dataA, {});
        QProcess otherFolder;
        start(otherFolder, runA, dataB, {});
        QTest::qWait(2500);
        QCOMPARE(otherUser.state(), QProcess::Running);
        QCOMPARE(otherFolder.state(), QProcess::Running);
        for (QProcess* program : {&otherUser, &otherFolder}) {
            program->terminate();
            QVERIFY(program->waitForFinished(15000));
        }

        // The same user and folder again: the line goes to the first copy, which adds the server.
        QProcess second;
        start(second, runA, dataA,
              {QStringLiteral("-connect=127.0.0.1"), QStringLiteral("-port=9"),
               QStringLiteral("-password=pw"), QStringLiteral("-mod=@x")});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 0);
        QTest::qWait(2500); // a tick of the first copy takes the line, even on a busy machine
        first.terminate();
        QVERIFY(first.waitForFinished(15000));
        QCOMPARE(first.exitCode(), 0);
        const Settings saved = LoadSettings(dataA.toStdString() + "/quillory.sav");
        QCOMPARE(saved.entries.size(), size_t(2));
        QCOMPARE(saved.entries[1]->address, String("127.0.0.1:9"));
        QCOMPARE(saved.entries[1]->password, String("pw"));
        QCOMPARE(saved.entries[1]->startupParameters, String("-mod=@x"));
        QCOMPARE(saved.selectedIndex, 1);
        // Nothing was left in the temporary folder: the sockets live in the runtime folders.
        QVERIFY(
            !QFileInfo::exists(folder.path() + QStringLiteral("/quillory-%1").arg(::geteuid())));
#endif
    }

    void helpAndVersionNeedNoDisplay() {
#ifndef QUILLORY_PATH
        QSKIP("the program is not built");
#else
        QTemporaryDir folder;
        // A platform that cannot start here: the answers must come before Qt does.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The news go to a browser server on this machine, never to the built-in host.
        environment.insert(QStringLiteral("QUILLORY_BROWSER"), QStringLiteral("127.0.0.1:9"));
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
        const auto help = run({QStringLiteral("-connect=127.10.0.7"), QStringLiteral("--help")});
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
        // The news go to a browser server on this machine, never to the built-in host.
        environment.insert(QStringLiteral("QUILLORY_BROWSER"), QStringLiteral("127.0.0.1:9"));
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
