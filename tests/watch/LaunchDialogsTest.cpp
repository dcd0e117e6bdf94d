// The launcher's dialogs: "Gantry warning" and "Quillory path setup".
#include "TestMain.h"

#include "tests/support/TempGameFolder.h"
#include "watch/GantryWarningDialog.h"
#include "watch/PathSetupDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

using namespace quillory;
using namespace quillory::ui;

namespace {

QPushButton* Button(QWidget& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
}

QString Native(const std::string& path) {
    return QString::fromStdString(path);
}

} // namespace

class LaunchDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void warningShowsItsTextInANinePointFont() {
        CGantryWarningDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Gantry warning"));
        auto* text = dialog.findChild<QLabel*>(QStringLiteral("warningText"));
        QVERIFY(text);
        QCOMPARE(text->text(),
                 QStringLiteral("You are missing files required to play on this server. The "
                                "files can be downloaded from the Gantry Manager or press force "
                                "connect to ignore this warning."));
        QCOMPARE(text->font().pointSize(), 9);
        QCOMPARE(text->font().family(), QStringLiteral("Arial"));
        QCOMPARE(CToolTipDialog::ControlIdOf(text), 1066);
        QCOMPARE(Button(dialog, "managerButton")->text(), QStringLiteral("Gantry Manager"));
        QVERIFY(Button(dialog, "managerButton")->isDefault());
        QCOMPARE(CToolTipDialog::ControlIdOf(Button(dialog, "managerButton")), 1);
        QCOMPARE(CToolTipDialog::ControlIdOf(Button(dialog, "cancelButton")), 2);
        QCOMPARE(CToolTipDialog::ControlIdOf(Button(dialog, "forceButton")), 3);
    }

    void warningHasThreeResults_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("dialogResult");
        QTest::addColumn<bool>("forced");
        QTest::newRow("manager") << QStringLiteral("managerButton")
                                 << int(CGantryWarningDialog::Choice::MANAGER) << 1 << false;
        QTest::newRow("cancel") << QStringLiteral("cancelButton")
                                << int(CGantryWarningDialog::Choice::CANCEL) << 0 << false;
        QTest::newRow("force") << QStringLiteral("forceButton")
                               << int(CGantryWarningDialog::Choice::FORCE_CONNECT) << 1 << true;
    }

    void warningHasThreeResults() {
        QFETCH(QString, button);
        QFETCH(int, choice);
        QFETCH(int, dialogResult);
        QFETCH(bool, forced);
        CGantryWarningDialog dialog;
        QTimer::singleShot(0, &dialog, [&] {
            QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), dialogResult);
        QCOMPARE(int(dialog.Result()), choice);
        QCOMPARE(dialog.Forced(), forced);
    }

    void pathSetupStartsWithOkDisabled() {
        CPathSetupDialog dialog(
            nullptr, [](QWidget*) { return QString(); }, [] { return CPathSetupDialog::Disks{}; });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Quillory path setup"));
        QVERIFY(!Button(dialog, "okButton")->isEnabled());
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());
        QVERIFY(dialog.findChild<QLineEdit*>(QStringLiteral("folderEdit"))->isReadOnly());
        // Nothing chosen in the file dialog changes nothing.
        QTest::mouseClick(Button(dialog, "browseButton"), Qt::LeftButton);
        QVERIFY(!Button(dialog, "okButton")->isEnabled());
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());
    }

    void browsingLeavesOnlyOk_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("folder");
        QTest::newRow("a game folder")
            << QStringLiteral("/games/ivl/IronvaleUprising.exe") << QStringLiteral("/games/ivl/");
        QTest::newRow("a root folder") << QStringLiteral("/IRONVALE.EXE") << QStringLiteral("/");
    }

    void browsingLeavesOnlyOk() {
        QFETCH(QString, chosen);
        QFETCH(QString, folder);
        CPathSetupDialog dialog(
            nullptr, [chosen](QWidget*) { return chosen; },
            [] { return CPathSetupDialog::Disks{}; });
        QTest::mouseClick(Button(dialog, "browseButton"), Qt::LeftButton);
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("folderEdit"))->text(), folder);
        QVERIFY(Button(dialog, "okButton")->isEnabled());
        QVERIFY(!Button(dialog, "cancelButton")->isEnabled());
        dialog.show();
        dialog.reject(); // Escape cannot leave once a folder was chosen
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(Button(dialog, "okButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(dialog.FoundFolder()), folder);
    }

    void searchFindsTheGameOnTheSecondDisk() {
        test::TempGameFolder first, second;
        first.Write("Data/IRONVALE.EXE/readme.txt", "a folder named like the game");
        second.Write("Games/IVU/ironvaleuprising.exe", "MZ");
        CPathSetupDialog dialog(
            nullptr, [](QWidget*) { return QString(); },
            [&] {
                return CPathSetupDialog::Disks{{first.Path(), second.Path()}, {}};
            });
        auto* search = Button(dialog, "searchButton");
        QTest::mouseClick(search, Qt::LeftButton);
        QCOMPARE(search->text(), QStringLiteral("Stop"));
        QVERIFY(!Button(dialog, "browseButton")->isEnabled());
        QVERIFY(!Button(dialog, "cancelButton")->isEnabled());
        QVERIFY(!Button(dialog, "okButton")->isEnabled());

        QTRY_COMPARE(search->text(), QStringLiteral("Search"));
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("folderEdit"))->text(),
                 Native(second / "Games/IVU/"));
        QVERIFY(Button(dialog, "okButton")->isEnabled());
        QVERIFY(Button(dialog, "browseButton")->isEnabled());
        QVERIFY(!Button(dialog, "cancelButton")->isEnabled());
        QTest::mouseClick(Button(dialog, "okButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.FoundFolder(), second / "Games/IVU/");
    }

    void stopEndsTheSearchAndCancelComesBack() {
        test::TempGameFolder first, second;
        for (int i = 0; i < 20; ++i)
            first.Write("f" + std::to_string(i) + "/x.txt", "x");
        second.Write("IRONVALE.EXE", "MZ");
        CPathSetupDialog dialog(
            nullptr, [](QWidget*) { return QString(); },
            [&] {
                return CPathSetupDialog::Disks{{first.Path(), second.Path()}, {}};
            });
        // The search waits at its first entry until the test has pressed "Stop".
        std::atomic<bool> release{false};
        std::atomic<int> entries{0};
        dialog.Search().entryHook = [&](const String&) {
            ++entries;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        auto* search = Button(dialog, "searchButton");
        QTest::mouseClick(search, Qt::LeftButton);
        QTRY_COMPARE(entries.load(), 1);
        dialog.show();
        dialog.reject(); // neither Escape nor closing ends a running search
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(search, Qt::LeftButton); // "Stop"
        release = true;

        QTRY_COMPARE(search->text(), QStringLiteral("Search"));
        QCOMPARE(entries.load(), 1);
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("folderEdit"))->text(), QString());
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());
        QVERIFY(Button(dialog, "okButton")->isEnabled());
        QVERIFY(dialog.FoundFolder().empty());
        QTest::mouseClick(Button(dialog, "cancelButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
};

QUILLORY_WATCH_TEST(LaunchDialogsTest);
#include "LaunchDialogsTest.moc"
