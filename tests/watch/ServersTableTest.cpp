// The table of saved servers: the row texts from a query round, "No reply" for a silent
// server, friends, the watched row, and the double-click that picks an entry.
#include "TestMain.h"

#include "watch/ServersTable.h"
#include "watch/core/ServersTableRow.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

using namespace quillory;
using namespace quillory::ui;

namespace {

ServerStatus Playing() {
    ServerStatus status;
    status.state = GS_PLAYING;
    status.players = 16;
    status.maxPlayers = "16";
    status.map = "Valebridges";
    status.mission = "The Siege of Marrowby";
    status.ping = 42;
    status.locked = true;
    return status;
}

} // namespace

class ServersTableTest : public QObject {
    Q_OBJECT

private slots:
    void rowTextsFollowTheQueryResult_data() {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("players");
        QTest::addColumn<QString>("ping");
        QTest::addColumn<bool>("replied");
        QTest::newRow("replied") << int(QueryResult::REPLIED) << "Playing"
                                 << "16/16"
                                 << "42" << true;
        QTest::newRow("silent") << int(QueryResult::NO_REPLY) << "No reply"
                                << ""
                                << "" << false;
        QTest::newRow("refused") << int(QueryResult::PORT_UNREACHABLE) << "No reply"
                                 << ""
                                 << "" << false;
        QTest::newRow("bad address") << int(QueryResult::BAD_ADDRESS) << "Bad address"
                                     << ""
                                     << "" << false;
        QTest::newRow("no socket") << int(QueryResult::NO_SOCKET) << "No socket"
                                   << ""
                                   << "" << false;
    }

    void rowTextsFollowTheQueryResult() {
        QFETCH(int, result);
        QFETCH(QString, status);
        QFETCH(QString, players);
        QFETCH(QString, ping);
        QFETCH(bool, replied);
        // A silent server keeps none of what an earlier round may have said.
        const ServersTableRow row = MakeServersTableRow("Valehold", QueryResult(result), Playing(),
                                                        "Yes", {"Wren", "marrow"});
        QCOMPARE(QString::fromStdString(row.status), status);
        QCOMPARE(QString::fromStdString(row.players), players);
        QCOMPARE(QString::fromStdString(row.ping), ping);
        QCOMPARE(row.replied, replied);
        QCOMPARE(row.map.empty(), !replied);
        QCOMPARE(row.name, String("Valehold"));
        QCOMPARE(row.gantry, String("Yes"));
        QCOMPARE(row.friends, String("Wren, marrow"));
    }

    void maximumIsReadOnlyFromAWholeNumber() {
        QCOMPARE(ParsedMaxPlayers("16"), 16);
        QCOMPARE(ParsedMaxPlayers(""), 0);
        QCOMPARE(ParsedMaxPlayers("16x"), 0);
        QCOMPARE(ParsedMaxPlayers("-3"), 0);
        QCOMPARE(ParsedMaxPlayers("99999999999999"), 0);
    }

    void tableShowsOneRowPerEntry() {
        CServersTable table;
        table.resize(900, 160);
        table.show();
        std::vector<ServersTableRow> rows = {
            MakeServersTableRow("Valehold", QueryResult::REPLIED, Playing(), "", {"Wren"}),
            MakeServersTableRow("Lantern Isles", QueryResult::NO_REPLY, {}, "", {}),
            AskingServersTableRow("Marrowby Keep")};
        table.SetRows(rows);
        QCOMPARE(table.topLevelItemCount(), 3);
        QCOMPARE(table.Text(0, CServersTable::NAME), QStringLiteral("Valehold"));
        QCOMPARE(table.Text(0, CServersTable::PLAYERS), QStringLiteral("16/16"));
        QCOMPARE(table.Text(0, CServersTable::MAP), QStringLiteral("Valebridges"));
        QCOMPARE(table.Text(0, CServersTable::MISSION), QStringLiteral("The Siege of Marrowby"));
        QCOMPARE(table.Text(0, CServersTable::LOCKED), QStringLiteral("YES"));
        QCOMPARE(table.Text(0, CServersTable::FRIENDS), QStringLiteral("Wren"));
        QCOMPARE(table.Text(1, CServersTable::STATUS), QStringLiteral("No reply"));
        QCOMPARE(table.Text(2, CServersTable::STATUS), QStringLiteral("Asking"));
        // The silent row is greyed, the live one is not.
        QVERIFY(table.topLevelItem(1)->foreground(0).color() !=
                table.topLevelItem(0)->foreground(0).color());

        // A selection survives the next round; a deleted entry's row goes.
        table.setCurrentItem(table.topLevelItem(1));
        rows[1] = MakeServersTableRow("Lantern Isles", QueryResult::REPLIED, Playing(), "", {});
        table.SetRows(rows);
        QCOMPARE(table.indexOfTopLevelItem(table.currentItem()), 1);
        QCOMPARE(table.Text(1, CServersTable::STATUS), QStringLiteral("Playing"));
        rows.pop_back();
        table.SetRows(rows);
        QCOMPARE(table.topLevelItemCount(), 2);
    }

    void watchedRowIsBoldAndDoubleClickPicksAnEntry() {
        CServersTable table;
        table.resize(900, 160);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        table.SetRows({AskingServersTableRow("Valehold"), AskingServersTableRow("Lantern Isles")});
        table.SetCurrent(1);
        QVERIFY(table.topLevelItem(1)->font(0).bold());
        QVERIFY(!table.topLevelItem(0)->font(0).bold());
        table.SetCurrent(0);
        QVERIFY(table.topLevelItem(0)->font(CServersTable::FRIENDS).bold());
        QVERIFY(!table.topLevelItem(1)->font(0).bold());

        QSignalSpy chosen(&table, &CServersTable::EntryChosen);
        const QRect cell = table.visualItemRect(table.topLevelItem(1));
        // A double-click is a click and then the second press.
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(chosen.count(), 0);
        QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toInt(), 1);
    }

    void shortColumnsStayInSightAtTheWindowsWidth() {
        // At the width the window gives the table, every column starts inside the view.
        CServersTable table;
        table.resize(860, 140);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        ServerStatus status = Playing();
        status.mission = std::string(120, 'M');
        table.SetRows({MakeServersTableRow(std::string(80, 'N'), QueryResult::REPLIED, status,
                                           "Yes", {"Wren"})});
        for (int column = 0; column < CServersTable::COLUMNS; ++column)
            QVERIFY2(table.header()->sectionViewportPosition(column) < table.viewport()->width(),
                     qPrintable(table.headerItem()->text(column)));
    }
};

QUILLORY_WATCH_TEST(ServersTableTest);
#include "ServersTableTest.moc"
