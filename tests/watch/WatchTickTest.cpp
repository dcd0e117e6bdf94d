// The watch tick driven directly over a scripted engine: notifications, field texts, the
// players list, the Gantry field, game-over handling and the renaming after the server.
#include "TestMain.h"
#include "WatchFakes.h"

#include "common/Version.h"
#include "ui/MessageBoxes.h"
#include "watch/SoundNotifier.h"
#include "watch/WatchDialog.h"
#include "watch/core/WatchRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace quillory;
using namespace quillory::ui;
using quillory::test::CCountingLauncher;
using quillory::test::CRecordingNotifier;
using quillory::test::CScriptedWatch;

namespace {

// A server with every field of the window filled.
void FillStatus(ServerStatus& s) {
    s.mission = "Siege";
    s.gameType = "ironvalu";
    s.players = 3;
    s.maxPlayers = "16";
    s.map = "Vale";
    s.param1 = "a";
    s.platform = "win";
    s.version = 196;
    s.requiredVersion = 175;
    s.ping = 42;
    s.port = 2302;
    s.locked = true;
}

// A window watching one server of the scripted engine, its timer stopped.
struct WatchedWindow {
    explicit WatchedWindow(const std::vector<String>& extraWords = {}) {
        CWatchDialog::Parts parts;
        parts.watch = &watch;
        parts.messageBoxes = &boxes;
        parts.launcher = &launcher;
        parts.notifier = &notifier;
        parts.dataFolder = folder.path().toStdString();
        parts.openUrl = [this](const QUrl& url) {
            opened << url.toString();
            return browserWorks;
        };
        window = std::make_unique<CWatchDialog>(parts);
        std::vector<String> words = {"quillory", "-connect=127.0.0.1", "-port=2302"};
        words.insert(words.end(), extraWords.begin(), extraWords.end());
        window->Open(words);
        window->StopTimer();
    }

    // One tick with the engine reporting `state` after a reply.
    void TickState(int32_t state) {
        watch.status.implementation = IMPL_SOCKETS;
        watch.status.state = state;
        window->Tick();
    }

    template <typename T> T* Find(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QString Field(const char* name) const { return Find<QLabel>(name)->text(); }

    QTemporaryDir folder;
    CScriptedWatch watch;
    CMessageBoxes boxes;
    CCountingLauncher launcher;
    CRecordingNotifier notifier;
    QStringList opened;       // pages asked for
    bool browserWorks = true; // whether a page could be shown
    std::unique_ptr<CWatchDialog> window;
};

Handle<PlayerInfo> Player(const char* name, const char* score, const char* deaths) {
    return std::make_shared<PlayerInfo>(PlayerInfo{name, score, deaths});
}

QStringList Rows(const QTreeWidget* list) {
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        rows << row->text(0) + QLatin1Char('/') + row->text(1) + QLatin1Char('/') + row->text(2);
    }
    return rows;
}

} // namespace

