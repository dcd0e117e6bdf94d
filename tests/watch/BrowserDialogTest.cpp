// "Gantry Server Browser" over the records the engine takes from list replies.
#include "TestMain.h"

#include "net/ServerQuery.h"
#include "platform/UdpSocket.h"
#include "tests/support/SimRun.h"
#include "watch/BrowserDialog.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace quillory;
using namespace quillory::ui;

namespace {

constexpr uint32_t TICK = 0x00010000;

std::string Record(uint8_t last, uint16_t port, uint8_t players, uint8_t flags,
                   const std::string& name) {
    std::string r{char(127),         char(10),        char(0),       char(last),
                  char(port & 0xFF), char(port >> 8), char(players), char(flags)};
    return r + name + std::string(1, '\0');
}

// An engine that asked for the list, fed list replies straight through its handler.
struct ListFeed {
    CWatchState state;
    CServerQuery engine{state, [] { return TICK; }};

    ListFeed() {
        engine.HandleMessage(QM_QUERY_SERVER_LIST, LoopbackAddress(), BROWSER_SERVER_PORT);
    }

    void Reply(const std::string& records) {
        const uint16_t token = ServerListToken(TICK);
        const std::string bytes = std::string{char(token & 0xFF), char(token >> 8)} + records;
        engine.HandleDatagram(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                              LoopbackAddress(), BROWSER_SERVER_PORT);
    }

    CBrowserDialog::TakeServers Taker() {
        return [this](HandleArray<PublicServer>& into) { state.TakePublicServers(into); };
    }
};

// The engine on its own thread, asking a simulator's browser server for its list.
struct LiveFeed {
    CWatchState state;
    CServerQuery engine{state};

    bool Ask(int browserPort) {
        if (!engine.Create(0, 0, 0) || !engine.Start())
            return false;
        engine.Post(QM_QUERY_SERVER_LIST, LoopbackAddress(), uint32_t(browserPort));
        return true;
    }
    CBrowserDialog::TakeServers Taker() {
        return [this](HandleArray<PublicServer>& into) { state.TakePublicServers(into); };
    }
};

QStringList Column(QTreeWidget* list, int column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(column);
    return texts;
}

} // namespace

class BrowserDialogTest : public QObject {
    Q_OBJECT

private slots:
    void aFloodOfServersShowsTenThousandOnceAndSaysSo() {
        ListFeed feed;
        CBrowserDialog dialog(feed.Taker());
        auto* full = dialog.findChild<QLabel*>(QStringLiteral("fullLabel"));
        QVERIFY(full);
        QVERIFY(full->isHidden());
        // 600 datagrams of 20 Uprising servers, every one also naming the first again.
        for (int i = 0; i < 600; ++i) {
            std::string records = Record(1, 2302, 0, 1, "First");
            for (int j = 0; j < 20; ++j) {
                const int n = i * 20 + j;
                records += std::string{char(127),
                                       char(20 + n / 65536),
                                       char(n / 256 % 256),
                                       char(n % 256),
                                       char(0x60),
                                       char(0x09),
                                       char(1),
                                       char(1)} +
                           "S" + std::to_string(n) + std::string(1, '\0');
            }
            feed.Reply(records);
            if (i % 100 == 0)
                dialog.Refresh();
        }
        dialog.Refresh();
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
        QCOMPARE(list->topLevelItemCount(), 10000);
        const QStringList addresses = Column(list, BC_ADDRESS);
        QCOMPARE(QSet<QString>(addresses.begin(), addresses.end()).size(), qsizetype(10000));
        QVERIFY(!full->isHidden());
        QCOMPARE(full->text(), QStringLiteral("Only the first 10000 servers listed are shown."));
    }

