// The launcher's dialogs: "Gantry warning" and "Quillory path setup".
#include "TestMain.h"

#include "tests/support/TempGameFolder.h"
#include "watch/ExecutableFilter.h"
#include "watch/GantryWarningDialog.h"
#include "watch/PathSetupDialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
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

QListWidget* Choices(QWidget& dialog) {
    return dialog.findChild<QListWidget*>(QStringLiteral("folderList"));
}

QStringList Texts(const QListWidget& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts << list.item(row)->text();
    return texts;
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

    void pathSetupSaysWhatItWants() {
        CPathSetupDialog dialog(
            nullptr, [](QWidget*) { return QString(); }, [] { return CGameSearch::Places{}; });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Quillory path setup"));
        QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("introText"))
                    ->text()
                    .startsWith(QStringLiteral(
                        "Quillory could not find your game folder in Wine's settings")));
        QStringList labels;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            labels << label->text();
        QVERIFY(labels.contains(QStringLiteral("Ironvale or Ironvale Uprising game folder")));
        // Nothing looks like a field to type into.
        QVERIFY(dialog.findChildren<QLineEdit*>().isEmpty());
        QCOMPARE(CToolTipDialog::ControlIdOf(Choices(dialog)), 1062);
        QVERIFY(!Button(dialog, "okButton")->isEnabled());
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());
        // Nothing chosen in the file dialog changes nothing.
        QTest::mouseClick(Button(dialog, "browseButton"), Qt::LeftButton);
        QCOMPARE(Choices(dialog)->count(), 0);
        QVERIFY(!Button(dialog, "okButton")->isEnabled());
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());
    }

    void browsingAddsAChoiceThatOkTakes_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("folder");
        QTest::newRow("a game folder")
            << QStringLiteral("/games/ivl/IronvaleUprising.exe") << QStringLiteral("/games/ivl/");
        QTest::newRow("a root folder") << QStringLiteral("/IRONVALE.EXE") << QStringLiteral("/");
    }

    void browsingAddsAChoiceThatOkTakes() {
        QFETCH(QString, chosen);
        QFETCH(QString, folder);
        CPathSetupDialog dialog(
            nullptr, [chosen](QWidget*) { return chosen; }, [] { return CGameSearch::Places{}; });
        QTest::mouseClick(Button(dialog, "browseButton"), Qt::LeftButton);
        QTest::mouseClick(Button(dialog, "browseButton"), Qt::LeftButton); // once in the list
        QCOMPARE(Texts(*Choices(dialog)), QStringList{folder});
        QCOMPARE(Choices(dialog)->currentRow(), 0);
        QVERIFY(Button(dialog, "okButton")->isEnabled());
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());
        QTest::mouseClick(Button(dialog, "okButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(dialog.FoundFolder()), folder);
    }

    void cancelEscapeAndCloseAlwaysLeave_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("state");
        for (const char* how : {"cancel", "escape", "close box"})
            for (const char* state : {"idle", "browsed", "searching", "searched"})
                QTest::newRow(qPrintable(
                    QStringLiteral("%1 %2").arg(QLatin1String(how), QLatin1String(state))))
                    << QString::fromLatin1(how) << QString::fromLatin1(state);
    }

    void cancelEscapeAndCloseAlwaysLeave() {
        QFETCH(QString, how);
        QFETCH(QString, state);
        test::TempGameFolder disk;
        for (int i = 0; i < 40; ++i)
            disk.Write("f" + std::to_string(i) + "/x.txt", "x");
        disk.Write("IVL/IRONVALE.EXE", "MZ");
        CPathSetupDialog dialog(
            nullptr, [](QWidget*) { return QStringLiteral("/games/ivl/IRONVALE.EXE"); },
            [&] {
                return CGameSearch::Places{{}, {disk.Path()}, {}};
            });
        // A slow disk: the search lasts while the test acts.
        if (state == QStringLiteral("searching"))
            dialog.Search().entryHook = [](const String&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        if (state == QStringLiteral("browsed"))
            QTest::mouseClick(Button(dialog, "browseButton"), Qt::LeftButton);
        if (state != QStringLiteral("idle") && state != QStringLiteral("browsed")) {
            QTest::mouseClick(Button(dialog, "searchButton"), Qt::LeftButton);
            // A quick disk may be searched through already; the slow one is not.
            QVERIFY(dialog.Searching() || state == QStringLiteral("searched"));
        }
        if (state == QStringLiteral("searched")) {
            QTRY_COMPARE(Button(dialog, "searchButton")->text(), QStringLiteral("Search"));
            QCOMPARE(Choices(dialog)->count(), 1);
        }
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());

        if (how == QStringLiteral("cancel"))
            QTest::mouseClick(Button(dialog, "cancelButton"), Qt::LeftButton);
        else if (how == QStringLiteral("escape"))
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.close();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(dialog.FoundFolder().empty());
        QVERIFY(!dialog.Searching());
    }

    void searchListsEveryGameFolderPrefixesFirst() {
        test::TempGameFolder prefix, first, second;
        prefix.Write("drive_c/GOG Games/IVU/IronvaleUprising.exe", "MZ");
        first.Write("Data/IRONVALE.EXE/readme.txt", "a folder named like the game");
        second.Write("Games/IVU/ironvaleuprising.exe", "MZ");
        CPathSetupDialog dialog(
            nullptr, [](QWidget*) { return QString(); },
            [&] {
                return CGameSearch::Places{
                    {prefix / "drive_c/"}, {first.Path(), second.Path()}, {}};
            });
        auto* search = Button(dialog, "searchButton");
        QTest::mouseClick(search, Qt::LeftButton);
        QCOMPARE(search->text(), QStringLiteral("Stop"));
        QVERIFY(!Button(dialog, "browseButton")->isEnabled());
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());

        QTRY_COMPARE(search->text(), QStringLiteral("Search"));
        QCOMPARE(Texts(*Choices(dialog)), (QStringList{Native(prefix / "drive_c/GOG Games/IVU/"),
                                                       Native(second / "Games/IVU/")}));
        QCOMPARE(Choices(dialog)->currentRow(), 0);
        QVERIFY(Button(dialog, "okButton")->isEnabled());
        QVERIFY(Button(dialog, "browseButton")->isEnabled());
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());
        Choices(dialog)->setCurrentRow(1);
        QTest::mouseClick(Button(dialog, "okButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.FoundFolder(), second / "Games/IVU/");
    }

    void stopKeepsWhatWasFound() {
        test::TempGameFolder prefix, disk;
        prefix.Write("drive_c/IVL/IRONVALE.EXE", "MZ");
        for (int i = 0; i < 20; ++i)
            disk.Write("f" + std::to_string(i) + "/x.txt", "x");
        disk.Write("IRONVALE.EXE", "MZ");
        CPathSetupDialog dialog(
            nullptr, [](QWidget*) { return QString(); },
            [&] {
                return CGameSearch::Places{{prefix / "drive_c/"}, {disk.Path()}, {}};
            });
        // The search waits on the disk until the test has pressed "Stop".
        std::atomic<bool> release{false};
        std::atomic<int> onDisk{0};
        dialog.Search().entryHook = [&](const String& path) {
            if (!path.starts_with(disk.Path()))
                return;
            ++onDisk;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        auto* search = Button(dialog, "searchButton");
        QTest::mouseClick(search, Qt::LeftButton);
        QTRY_COMPARE(onDisk.load(), 1);
        // Found folders show while the search goes on, and may be taken at once.
        QTRY_COMPARE(Choices(dialog)->count(), 1);
        QTest::mouseClick(search, Qt::LeftButton); // "Stop"
        release = true;

        QTRY_COMPARE(search->text(), QStringLiteral("Search"));
        QCOMPARE(onDisk.load(), 1);
        QCOMPARE(Texts(*Choices(dialog)), QStringList{Native(prefix / "drive_c/IVL/")});
        QVERIFY(Button(dialog, "okButton")->isEnabled());
        QVERIFY(Button(dialog, "cancelButton")->isEnabled());
        QTest::mouseClick(Button(dialog, "okButton"), Qt::LeftButton);
        QCOMPARE(dialog.FoundFolder(), prefix / "drive_c/IVL/");
    }

    void fileDialogOffersTheExecutablesInAnyCase() {
        QTemporaryDir folder;
        for (const char* name :
             {"ironvale.exe", "IronvaleUprising.EXE", "other.exe", "IRONVALE.EXE.bak"}) {
            QFile file(folder.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("Games")));
        QFileDialog dialog;
        CExecutableFilter::Install(dialog);
        QCOMPARE(dialog.nameFilters(),
                 QStringList{
                     QStringLiteral("Ironvale executable (IRONVALE.EXE, IRONVALEUPRISING.EXE)")});
        dialog.setDirectory(folder.path());
        dialog.show();
        auto* files = qobject_cast<QFileSystemModel*>(dialog.proxyModel()->sourceModel());
        QVERIFY(files);
        const auto shown = [&] {
            QStringList names;
            const QModelIndex root =
                dialog.proxyModel()->mapFromSource(files->index(folder.path()));
            for (int row = 0; row < dialog.proxyModel()->rowCount(root); ++row)
                names << dialog.proxyModel()->index(row, 0, root).data().toString();
            names.sort();
            return names;
        };
        QTRY_COMPARE(shown(),
                     (QStringList{QStringLiteral("Games"), QStringLiteral("IronvaleUprising.EXE"),
                                  QStringLiteral("ironvale.exe")}));
    }
};

QUILLORY_WATCH_TEST(LaunchDialogsTest);
#include "LaunchDialogsTest.moc"
