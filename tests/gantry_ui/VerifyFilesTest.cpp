// "Verify files" in the Gantry manager: a message when everything matches, the result window
// listing the differences otherwise, and nothing changed either way.
#include "TestMain.h"

#include "gantry/db/PackageCommands.h"
#include "gantry/ui/GantryControlIds.h"
#include "gantry/ui/GantryManagerDlg.h"
#include "gantry/ui/GantryQuestions.h"
#include "gantry/ui/VerifyResultDlg.h"
#include "tests/gantry_db/ScannedTree.h"
#include "tests/gantry_db/TreeBuilder.h"
#include "tests/support/TempGameFolder.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace quillory;
using namespace quillory::ui;

namespace {

struct ShownResult {
    QString summary;
    QStringList rows; // "kind|file|package|found"
};

// Reads the result window once it is up, saves a picture of it when QUILLORY_SHOTS names a
// folder, and closes it.
void CloseResultWhenShown(ShownResult& shown, const QString& shot) {
    QTimer::singleShot(20, [&shown, shot] {
        auto* dialog = qobject_cast<CVerifyResultDlg*>(QApplication::activeModalWidget());
        if (!dialog) {
            CloseResultWhenShown(shown, shot);
            return;
        }
        shown.summary = dialog->Summary()->text();
        const QTableWidget* table = dialog->Differences();
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells.push_back(table->item(row, column)->text());
            shown.rows.push_back(cells.join(QLatin1Char('|')));
        }
        const QString folder = qEnvironmentVariable("QUILLORY_SHOTS");
        if (!folder.isEmpty())
            dialog->grab().save(QDir(folder).filePath(shot));
        dialog->reject();
    });
}

QStringList MenuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions())
        texts.push_back(action->text());
    return texts;
}

} // namespace

class VerifyFilesTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempGameFolder> game;
    std::unique_ptr<CFileDatabase> db;
    std::unique_ptr<CGantryQuestions> questions;

    std::unique_ptr<CGantryManagerDlg> Open(int tab) {
        auto dialog = std::make_unique<CGantryManagerDlg>(*db, std::nullopt, *questions);
        dialog->SetStartTab(tab);
        dialog->show();
        return dialog;
    }

    void MakePackage(const char* name, std::initializer_list<const char*> paths) {
        CPackageCommands commands(*db);
        Handle<CPackage> package;
        QVERIFY(commands.CreatePackage(name, "", &package).IsDone());
        HandleArray<CFileNode> nodes;
        for (const char* path : paths)
            nodes.push_back(test::NodeAt(*db, path));
        QVERIFY(commands.Bind(package, nodes).IsDone());
    }

    static int PackageRowOf(const CGantryManagerDlg& dialog, const char* name) {
        const CGantryViewModel& model = *dialog.Model();
        for (int row = 0; row < model.rowCount(); ++row)
            if (model.PackageAt(row).name == name)
                return row;
        return -1;
    }

