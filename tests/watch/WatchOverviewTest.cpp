// The window's new parts over a scripted engine: "Join when a slot frees" and how it ends,
// friends told once and shown in the table, the player history, and the choices kept in
// "quillory.json".
#include "TestMain.h"
#include "WatchFakes.h"

#include "ui/MessageBoxes.h"
#include "watch/PlayersPlot.h"
#include "watch/ServersOverview.h"
#include "watch/ServersTable.h"
#include "watch/WatchDialog.h"
#include "watch/core/UserConfigFile.h"
#include "watch/core/WatchRules.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;
using namespace quillory::ui;

namespace {

constexpr int64_t kNow = 1'800'000'000;
const char* const kFirst = "127.0.0.1:2302";
const char* const kSecond = "127.0.0.2:2302";

// A window watching the first of two saved servers, its timer stopped; `friends` are in its
// "quillory.json" before it opens.
struct OverviewWindow {
    explicit OverviewWindow(std::vector<String> friends = {}) {
        if (!friends.empty()) {
            UserConfig config;
            config.friends = std::move(friends);
            CUserConfigFile().Save(Folder(), config, CPlayerHistory());
        }
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.notifier = &notifier;
        parts.dataFolder = Folder();
        parts.unixNow = [this] { return now; };
        window = std::make_unique<CWatchDialog>(parts);
        window->Open({"quillory", "-connect=127.0.0.2", "-port=2302"});
        window->StopTimer();
        ServerEntry typed;
        typed.address = kFirst;
        window->AddServer(typed);
    }

    String Folder() const { return folder.path().toStdString(); }

    // One tick with the watched server at `players` of `maximum`.
    void TickPlayers(int players, const char* maximum = "8") {
        watch.status.implementation = IMPL_SOCKETS;
        watch.status.state = GS_PLAYING;
        watch.status.players = players;
        watch.status.maxPlayers = maximum;
        window->Tick();
    }

    // Play Now on the full server, answered with "Join when a slot frees".
    void StartWaiting() {
        TickPlayers(8);
        boxes.QueueAnswer(QMessageBox::Open);
        Find<QPushButton>("playNowButton")->click();
    }

    template <typename T> T* Find(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    QTemporaryDir folder;
    test::CScriptedWatch watch;
    CMessageBoxes boxes;
    test::CCountingLauncher launcher;
    test::CRecordingNotifier notifier;
    int64_t now = kNow;
    std::unique_ptr<CWatchDialog> window;
};

ServerRow Replied(const char* address, std::vector<const char*> players) {
    ServerRow row;
    row.address = address;
    row.result = QueryResult::REPLIED;
    row.status.state = GS_PLAYING;
    row.status.players = int32_t(players.size());
    row.status.maxPlayers = "8";
    row.status.mission = "Siege";
    for (const char* name : players)
        row.status.playerList.push_back(std::make_shared<PlayerInfo>(PlayerInfo{name, "0", "0"}));
    return row;
}

ServerRow Silent(const char* address) {
    ServerRow row;
    row.address = address;
    row.result = QueryResult::NO_REPLY;
    return row;
}

} // namespace

class WatchOverviewTest : public QObject {
    Q_OBJECT

private slots:
    void fullServerOffersAWaitThatLaunchesOnce() {
        OverviewWindow w;
        QCOMPARE(w.window->Entries().size(), size_t(2));
        w.StartWaiting();
        QCOMPARE(w.boxes.Asked().size(), 1);
        QVERIFY(w.boxes.Asked()[0].contains(QStringLiteral("The server is full (8/8)")));
        QCOMPARE(w.launcher.playNows, 0);
        QVERIFY(w.window->WaitingForSlot());
        QVERIFY(w.Find<QLabel>("slotWaitText")->isVisibleTo(w.window.get()));
        QVERIFY(w.Find<QLabel>("slotWaitText")->text().startsWith(QStringLiteral("Waiting for")));
        QVERIFY(w.Find<QPushButton>("cancelSlotWaitButton")->isVisibleTo(w.window.get()));

        w.TickPlayers(8);
        QCOMPARE(w.launcher.playNows, 0);
        // A slot frees: the game starts once, and the wait is over.
        w.TickPlayers(7);
        QCOMPARE(w.launcher.playNows, 1);
        QVERIFY(!w.window->WaitingForSlot());
        QVERIFY(!w.Find<QLabel>("slotWaitText")->isVisibleTo(w.window.get()));
        w.TickPlayers(8);
        w.TickPlayers(6);
        QCOMPARE(w.launcher.playNows, 1);
    }