    void controlsAsTheDialogStarts() {
        ListFeed feed;
        CBrowserDialog dialog(feed.Taker());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Gantry Server Browser"));
        auto* title = dialog.findChild<QLabel*>(QStringLiteral("titleLabel"));
        QVERIFY(title);
        QCOMPARE(title->text(), QStringLiteral("Public Gantry Servers"));
        QCOMPARE(title->font().family(), QStringLiteral("Arial Black"));
        QCOMPARE(title->font().pointSize(), 15);
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
        QVERIFY(list);
        QCOMPARE(list->property("controlId").toInt(), 1084);
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("Name"));
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("Players"));
        QCOMPARE(list->headerItem()->text(BC_ADDRESS), QStringLiteral("Address"));
        QCOMPARE(list->columnWidth(0), 170);
        QCOMPARE(list->columnWidth(1), 50);
        QCOMPARE(list->columnWidth(BC_ADDRESS), 120);
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        auto* uprising = dialog.findChild<QCheckBox*>(QStringLiteral("uprisingCheck"));
        auto* ironvale = dialog.findChild<QCheckBox*>(QStringLiteral("ironvaleCheck"));
        QCOMPARE(uprising->text(), QStringLiteral("Ironvale Uprising"));
        QCOMPARE(uprising->property("controlId").toInt(), 1085);
        QVERIFY(uprising->isChecked());
        QCOMPARE(ironvale->text(), QStringLiteral("Ironvale"));
        QCOMPARE(ironvale->property("controlId").toInt(), 1086);
        QVERIFY(!ironvale->isChecked());
        auto* select = dialog.findChild<QPushButton*>(QStringLiteral("selectButton"));
        QVERIFY(!select->isEnabled());
        // No reply: the list stays empty and "Select" disabled.
        dialog.Refresh();
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(!select->isEnabled());
    }

    void duplicatesGiveOneRowAndTheBoxesFilterByGame() {
        ListFeed feed;
        CBrowserDialog dialog(feed.Taker());
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
        auto* uprising = dialog.findChild<QCheckBox*>(QStringLiteral("uprisingCheck"));
        auto* ironvale = dialog.findChild<QCheckBox*>(QStringLiteral("ironvaleCheck"));

        // Within one timer period, twice the same address and port.
        feed.Reply(Record(1, 2302, 4, 1, "Alpha") + Record(1, 2302, 9, 1, "Alpha again"));
        feed.Reply(Record(2, 2302, 0, 0, "Base \xE9t\xE9") + Record(3, 2402, 12, 1, "Gamma"));
        dialog.Refresh();
        QCOMPARE(Column(list, 0), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Gamma")}));
        QCOMPARE(Column(list, 1), (QStringList{QStringLiteral("4"), QStringLiteral("12")}));
        QCOMPARE(Column(list, BC_ADDRESS), (QStringList{QStringLiteral("127.10.0.1:2302"),
                                                        QStringLiteral("127.10.0.3:2402")}));
        QCOMPARE(list->topLevelItem(0)->textAlignment(1) & Qt::AlignHorizontal_Mask,
                 int(Qt::AlignRight));

        // The same server again in a later period: still one row.
        feed.Reply(Record(1, 2302, 5, 1, "Alpha"));
        dialog.Refresh();
        QCOMPARE(list->topLevelItemCount(), 2);

        uprising->click();
        QCOMPARE(list->topLevelItemCount(), 0);
        ironvale->click();
        QCOMPARE(Column(list, 0), (QStringList{QString::fromUtf8("Base \xC3\xA9t\xC3\xA9")}));
        uprising->click();
        QCOMPARE(list->topLevelItemCount(), 3);
    }

    void selectTakesTheAddressOfTheSelectedRow() {
        ListFeed feed;
        CBrowserDialog dialog(feed.Taker());
        dialog.show();
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
        auto* select = dialog.findChild<QPushButton*>(QStringLiteral("selectButton"));
        feed.Reply(Record(7, 2302, 1, 1, "One") + Record(8, 2402, 2, 1, "Two"));
        dialog.Refresh();

        select->setEnabled(true); // as if a row had been selected and lost again
        select->click();
        QVERIFY(dialog.isVisible()); // nothing selected: the dialog stays
        QVERIFY(dialog.ChosenAddress().isEmpty());

        list->setCurrentItem(list->topLevelItem(1));
        QVERIFY(select->isEnabled());
        select->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.ChosenAddress(), QStringLiteral("127.10.0.8:2402"));
    }

    void doubleClickActsAsSelect() {
        ListFeed feed;
        CBrowserDialog dialog(feed.Taker());
        dialog.show();
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
        feed.Reply(Record(7, 2302, 1, 1, "One"));
        dialog.Refresh();
        const QRect rect = list->visualItemRect(list->topLevelItem(0));
        // A double-click is a press and release followed by a second press.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.ChosenAddress(), QStringLiteral("127.10.0.7:2302"));
    }

    void everyListedServerIsAskedAndTheSilentOnesAreMarked() {
        test::CSimRun sim({"--browser", "--browser-port", test::CSimRun::kBrowserPort,
                           "--browser-no-self", "--public-sims", "200", "--public-silent", "20"});
        QVERIFY2(sim.Listening(), sim.ListeningLine().c_str());
        LiveFeed feed;
        QVERIFY(feed.Ask(sim.BrowserPort()));
        CBrowserDialog::Options options;
        options.timeoutMs = 5000;
        CBrowserDialog dialog(feed.Taker(), options);
        dialog.show();
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
        dialog.findChild<QCheckBox*>(QStringLiteral("ironvaleCheck"))->click(); // every game
        auto* summary = dialog.findChild<QLabel*>(QStringLiteral("summaryLabel"));
        QTRY_COMPARE_WITH_TIMEOUT(summary->text(),
                                  QStringLiteral("220 servers: 200 answered, 20 silent, 220 shown"),
                                  30000);
        QCOMPARE(list->topLevelItemCount(), 220);
        int live = 0, silent = 0;
        const QColor grey = dialog.palette().color(QPalette::Disabled, QPalette::Text);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = list->topLevelItem(i);
            if (row->text(BC_NAME).startsWith(QStringLiteral("Silent Server "))) {
                ++silent;
                QCOMPARE(row->text(BC_STATUS), QStringLiteral("No reply"));
                QCOMPARE(row->text(BC_PING), QString());
                QCOMPARE(row->foreground(BC_NAME).color(), grey);
                continue;
            }
            ++live;
            bool number = false;
            row->text(BC_PING).toInt(&number);
            QVERIFY2(number, qPrintable(row->text(BC_NAME)));
            QVERIFY2(row->text(BC_PLAYERS).contains(QLatin1Char('/')),
                     qPrintable(row->text(BC_PLAYERS)));
            QVERIFY(!row->text(BC_MAP).isEmpty());
            QVERIFY(row->foreground(BC_NAME).color() != grey);
        }
        QCOMPARE(live, 200);
        QCOMPARE(silent, 20);
        // Sorted by ping, the silent ones last.
        list->sortByColumn(BC_PING, Qt::AscendingOrder);
        QCOMPARE(list->topLevelItem(219)->text(BC_STATUS), QStringLiteral("No reply"));
        QVERIFY(!list->topLevelItem(0)->text(BC_PING).isEmpty());
        QCOMPARE(dialog.Choices().sortColumn, int(BC_PING));

        // Refresh forgets the answers and asks again.
        dialog.findChild<QPushButton*>(QStringLiteral("refreshButton"))->click();
        QVERIFY(summary->text().startsWith(QStringLiteral("Asking 220 servers")));
        QTRY_COMPARE_WITH_TIMEOUT(summary->text(),
                                  QStringLiteral("220 servers: 200 answered, 20 silent, 220 shown"),
                                  30000);
    }

    void filtersAndSortingAreTheChoicesGiven() {
        ListFeed feed;
        BrowserChoices choices;
        choices.search = "am";
        choices.sortColumn = BC_NAME;
        choices.sortDescending = true;
        CBrowserDialog::Options options;
        options.askServers = false;
        options.choices = &choices;
        CBrowserDialog dialog(feed.Taker(), options);
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
        auto* search = dialog.findChild<QLineEdit*>(QStringLiteral("searchEdit"));
        QCOMPARE(search->text(), QStringLiteral("am"));
        feed.Reply(Record(1, 2302, 4, 1, "Gamma") + Record(2, 2302, 0, 1, "Camp") +
                   Record(3, 2302, 2, 1, "Delta"));
        dialog.Refresh();
        QCOMPARE(Column(list, BC_NAME),
                 (QStringList{QStringLiteral("Gamma"), QStringLiteral("Camp")}));

        dialog.findChild<QCheckBox*>(QStringLiteral("notEmptyCheck"))->click();
        QVERIFY(choices.notEmpty);
        QCOMPARE(Column(list, BC_NAME), (QStringList{QStringLiteral("Gamma")}));
        search->clear();
        QCOMPARE(choices.search, String());
        QCOMPARE(Column(list, BC_NAME),
                 (QStringList{QStringLiteral("Gamma"), QStringLiteral("Delta")}));
        list->header()->setSortIndicator(BC_PLAYERS, Qt::AscendingOrder);
        QCOMPARE(choices.sortColumn, int(BC_PLAYERS));
        QVERIFY(!choices.sortDescending);
        QCOMPARE(Column(list, BC_NAME),
                 (QStringList{QStringLiteral("Delta"), QStringLiteral("Gamma")}));
        dialog.findChild<QSpinBox*>(QStringLiteral("maxPingSpin"))->setValue(80);
        QCOMPARE(choices.maxPingMs, 80);
        dialog.findChild<QCheckBox*>(QStringLiteral("notFullCheck"))->click();
        dialog.findChild<QCheckBox*>(QStringLiteral("notLockedCheck"))->click();
        dialog.findChild<QCheckBox*>(QStringLiteral("myVersionCheck"))->click();
        QVERIFY(choices.notFull && choices.notLocked && choices.myVersionOnly);
    }

    void playNowTakesTheHighlightedServer() {
        ListFeed feed;
        CBrowserDialog::Options options;
        options.askServers = false;
        CBrowserDialog dialog(feed.Taker(), options);
        dialog.show();
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("serverList"));
        auto* play = dialog.findChild<QPushButton*>(QStringLiteral("playNowButton"));
        // Without a list to add to, no "Add to my servers".
        QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("addButton"))->isVisible());
        feed.Reply(Record(7, 2302, 1, 1, "One") + Record(8, 2402, 2, 1, "Two"));
        dialog.Refresh();
        QVERIFY(!play->isEnabled());
        list->setCurrentItem(list->topLevelItem(1));
        QVERIFY(play->isEnabled());
        play->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.PlayNowChosen());
        QCOMPARE(dialog.ChosenAddress(), QStringLiteral("127.10.0.8:2402"));
    }
};

QUILLORY_WATCH_TEST(BrowserDialogTest);

#include "BrowserDialogTest.moc"
