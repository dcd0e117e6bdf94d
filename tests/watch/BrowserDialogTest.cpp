// "Gantry Server Browser" over the records the engine takes from list replies.
#include "TestMain.h"

#include "net/ServerQuery.h"
#include "platform/UdpSocket.h"
#include "watch/BrowserDialog.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
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
        QCOMPARE(list->headerItem()->text(2), QStringLiteral("Address"));
        QCOMPARE(list->columnWidth(0), 170);
        QCOMPARE(list->columnWidth(1), 50);
        QCOMPARE(list->columnWidth(2), 80);
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
        QCOMPARE(Column(list, 2), (QStringList{QStringLiteral("127.10.0.1:2302"),
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
};

QUILLORY_WATCH_TEST(BrowserDialogTest);

#include "BrowserDialogTest.moc"
