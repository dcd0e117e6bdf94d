// The whole walk against three simulators: one full that frees a slot after 30 s, one that a
// friend joins after 20 s, one silent. The window shows the three rows, the desktop service on
// the test's own bus hears of the friend once, and the waiting join starts the game once.
#include "TestMain.h"
#include "WatchFakes.h"

#include "FakeNotificationService.h"
#include "tests/support/FakeGameServer.h"
#include "tests/support/SimRun.h"
#include "ui/MessageBoxes.h"
#include "watch/EngineWatch.h"
#include "watch/ServersOverview.h"
#include "watch/ServersTable.h"
#include "watch/WatchDialog.h"
#include "watch/core/UserConfigFile.h"

#include <QDBusConnection>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;
using namespace quillory::ui;

namespace {

constexpr int kStartMs = 10000;
constexpr int kWalkMs = 50000;
// The friend's server runs this much longer than the full one: with rounds every 5 s the table
// sees the friend some 10 s before the freed slot ends the walk.
constexpr int kHeadStartMs = 3000;

// A launcher that says the game started, as the real one does when it could run it.
class CStartingLauncher final : public ILauncher {
public:
    String CheckGameFolder(const String& stored) override { return stored; }
    LaunchOutcome PlayNow(const LaunchRequest& request, QWidget*) override {
        requests.push_back(request);
        return {LaunchOutcome::Kind::STARTED, String()};
    }
    std::vector<LaunchRequest> requests;
};

int Count(const std::vector<test::RecordedNotification>& calls, const QString& body) {
    int count = 0;
    for (const auto& call : calls)
        count += call.body == body ? 1 : 0;
    return count;
}

} // namespace

class ServersWalkTest : public QObject {
    Q_OBJECT

private slots:
    void threeServersAFriendAndAFreedSlot() {
        // The desktop's bus and its notification service, private to the test.
        QProcess daemon;
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        QVERIFY2(!program.isEmpty(), "dbus-daemon is needed (scripts/setup.sh installs it)");
        daemon.start(program, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address")});
        QVERIFY(daemon.waitForStarted(kStartMs));
        QTRY_VERIFY_WITH_TIMEOUT(daemon.canReadLine(), kStartMs);
        const QString address = QString::fromLatin1(daemon.readLine()).trimmed();
        test::CFakeNotificationService service(
            QDBusConnection::connectToBus(address, QStringLiteral("walk-service")));
        QVERIFY(service.Registered());

        // The friend in any letter case, asked every 5 s.
        QTemporaryDir folder;
        UserConfig config;
        config.friends = {"mARLOWE"};
        config.refreshSeconds = 5;
        QVERIFY(CUserConfigFile().Save(folder.path().toStdString(), config, CPlayerHistory()));

        CEngineWatch engine;
        QVERIFY(engine.Start(folder.path().toStdString()));
        test::CRecordingNotifier notifier;
        CMessageBoxes boxes;
        CStartingLauncher launcher;
        CWatchDialog::Parts parts;
        parts.watch = &engine;
        parts.notifier = &notifier;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.dataFolder = folder.path().toStdString();
        parts.refreshServers = true;
        parts.desktopBus = QDBusConnection::connectToBus(address, QStringLiteral("walk-window"));
        CWatchDialog window(parts);
        window.show();
        window.Open({"quillory"});

        // The simulators start only now, so that a slow start of the window eats none of
        // their schedules; the friendly one first, so the friend is due well before the slot.
        test::CSimRun friendly({"--name", "Lantern Isles", "--players", "4", "--max-players", "12",
                                "--player-joins", "Marlowe@20", "--seed", "5"});
        QTest::qWait(kHeadStartMs);
        test::CSimRun full({"--name", "Full Keep", "--max-players", "8", "--free-slot-after", "30",
                            "--round-seconds", "1200", "--seed", "3"});
        test::FakeGameServer silent;
        QVERIFY(full.Listening() && friendly.Listening() && silent.Open());
        const std::string silentAddress = "127.0.0.1:" + std::to_string(silent.GamePort());
        for (const std::string& server : {friendly.Address(), silentAddress, full.Address()}) {
            ServerEntry typed;
            typed.address = server;
            window.AddServer(typed);
        }
        QCOMPARE(window.SelectedIndex(), 2);

        // Three rows: two answer, the silent one says so.
        auto* table = window.findChild<CServersTable*>(QStringLiteral("serversTable"));
        QCOMPARE(table->topLevelItemCount(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(table->Text(1, CServersTable::STATUS), QStringLiteral("No reply"),
                                  kStartMs);
        QTRY_COMPARE_WITH_TIMEOUT(table->Text(2, CServersTable::PLAYERS), QStringLiteral("8/8"),
                                  kStartMs);
        QVERIFY(table->Text(0, CServersTable::PLAYERS).endsWith(QStringLiteral("/12")));

        // Play Now on the full server: the player chooses to wait.
        QTRY_COMPARE_WITH_TIMEOUT(window.Status().players, 8, kStartMs);
        boxes.QueueAnswer(QMessageBox::Open);
        window.findChild<QPushButton*>(QStringLiteral("playNowButton"))->click();
        QVERIFY(window.WaitingForSlot());
        QVERIFY(launcher.requests.empty());

        // The friend arrives: told once, on the desktop too, and shown where he plays.
        const QString joined = QStringLiteral("Marlowe joined");
        QTRY_COMPARE_WITH_TIMEOUT(Count(service.Calls(), joined), 1, kWalkMs);
        QCOMPARE(table->Text(0, CServersTable::FRIENDS), QStringLiteral("Marlowe"));
        QVERIFY(launcher.requests.empty());

        // The slot frees: the game starts once, the window closes as Play Now's start does.
        QTRY_COMPARE_WITH_TIMEOUT(launcher.requests.size(), size_t(1), kWalkMs);
        QVERIFY(window.Closed());
        QTRY_COMPARE_WITH_TIMEOUT(
            Count(service.Calls(), QString::fromLatin1(CWatchDialog::SLOT_FREE_TEXT)), 1, kStartMs);
        QCOMPARE(Count(service.Calls(), joined), 1);
        daemon.kill();
        daemon.waitForFinished(kStartMs);
    }
};

QUILLORY_WATCH_TEST(ServersWalkTest);
#include "ServersWalkTest.moc"