    void aServerWithRoomLaunchesAtOnce() {
        OverviewWindow w;
        // Room, and a server whose maximum is unknown: Play Now as ever, no question.
        w.TickPlayers(7);
        w.Find<QPushButton>("playNowButton")->click();
        w.TickPlayers(3, "");
        w.Find<QPushButton>("playNowButton")->click();
        QCOMPARE(w.launcher.playNows, 2);
        QVERIFY(w.boxes.Asked().isEmpty());
        QVERIFY(!w.window->WaitingForSlot());
    }

    void declinedOfferNeitherWaitsNorLaunches() {
        OverviewWindow w;
        w.TickPlayers(8);
        w.boxes.QueueAnswer(QMessageBox::Close);
        w.Find<QPushButton>("playNowButton")->click();
        QVERIFY(!w.window->WaitingForSlot());
        w.TickPlayers(7);
        QCOMPARE(w.launcher.playNows, 0);
    }

    // Each way the wait ends; a slot freeing afterwards starts nothing.
    void waitEnds_data() {
        QTest::addColumn<QString>("how");
        for (const char* how : {"cancel", "play now", "other server", "table pick", "close"})
            QTest::newRow(how) << QString::fromLatin1(how);
    }

    void waitEnds() {
        QFETCH(QString, how);
        OverviewWindow w;
        w.StartWaiting();
        QVERIFY(w.window->WaitingForSlot());
        if (how == QLatin1String("cancel")) {
            w.Find<QPushButton>("cancelSlotWaitButton")->click();
        } else if (how == QLatin1String("play now")) {
            // Still full: the offer comes again and is declined this time.
            w.boxes.QueueAnswer(QMessageBox::Close);
            w.Find<QPushButton>("playNowButton")->click();
        } else if (how == QLatin1String("other server")) {
            w.window->SelectServer(0);
            QVERIFY(!w.window->WaitingForSlot());
            w.window->SelectServer(1);
        } else if (how == QLatin1String("table pick")) {
            emit w.Find<CServersTable>("serversTable")->EntryChosen(0);
            QCOMPARE(w.window->SelectedIndex(), 0);
        } else {
            w.window->accept();
        }
        QVERIFY(!w.window->WaitingForSlot());
        w.TickPlayers(7);
        QCOMPARE(w.launcher.playNows, 0);
    }

    void friendsAreToldOnceAndShownInTheTable() {
        OverviewWindow w({"wren*"});
        CServersOverview& overview = w.window->Overview();
        auto* table = w.Find<CServersTable>("serversTable");
        QCOMPARE(table->topLevelItemCount(), 2);
        QCOMPARE(table->Text(0, CServersTable::STATUS), QStringLiteral("Asking"));

        overview.TakeRows({Silent(kSecond), Replied(kFirst, {"Ash", "WRENNA"})});
        QCOMPARE(w.notifier.sounds, std::vector<int>{SND_WAITING});
        QCOMPARE(w.notifier.flashes, 1);
        QCOMPARE(w.Find<QLabel>("noticeLine")->text(),
                 QStringLiteral("WRENNA joined 127.0.0.1:2302"));
        QCOMPARE(table->Text(0, CServersTable::STATUS), QStringLiteral("No reply"));
        QCOMPARE(table->Text(1, CServersTable::FRIENDS), QStringLiteral("WRENNA"));
        QCOMPARE(table->Text(1, CServersTable::PLAYERS), QStringLiteral("2/8"));
        QCOMPARE(table->Current(), 1);

        // The same round again tells nothing; a silent round is not a leave.
        overview.TakeRows({Silent(kSecond), Replied(kFirst, {"Ash", "WRENNA"})});
        overview.TakeRows({Silent(kSecond), Silent(kFirst)});
        QCOMPARE(w.notifier.sounds.size(), size_t(1));
        QVERIFY(table->Text(1, CServersTable::FRIENDS).isEmpty());
        overview.TakeRows({Silent(kSecond), Replied(kFirst, {"Ash"})});
        QCOMPARE(w.notifier.sounds, (std::vector<int>{SND_WAITING, SND_DEBRIEFING}));
        QCOMPARE(w.Find<QLabel>("noticeLine")->text(),
                 QStringLiteral("WRENNA left 127.0.0.1:2302"));
    }