class WatchTickTest : public QObject {
    Q_OBJECT

private slots:
    // Steps: a state number, or "off"/"on" for the notify box.
    void notificationSequences_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("sounds");
        QTest::addColumn<QString>("lastStatus");
        const auto steps = [](const char* text) {
            return QString::fromLatin1(text).split(QLatin1Char(' '));
        };
        QTest::newRow("setting up then briefing notifies once")
            << steps("12 13 13") << QList<int>{SND_SETTING_UP} << QStringLiteral("Briefing");
        QTest::newRow("first reply playing after selecting")
            << steps("14") << QList<int>{SND_PLAYING} << QStringLiteral("Playing");
        QTest::newRow("idle first, then a named state")
            << steps("0 6") << QList<int>{SND_WAITING} << QStringLiteral("Waiting");
        QTest::newRow("idle alone") << steps("0 0") << QList<int>{} << QStringLiteral("Idle");
        QTest::newRow("unnamed state") << steps("7") << QList<int>{} << QStringLiteral("status==7");
        QTest::newRow("unnamed state, then the next named one")
            << steps("14 7 14 9") << QList<int>{SND_PLAYING, SND_DEBRIEFING}
            << QStringLiteral("Debriefing");
        QTest::newRow("notify off then on replays nothing")
            << steps("14 off 9 on 9") << QList<int>{SND_PLAYING} << QStringLiteral("Debriefing");
        QTest::newRow("notify back on, next change plays")
            << steps("14 off 9 on 9 6") << QList<int>{SND_PLAYING, SND_WAITING}
            << QStringLiteral("Waiting");
        QTest::newRow("playing, idle, playing")
            << steps("14 0 14") << QList<int>{SND_PLAYING} << QStringLiteral("Playing");
        QTest::newRow("waiting, idle, creating")
            << steps("6 0 2") << QList<int>{SND_WAITING, SND_CREATING}
            << QStringLiteral("Creating");
        QTest::newRow("briefing after waiting plays")
            << steps("6 13") << QList<int>{SND_WAITING, SND_SETTING_UP}
            << QStringLiteral("Briefing");
    }

    void notificationSequences() {
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, sounds);
        QFETCH(QString, lastStatus);
        WatchedWindow w;
        auto* notify = w.Find<QCheckBox>("notifyBox");
        QVERIFY(notify->isChecked());
        for (const QString& step : steps) {
            if (step == QLatin1String("off") || step == QLatin1String("on"))
                notify->setChecked(step == QLatin1String("on"));
            else
                w.TickState(step.toInt());
        }
        QCOMPARE(QList<int>(w.notifier.sounds.begin(), w.notifier.sounds.end()), sounds);
        QCOMPARE(w.notifier.flashes, int(sounds.size()));
        QCOMPARE(w.Field("statusField"), lastStatus);
    }

    void newSelectionStartsAFreshHistory() {
        WatchedWindow w;
        w.TickState(GS_PLAYING);
        w.window->AddServer(ServerEntry{"127.10.0.5:2302", "", "", "", true});
        w.TickState(GS_PLAYING);
        QCOMPARE(w.notifier.sounds, (std::vector<int>{SND_PLAYING, SND_PLAYING}));
    }

    void switchingServersClearsTheOldFieldsAtOnce() {
        WatchedWindow w;
        ServerStatus& s = w.watch.status;
        FillStatus(s);
        s.description = "Old Keep";
        s.timeLeft = "12";
        w.watch.status.playerList.push_back(Player("Ann", "1", "0"));
        w.TickState(GS_PLAYING);
        QCOMPARE(w.Field("mapField"), QStringLiteral("Vale"));
        // The new server never answers: nothing of the old one may stay on screen.
        w.window->AddServer(ServerEntry{"127.0.0.2:2302", "", "", "", true});
        w.window->Tick();
        QVERIFY(w.Find<QPlainTextEdit>("descriptionEdit")->toPlainText().isEmpty());
        QVERIFY(w.Find<QPlainTextEdit>("missionEdit")->toPlainText().isEmpty());
        for (const char* name :
             {"typeField", "versionField", "requiredField", "pingField", "lockedField", "portField",
              "implField", "platformField", "loggedOnField", "mapField", "statusField",
              "timeLeftField", "paramField"})
            QVERIFY2(w.Field(name).isEmpty(), name);
        QCOMPARE(w.Find<QTreeWidget>("playersList")->topLevelItemCount(), 0);
    }

    void noReplyWritesNoFields() {
        WatchedWindow w;
        w.watch.status.state = GS_PLAYING; // not yet replied: implementation 0
        w.window->Tick();
        QVERIFY(w.notifier.sounds.empty());
        QVERIFY(w.Field("statusField").isEmpty());
        QCOMPARE(w.Field("gantryField"), QStringLiteral("n/a"));
    }

    void timeLeft_data() {
        QTest::addColumn<QStringList>("reported");
        QTest::addColumn<QStringList>("shown");
        const auto list = [](const char* text) {
            return QString::fromLatin1(text).split(QLatin1Char(' '));
        };
        QTest::newRow("fresh 15") << list("15") << list("Unknown");
        QTest::newRow("16 then 15s") << list("16 15 15") << list("16 15 15");
        QTest::newRow("countdown") << list("17 16 15 14") << list("17 16 15 14");
        QTest::newRow("15 after 20") << list("20 15") << list("20 Unknown");
    }

    void timeLeft() {
        QFETCH(QStringList, reported);
        QFETCH(QStringList, shown);
        WatchedWindow w;
        QStringList seen;
        for (const QString& value : reported) {
            w.watch.status.timeLeft = value.toStdString();
            w.TickState(GS_PLAYING);
            seen << w.Field("timeLeftField");
        }
        QCOMPARE(seen, shown);
    }

    void fieldTexts() {
        WatchedWindow w;
        ServerStatus& s = w.watch.status;
        FillStatus(s);
        s.description = "Vale \x80 Keep"; // Windows-1252 euro sign
        s.param2 = "b";
        w.TickState(GS_WAITING);
        QCOMPARE(w.Find<QPlainTextEdit>("descriptionEdit")->toPlainText(),
                 QStringLiteral("Vale \u20AC Keep"));
        QCOMPARE(w.Find<QPlainTextEdit>("missionEdit")->toPlainText(), QStringLiteral("Siege"));
        QCOMPARE(w.Field("typeField"), QStringLiteral("Ironvale Uprising"));
        QCOMPARE(w.Field("loggedOnField"), QStringLiteral("3/16"));
        QCOMPARE(w.Field("mapField"), QStringLiteral("Vale"));
        QCOMPARE(w.Field("paramField"), QStringLiteral("a, b"));
        QCOMPARE(w.Field("platformField"), QStringLiteral("Windows"));
        QCOMPARE(w.Field("versionField"), QStringLiteral("196"));
        QCOMPARE(w.Field("requiredField"), QStringLiteral("175"));
        QCOMPARE(w.Field("pingField"), QStringLiteral("42"));
        QCOMPARE(w.Field("portField"), QStringLiteral("2302"));
        QCOMPARE(w.Field("lockedField"), QStringLiteral("YES"));
        QCOMPARE(w.Field("implField"), QStringLiteral("Sockets"));
        QCOMPARE(w.Field("statusField"), QStringLiteral("Waiting"));
        // Fields the server leaves empty keep their last text.
        s.gameType.clear();
        s.platform.clear();
        s.param1.clear();
        s.maxPlayers.clear();
        s.locked = false;
        s.implementation = IMPL_DIRECTPLAY;
        w.window->Tick();
        QCOMPARE(w.Field("typeField"), QStringLiteral("Ironvale Uprising"));
        QCOMPARE(w.Field("platformField"), QStringLiteral("Windows"));
        QCOMPARE(w.Field("paramField"), QStringLiteral("a, b"));
        QCOMPARE(w.Field("loggedOnField"), QStringLiteral("3"));
        QCOMPARE(w.Field("lockedField"), QStringLiteral("No"));
        QCOMPARE(w.Field("implField"), QStringLiteral("DirectPlay"));
    }

    void longestTypeIsShownWhole() {
        WatchedWindow w;
        w.watch.status.gameType = "ironvalu";
        w.TickState(GS_PLAYING);
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        auto* type = w.Find<QLabel>("typeField");
        QCOMPARE(type->text(), QStringLiteral("Ironvale Uprising"));
        QVERIFY(type->width() >= type->fontMetrics().horizontalAdvance(type->text()));
    }

    void playersOfOneNameShareARow() {
        WatchedWindow w;
        w.watch.status.playerList = {Player("Ash", "1", "0"), Player("Ash", "5", "2"),
                                     Player("ash", "0", "0")};
        w.TickState(GS_PLAYING);
        QCOMPARE(Rows(w.Find<QTreeWidget>("playersList")),
                 (QStringList{QStringLiteral("Ash/5/2"), QStringLiteral("ash/0/0")}));
    }

    void playersKeepTheirRows() {
        WatchedWindow w;
        auto* list = w.Find<QTreeWidget>("playersList");
        w.watch.status.playerList = {Player("A", "1", "0"), Player("B", "2", "0"),
                                     Player("C", "3", "0")};
        w.TickState(GS_PLAYING);
        QTreeWidgetItem* rowOfC = list->topLevelItem(2);
        w.watch.status.playerList = {Player("C", "4", "1"), Player("D", "0", "0"),
                                     Player("A", "1", "1")};
        w.TickState(GS_PLAYING);
        QCOMPARE(Rows(list), (QStringList{QStringLiteral("A/1/1"), QStringLiteral("C/4/1"),
                                          QStringLiteral("D/0/0")}));
        QCOMPARE(list->topLevelItem(1), rowOfC);
        w.watch.status.playerList.clear();
        w.TickState(GS_PLAYING);
        QCOMPARE(list->topLevelItemCount(), 0);
    }

    void gantryField_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("received");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("shown");
        QTest::newRow("part received") << 1 << 3 << 7 << QStringLiteral("42%");
        QTest::newRow("all received") << 1 << 7 << 7 << QStringLiteral("Yes");
        QTest::newRow("no server") << 2 << 0 << 10 << QStringLiteral("No");
        QTest::newRow("timeout") << 3 << 0 << 10 << QStringLiteral("Timeout");
        QTest::newRow("password refused") << 4 << 0 << 10 << QStringLiteral("Psw fail");
        QTest::newRow("without database") << 0 << 0 << 10 << QStringLiteral("n/a");
    }

    void gantryField() {
        QFETCH(int, state);
        QFETCH(int, received);
        QFETCH(int, total);
        QFETCH(QString, shown);
        WatchedWindow w;
        w.watch.status.gantryState = state;
        w.watch.status.gantryChunksReceived = received;
        w.watch.status.gantryChunkTotal = total;
        w.TickState(GS_PLAYING);
        QCOMPARE(w.Field("gantryField"), shown);
    }

    void launchBoxFollowsTheGame() {
        WatchedWindow w;
        auto* launch = w.Find<QCheckBox>("launchWhenEndsBox");
        QVERIFY(!launch->isEnabled());
        w.TickState(GS_SETTING_UP);
        QVERIFY(launch->isEnabled());
        w.TickState(GS_PLAYING);
        QVERIFY(launch->isEnabled());
        w.TickState(GS_DEBRIEFING);
        QVERIFY(!launch->isEnabled());
    }

    void gameOverLaunchesOnceAndRingsEveryFourthTick() {
        WatchedWindow w;
        auto* launch = w.Find<QCheckBox>("launchWhenEndsBox");
        auto* alarm = w.Find<QCheckBox>("alarmBox");
        w.TickState(GS_PLAYING);
        launch->setChecked(true);
        alarm->setChecked(true);
        w.notifier.sounds.clear();
        std::vector<uint32_t> alarmTicks;
        for (int i = 0; i < 8; ++i) {
            const size_t before = w.notifier.sounds.size();
            w.TickState(GS_DEBRIEFING);
            for (size_t k = before; k < w.notifier.sounds.size(); ++k)
                if (w.notifier.sounds[k] == SND_ALARM)
                    alarmTicks.push_back(w.window->TickCounter());
        }
        QCOMPARE(w.launcher.playNows, 1);
        QVERIFY(!launch->isChecked());
        QCOMPARE(alarmTicks.size(), size_t(2));
        for (uint32_t tick : alarmTicks)
            QCOMPARE(tick % 4, 0u);
        // Idle and a new game stop the alarm.
        w.notifier.sounds.clear();
        for (int i = 0; i < 4; ++i)
            w.TickState(GS_IDLE);
        for (int i = 0; i < 4; ++i)
            w.TickState(GS_SETTING_UP);
        QCOMPARE(std::count(w.notifier.sounds.begin(), w.notifier.sounds.end(), SND_ALARM), 0);
    }

    void alarmBoxPlaysOnceWhenChecked() {
        WatchedWindow w;
        QTest::mouseClick(w.Find<QCheckBox>("alarmBox"), Qt::LeftButton);
        QCOMPARE(w.notifier.sounds, std::vector<int>{SND_ALARM});
        QTest::mouseClick(w.Find<QCheckBox>("alarmBox"), Qt::LeftButton);
        QCOMPARE(w.notifier.sounds, std::vector<int>{SND_ALARM});
    }

    void renamedAfterTheServer_data() {
        QTest::addColumn<QString>("serverName");
        QTest::addColumn<QString>("listed");
        QTest::newRow("dedicated")
            << QStringLiteral("Dedicated server on Valehold") << QStringLiteral("Valehold");
        QTest::newRow("plain name")
            << QStringLiteral("Marrow Keep") << QStringLiteral("Marrow Keep");
        QTest::newRow("prefix in other case")
            << QStringLiteral("dedicated server on X") << QStringLiteral("dedicated server on X");
    }

    void renamedAfterTheServer() {
        QFETCH(QString, serverName);
        QFETCH(QString, listed);
        WatchedWindow w;
        auto* list = w.Find<QComboBox>("serverList");
        QCOMPARE(list->currentText(), QStringLiteral("127.0.0.1:2302"));
        w.watch.status.description = serverName.toStdString();
        w.TickState(GS_WAITING);
        QCOMPARE(list->currentText(), listed);
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(QString::fromStdString(w.window->Entries()[0]->description), listed);
        // Once renamed, a new name does not rename it again.
        w.watch.status.description = "Another";
        w.TickState(GS_WAITING);
        QCOMPARE(list->currentText(), listed);
    }

    void ownDescriptionIsKept() {
        WatchedWindow w;
        w.window->AddServer(ServerEntry{"127.10.0.9", "", "", "", true});
        ServerEntry edited{"127.10.0.9", "", "My box", "", true};
        w.window->EditServer(edited);
        w.watch.status.description = "Dedicated server on Other";
        w.TickState(GS_WAITING);
        QCOMPARE(w.Find<QComboBox>("serverList")->currentText(), QStringLiteral("My box"));
    }

    void deletingTheLastEntryStopsWatchingIt() {
        WatchedWindow w;
        QCOMPARE(w.Find<QLabel>("addressLabel")->text(), QStringLiteral("127.0.0.1:2302"));
        QCOMPARE(w.watch.stops, 0);
        w.window->DeleteServer();
        QVERIFY(w.window->Entries().empty());
        QCOMPARE(w.window->SelectedIndex(), -1);
        QVERIFY(w.Find<QLabel>("addressLabel")->text().isEmpty());
        QVERIFY(w.Find<QLabel>("passwordLabel")->text().isEmpty());
        // The deleted server is no longer polled, and the tick shows nothing of it.
        QCOMPARE(w.watch.stops, 1);
        w.TickState(GS_PLAYING);
        QVERIFY(w.notifier.sounds.empty());
    }

    void pickingAnEntryWatchesIt() {
        WatchedWindow w;
        w.window->AddServer(ServerEntry{"127.10.0.5:2302", "", "", "", true});
        QCOMPARE(w.window->SelectedIndex(), 1);
        w.window->SelectServer(0);
        QCOMPARE(w.window->SelectedIndex(), 0);
        QCOMPARE(w.Find<QComboBox>("serverList")->currentIndex(), 0);
        QCOMPARE(w.watch.selected.back().address, String("127.0.0.1:2302"));
        QCOMPARE(w.Find<QLabel>("addressLabel")->text(), QStringLiteral("127.0.0.1:2302"));
    }

    void editWithEmptyAddressKeepsTheEntryAndSelectsAgain() {
        WatchedWindow w({"-password=pw"});
        const size_t selects = w.watch.selected.size();
        w.window->EditServer(ServerEntry{"  ", "other", "Renamed", "", true});
        QCOMPARE(w.watch.selected.size(), selects + 1);
        const Handle<ServerEntry> entry = w.window->SelectedEntry();
        QVERIFY(entry);
        QCOMPARE(entry->address, String("127.0.0.1:2302"));
        QCOMPARE(entry->password, String("pw"));
        QCOMPARE(w.Find<QLabel>("passwordLabel")->text(), QStringLiteral("pw"));
    }

    void badAddressIsShown() {
        WatchedWindow w;
        w.watch.selectResult = false;
        w.window->AddServer(ServerEntry{"no.such.host", "", "", "", true});
        QCOMPARE(w.Field("statusField"), QStringLiteral("Bad address error"));
        w.TickState(GS_PLAYING); // nothing is watched: the tick stops before the fields
        QCOMPARE(w.Field("statusField"), QStringLiteral("Bad address error"));
        QVERIFY(w.notifier.sounds.empty());
    }

    void secondInstanceRestoresAndFlashes() {
        WatchedWindow w;
        w.window->showMinimized();
        w.window->RequestRestore();
        w.window->Tick();
        QCOMPARE(w.notifier.flashes, 1);
        QVERIFY(!w.window->isMinimized());
        w.window->Tick();
        QCOMPARE(w.notifier.flashes, 1);
    }

    void newsIsShownOnceAndTheLinkBlinks() {
        WatchedWindow w;
        auto* link = w.Find<QPushButton>("linkButton");
        auto* news = w.Find<QPlainTextEdit>("newsEdit");
        QVERIFY(!link->isEnabled());
        w.watch.news = BrowserNews{"Patch 1.97 is out", "Get 0.97", "quillory.ozp", true};
        w.window->Tick();
        QCOMPARE(news->toPlainText(), QStringLiteral("Patch 1.97 is out"));
        QVERIFY(link->isEnabled());
        // Later news does not replace what was shown.
        w.watch.news.text = "Other news";
        QStringList captions;
        for (int i = 0; i < 4; ++i) {
            w.window->Tick();
            captions << QString::number(w.window->TickCounter() % 4) + QLatin1Char(':') +
                            link->text();
        }
        QCOMPARE(news->toPlainText(), QStringLiteral("Patch 1.97 is out"));
        QCOMPARE(captions, (QStringList{QStringLiteral("2:Get 0.97"), QStringLiteral("3:Get 0.97"),
                                        QStringLiteral("0:"), QStringLiteral("1:Get 0.97")}));
        // Pressing the link stops the blinking; the upgrade's progress takes the caption.
        w.watch.news.link.clear();
        // Without a browser server link no upgrade runs, and "quillory.ozp" is no web page:
        // it is refused with a message instead of going to the desktop's opener.
        w.boxes.QueueAnswer(QMessageBox::Ok);
        link->click();
        QCOMPARE(w.boxes.Asked().size(), 1);
        QVERIFY(w.boxes.Asked()[0].endsWith(QStringLiteral("quillory.ozp")));
        w.watch.upgradeProgress = "4 kb downloaded";
        w.window->Tick();
        w.window->Tick();
        QCOMPARE(link->text(), QStringLiteral("4 kb downloaded"));
        QVERIFY(!w.watch.news.upgradeOffered);
    }

    void theBlinkingLinkKeepsItsSize() {
        WatchedWindow w;
        auto* link = w.Find<QPushButton>("linkButton");
        w.watch.news =
            BrowserNews{"Patch 1.97 is out", "Upgrade to Quillory 0.97 now", "quillory.ozp", true};
        // What the layout gives the button, on the ticks with and without the caption.
        QSet<int> widths;
        QSet<QString> captions;
        for (int i = 0; i < 8; ++i) {
            w.window->Tick();
            captions.insert(link->text());
            widths.insert(link->sizeHint().expandedTo(link->minimumSize()).width());
        }
        QCOMPARE(captions,
                 (QSet<QString>{QString(), QStringLiteral("Upgrade to Quillory 0.97 now")}));
        QCOMPARE(widths.size(), 1);
        QVERIFY(*widths.begin() > link->fontMetrics().horizontalAdvance(
                                      QStringLiteral("Upgrade to Quillory 0.97 now")));
    }

    void entriesOfOneNameShowTheirAddresses() {
        WatchedWindow w;
        auto* list = w.Find<QComboBox>("serverList");
        const int before = list->count();
        w.window->AddServer(ServerEntry{"127.0.0.2:2302", "", "", "", true});
        w.window->AddServer(ServerEntry{"127.0.0.3:2402", "", "", "", true});
        QCOMPARE(list->itemText(before), QStringLiteral("127.0.0.2:2302"));
        // Both renamed alike, as two servers of one host name themselves.
        for (int index : {before, before + 1}) {
            w.window->SelectServer(index);
            ServerEntry typed = *w.window->Entries()[size_t(index)];
            typed.description = "Valehold";
            w.window->EditServer(typed);
        }
        QCOMPARE(list->itemText(before), QStringLiteral("Valehold (127.0.0.2:2302)"));
        QCOMPARE(list->itemText(before + 1), QStringLiteral("Valehold (127.0.0.3:2402)"));
        // Once the other goes, the name stands alone again.
        w.window->SelectServer(before + 1);
        w.window->DeleteServer();
        QCOMPARE(list->itemText(before), QStringLiteral("Valehold"));
    }

    void captionNamesTheProgramsVersion() {
        WatchedWindow w;
        QCOMPARE(w.window->windowTitle(),
                 QStringLiteral("Quillory Gantry ") + QString::fromLatin1(PROGRAM_VERSION));
        QVERIFY(!QString::fromLatin1(PROGRAM_VERSION).isEmpty());
        QCOMPARE(w.Find<QPushButton>("browserButton")->text(), QStringLiteral("Gantry browser"));
    }

    void enterAndEscapeDoNotCloseTheWindow_data() {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<int>("key");
        QTest::newRow("Enter in the server list")
            << QStringLiteral("serverList") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter in the server list")
            << QStringLiteral("serverList") << int(Qt::Key_Enter);
        QTest::newRow("Escape in the server list")
            << QStringLiteral("serverList") << int(Qt::Key_Escape);
        QTest::newRow("Enter on the players list")
            << QStringLiteral("playersList") << int(Qt::Key_Return);
        QTest::newRow("Enter on Close") << QStringLiteral("closeButton") << int(Qt::Key_Return);
        QTest::newRow("Escape on Close") << QStringLiteral("closeButton") << int(Qt::Key_Escape);
    }

    void enterAndEscapeDoNotCloseTheWindow() {
        QFETCH(QString, focused);
        QFETCH(int, key);
        WatchedWindow w;
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        auto* widget = w.window->findChild<QWidget*>(focused);
        QVERIFY(widget != nullptr);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key(key));
        QVERIFY(w.window->isVisible());
        QVERIFY(!w.window->Closed());
    }

    void closeButtonAndCloseBoxStillClose_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Close") << false;
        QTest::newRow("close box") << true;
    }

    void closeButtonAndCloseBoxStillClose() {
        QFETCH(bool, closeBox);
        WatchedWindow w;
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        if (closeBox)
            w.window->close();
        else
            QTest::mouseClick(w.Find<QPushButton>("closeButton"), Qt::LeftButton);
        QVERIFY(!w.window->isVisible());
        QVERIFY(w.window->Closed());
    }

    void playNowBeforeAnyReplySaysWhy() {
        WatchedWindow w;
        const qsizetype boxesBefore = w.boxes.Asked().size();
        w.Find<QPushButton>("playNowButton")->click();
        QCOMPARE(w.launcher.playNows, 1);
        QCOMPARE(w.boxes.Asked().size(), boxesBefore);
        QCOMPARE(w.Find<QLabel>("noticeLine")->text(),
                 QStringLiteral("Play Now starts the game once the server has answered."));
        QVERIFY(!w.window->Closed());
    }

    void aLinkWithoutABrowserIsToldInTheWindow() {
        WatchedWindow w;
        w.browserWorks = false;
        w.watch.news = BrowserNews{"Maps night", "Maps", "http://127.0.0.1:3400/maps", false};
        w.window->Tick();
        const qsizetype boxesBefore = w.boxes.Asked().size();
        w.Find<QPushButton>("linkButton")->click();
        w.Find<QPushButton>("aboutButton")->click();
        QCOMPARE(w.opened.size(), 2);
        QCOMPARE(w.opened.front(), QStringLiteral("http://127.0.0.1:3400/maps"));
        // No box to dismiss: the notice line says it.
        QCOMPARE(w.boxes.Asked().size(), boxesBefore);
        QCOMPARE(
            w.Find<QLabel>("noticeLine")->text(),
            QStringLiteral("Could not open %1: no web browser was found.").arg(w.opened.back()));
        w.browserWorks = true;
        w.Find<QPushButton>("linkButton")->click();
        QCOMPARE(w.opened.size(), 3);
    }

    void noSoundDeviceIsToldOnce() {
        QStringList told;
        QWidget window;
        CSoundNotifier sounds(
            &window, [&](const QString& text) { told << text; }, [] { return false; });
        sounds.Play(SND_PLAYING);
        sounds.Play(SND_ALARM);
        sounds.Play(SND_PLAYING);
        QCOMPARE(told, QStringList{QStringLiteral(
                           "No sound device: notifications are shown without sound.")});
    }

    void managerCaptionIsWrittenEveryTick() {
        WatchedWindow w;
        w.window->Tick();
        QCOMPARE(w.Find<QPushButton>("managerButton")->text(), QStringLiteral("Manager"));
        QCOMPARE(w.Find<QPushButton>("linkButton")->text(), QStringLiteral("Link"));
    }
};

QUILLORY_WATCH_TEST(WatchTickTest);
#include "WatchTickTest.moc"
