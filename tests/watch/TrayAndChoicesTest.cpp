// The tray icon's menu and status, and the friends and choices of the configuration dialog.
#include "TestMain.h"

#include "watch/ConfigDialog.h"
#include "watch/TrayIcon.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using namespace quillory::ui;

namespace {

QAction* MenuEntry(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

QIcon PlainIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::blue);
    return QIcon(pixmap);
}

} // namespace

class TrayAndChoicesTest : public QObject {
    Q_OBJECT

private slots:
    void menuEntriesRunTheirActions() {
        int shows = 0, playNows = 0, quits = 0;
        CTrayIcon tray(PlainIcon(), {[&] { ++shows; }, [&] { ++playNows; }, [&] { ++quits; }});
        for (const char* entry : {"Show", "Play Now", "Quit"})
            QVERIFY2(MenuEntry(tray.Menu(), QString::fromLatin1(entry)), entry);
        MenuEntry(tray.Menu(), QStringLiteral("Show"))->trigger();
        MenuEntry(tray.Menu(), QStringLiteral("Play Now"))->trigger();
        MenuEntry(tray.Menu(), QStringLiteral("Play Now"))->trigger();
        MenuEntry(tray.Menu(), QStringLiteral("Quit"))->trigger();
        QCOMPARE(shows, 1);
        QCOMPARE(playNows, 2);
        QCOMPARE(quits, 1);
    }

    void statusGoesToTheTooltipAndTheMark() {
        CTrayIcon tray(PlainIcon(), {});
        tray.SetStatus(QStringLiteral("Valehold: Playing, 9/16"), CTrayIcon::Mark::PLAYING);
        QCOMPARE(tray.ToolTip(), QStringLiteral("Valehold: Playing, 9/16"));
        QCOMPARE(tray.CurrentMark(), CTrayIcon::Mark::PLAYING);
        // The mark is drawn in the icon's corner; the plain icon stays plain there.
        const QImage marked =
            CTrayIcon::MarkedIcon(PlainIcon(), CTrayIcon::Mark::PLAYING).pixmap(32, 32).toImage();
        const QImage plain =
            CTrayIcon::MarkedIcon(PlainIcon(), CTrayIcon::Mark::NONE).pixmap(32, 32).toImage();
        QCOMPARE(plain.pixelColor(26, 26), QColor(Qt::blue));
        QVERIFY(marked.pixelColor(26, 26) != QColor(Qt::blue));
        QCOMPARE(marked.pixelColor(4, 4), QColor(Qt::blue));
    }

    void configKeepsFriendsAndChoices() {
        CConfigDialog dialog(QStringLiteral("/g/"));
        dialog.SetChoices({{QStringLiteral("Wren"), QStringLiteral("Marrow*")}, 30, false, true});
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("friendsList"));
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("friendNameEdit"));
        auto* add = dialog.findChild<QPushButton*>(QStringLiteral("addFriendButton"));
        auto* remove = dialog.findChild<QPushButton*>(QStringLiteral("removeFriendButton"));
        auto* refresh = dialog.findChild<QSpinBox*>(QStringLiteral("refreshSpin"));
        auto* desktop = dialog.findChild<QCheckBox*>(QStringLiteral("desktopNotificationsBox"));
        auto* tray = dialog.findChild<QCheckBox*>(QStringLiteral("closeToTrayBox"));
        QVERIFY(list && name && add && remove && refresh && desktop && tray);
        QCOMPARE(list->count(), 2);
        QCOMPARE(refresh->value(), 30);
        QVERIFY(!desktop->isChecked());
        QVERIFY(tray->isChecked());

        // Added, added again in another case (kept once), removed, and one left typed.
        name->setText(QStringLiteral("  Lantern  "));
        add->click();
        name->setText(QStringLiteral("wren"));
        add->click();
        QCOMPARE(list->count(), 3);
        list->setCurrentRow(0);
        remove->click();
        name->setText(QStringLiteral("Ash"));
        // Never faster than every 5 s.
        refresh->setValue(1);
        desktop->setChecked(true);
        dialog.accept();
        const CConfigDialog::Choices& chosen = dialog.ChosenChoices();
        QCOMPARE(chosen.friends, QStringList({QStringLiteral("Marrow*"), QStringLiteral("Lantern"),
                                              QStringLiteral("Ash")}));
        QCOMPARE(chosen.refreshSeconds, 5);
        QVERIFY(chosen.desktopNotifications);
        QVERIFY(chosen.closeToTray);
        QCOMPARE(dialog.GameFolder(), QStringLiteral("/g/"));
    }
};

QUILLORY_WATCH_TEST(TrayAndChoicesTest);
#include "TrayAndChoicesTest.moc"