    void theWatchedRowFollowsTheWatchButTellsNoFriend() {
        OverviewWindow w({"wren*"});
        auto* table = w.Find<CServersTable>("serversTable");
        w.window->Overview().TakeRows({Silent(kSecond), Replied(kFirst, {"Ash"})});
        QCOMPARE(table->Text(1, CServersTable::PLAYERS), QStringLiteral("1/8"));
        // The watch hears the server between two rounds: its row shows that at once.
        w.watch.status.playerList.push_back(
            std::make_shared<PlayerInfo>(PlayerInfo{"Wrenna", "0", "0"}));
        w.TickPlayers(5);
        QCOMPARE(table->Text(1, CServersTable::PLAYERS), QStringLiteral("5/8"));
        QCOMPARE(table->Text(1, CServersTable::STATUS), QStringLiteral("Playing"));
        // Friends stay with the rounds: one change, told once, when a round sees it.
        auto* notice = w.Find<QLabel>("noticeLine");
        QVERIFY(!notice->text().contains(QStringLiteral("joined")));
        QCOMPARE(w.window->History().Samples(kFirst).size(), size_t(1));
        const size_t soundsBefore = w.notifier.sounds.size();
        w.window->Overview().TakeRows({Silent(kSecond), Replied(kFirst, {"Ash", "Wrenna"})});
        QCOMPARE(w.notifier.sounds.size(), soundsBefore + 1);
        QCOMPARE(w.notifier.sounds.back(), int(SND_WAITING));
        QCOMPARE(notice->text(), QStringLiteral("Wrenna joined 127.0.0.1:2302"));
    }

    void aGantryQuestionLeftUnansweredIsNotKeptInTheRow() {
        OverviewWindow w;
        CServersOverview& overview = w.window->Overview();
        auto* table = w.Find<CServersTable>("serversTable");
        overview.SetGantry(kFirst, "Querying");
        QCOMPARE(table->Text(1, CServersTable::GANTRY), QStringLiteral("Querying"));
        w.window->SelectServer(0);
        QVERIFY(table->Text(1, CServersTable::GANTRY).isEmpty());
        // An answer stays after the watch has moved on.
        w.window->SelectServer(1);
        overview.SetGantry(kFirst, "Yes");
        w.window->SelectServer(0);
        QCOMPARE(table->Text(1, CServersTable::GANTRY), QStringLiteral("Yes"));
    }

    void historyFeedsThePlotAndMarksRounds() {
        OverviewWindow w;
        CServersOverview& overview = w.window->Overview();
        overview.TakeRows({Silent(kSecond), Replied(kFirst, {"Ash"})});
        w.now += 60;
        overview.TakeRows({Silent(kSecond), Replied(kFirst, {"Ash", "Bo"})});
        w.now += 60;
        ServerRow next = Replied(kFirst, {"Ash", "Bo", "Cy"});
        next.status.mission = "Harbour";
        overview.TakeRows({Silent(kSecond), next});
        const std::vector<HistorySample> samples = w.window->History().Samples(kFirst);
        QCOMPARE(samples.size(), size_t(3));
        QCOMPARE(samples[1].players, 2);
        QCOMPARE(samples[1].maxPlayers, 8);
        QVERIFY(!samples[0].roundChanged && !samples[1].roundChanged);
        QVERIFY(samples[2].roundChanged);
        QVERIFY(w.window->History().Samples(kSecond).empty());
        // The plot shows the watched server's samples; another selection shows its own.
        auto* plot = w.Find<CPlayersPlot>("playersPlot");
        QCOMPARE(plot->Samples().size(), size_t(3));
        w.window->SelectServer(0);
        QVERIFY(plot->Samples().empty());
    }

    void choicesAndHistoryAreKeptInQuilloryJson() {
        QTemporaryDir kept;
        {
            OverviewWindow w({"Wren"});
            w.window->Overview().TakeRows({Silent(kSecond), Replied(kFirst, {"Wren"})});
            w.window->accept();
            QVERIFY(QFile::copy(w.folder.filePath(QStringLiteral("quillory.json")),
                                kept.filePath(QStringLiteral("quillory.json"))));
        }
        UserConfigLoad load = CUserConfigFile([] { return kNow; }).Load(kept.path().toStdString());
        QCOMPARE(load.config.friends, std::vector<String>{"Wren"});
        QCOMPARE(load.history.Samples(kFirst).size(), size_t(1));
        QCOMPARE(load.history.Samples(kFirst)[0].players, 1);
    }

    void damagedChoicesAreSaidOnce() {
        QTemporaryDir folder;
        QFile file(folder.filePath(QStringLiteral("quillory.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{ not json");
        file.close();
        test::CScriptedWatch watch;
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.dataFolder = folder.path().toStdString();
        CWatchDialog window(parts);
        window.Open({"quillory"});
        window.StopTimer();
        QVERIFY(window.findChild<QLabel*>(QStringLiteral("noticeLine"))
                    ->text()
                    .contains(QStringLiteral("quillory.json.bad")));
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("quillory.json.bad"))));
        window.accept();
    }
};

QUILLORY_WATCH_TEST(WatchOverviewTest);
#include "WatchOverviewTest.moc"