private slots:
    void init() {
        game = std::make_unique<test::TempGameFolder>();
        game->Write("AddOns/islands.pbo", "islands");
        game->Write("AddOns/palms.pbo", "palms");
        game->Write("@Rivers/addons/river.pbo", "river");
        game->Write("notes.txt", "n");
        db = std::make_unique<CFileDatabase>();
        db->SetGamePath(game->Path());
        QVERIFY(db->Scan());
        MakePackage("Islands", {"AddOns\\islands.pbo", "AddOns\\palms.pbo"});
        MakePackage("Rivers", {"@Rivers\\addons\\river.pbo"});
        questions = std::make_unique<CGantryQuestions>();
    }

    void cleanup() {
        questions.reset();
        db.reset();
        game.reset();
    }

    void commandSitsInThePackageAndAdvancedViews() {
        auto dialog = Open(CGantryViewModel::VIEW_SERVER);
        QVERIFY(!dialog->VerifyButton()->isVisible());
        for (int tab : {CGantryViewModel::VIEW_PACKAGES, CGantryViewModel::VIEW_FILES}) {
            dialog->Tabs()->setCurrentIndex(tab);
            QVERIFY(dialog->VerifyButton()->isVisible());
            QCOMPARE(dialog->VerifyButton()->text(), QStringLiteral("Verify files"));
            dialog->List()->selectRow(0);
            std::unique_ptr<QMenu> menu(dialog->BuildContextMenu());
            QVERIFY(menu);
            QVERIFY(MenuTexts(menu.get()).contains(QStringLiteral("Verify files")));
        }
        const QString folder = qEnvironmentVariable("QUILLORY_SHOTS");
        if (!folder.isEmpty())
            dialog->grab().save(QDir(folder).filePath(QStringLiteral("manager-verify.png")));
    }

    void everythingMatchingIsToldInAMessage() {
        auto dialog = Open(CGantryViewModel::VIEW_PACKAGES);
        questions->QueueAnswer(true);
        dialog->VerifyButton()->click();
        QCOMPARE(questions->Asked(),
                 QStringList{QStringLiteral("Verified 3 files of 2 packages: 3 match, 0 differ")});
        QVERIFY(!db->Busy());
    }

    void differencesAreListedAndNothingChanges() {
        game->Write("AddOns/islands.pbo", "ISLANDS");
        game->Remove("@Rivers/addons/river.pbo");
        game->Move("AddOns/palms.pbo", "AddOns/palms.pbx");
        const std::string before = test::Describe(*db);
        const uint64_t changes = db->ChangeCount();

        auto dialog = Open(CGantryViewModel::VIEW_PACKAGES);
        ShownResult all;
        CloseResultWhenShown(all, QStringLiteral("verify-result.png"));
        dialog->Action(ID_VERIFY_FILES)->trigger();
        QCOMPARE(all.summary, QStringLiteral("Verified 3 files of 2 packages: 0 match, 3 differ"));
        QCOMPARE(all.rows.size(), 3);
        QCOMPARE(all.rows[0], QStringLiteral("Changed|AddOns/islands.pbo|Islands|stored 7 bytes, "
                                             "CRC %1; found 7 bytes, CRC %2")
                                  .arg(QString::asprintf("%08x", test::CrcOf("islands")),
                                       QString::asprintf("%08x", test::CrcOf("ISLANDS"))));
        QCOMPARE(all.rows[1],
                 QStringLiteral("Inactive only|AddOns/palms.pbo|Islands|present as palms.pbx"));
        QCOMPARE(all.rows[2], QStringLiteral("Missing|@Rivers/addons/river.pbo|Rivers|"));

        // The selected package only.
        dialog->List()->selectRow(PackageRowOf(*dialog, "Rivers"));
        ShownResult rivers;
        CloseResultWhenShown(rivers, QStringLiteral("verify-result-rivers.png"));
        dialog->Action(ID_VERIFY_FILES)->trigger();
        QCOMPARE(rivers.rows,
                 QStringList{QStringLiteral("Missing|@Rivers/addons/river.pbo|Rivers|")});
        QCOMPARE(rivers.summary, QStringLiteral("Verified 1 file of 1 package: 0 match, 1 differ"));

        // The Advanced view verifies the package its filter shows.
        dialog->Tabs()->setCurrentIndex(CGantryViewModel::VIEW_FILES);
        const int islands = dialog->Filter()->findText(QStringLiteral("Islands"));
        QVERIFY(islands > 0);
        dialog->Filter()->setCurrentIndex(islands);
        ShownResult filtered;
        CloseResultWhenShown(filtered, QStringLiteral("verify-result-filtered.png"));
        dialog->Action(ID_VERIFY_FILES)->trigger();
        QCOMPARE(filtered.rows.size(), 2);

        QCOMPARE(test::Describe(*db), before);
        QCOMPARE(db->ChangeCount(), changes);
        QCOMPARE(game->Read("AddOns/islands.pbo"), std::string("ISLANDS"));
        QVERIFY(game->Exists("AddOns/palms.pbx"));
    }
};

QUILLORY_WATCH_TEST(VerifyFilesTest);

#include "VerifyFilesTest.moc"
