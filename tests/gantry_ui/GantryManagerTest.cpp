// The Gantry manager window: its views, keys, timer, mod settings and commands.
#include "TestMain.h"

#include "gantry/db/PackageCommands.h"
#include "gantry/ui/GantryControlIds.h"
#include "gantry/ui/GantryManagerDlg.h"
#include "gantry/ui/GantryQuestions.h"
#include "gantry/ui/OfferedFilesDlg.h"
#include "gantry/ui/PackageDlg.h"
#include "tests/gantry_db/ScannedTree.h"
#include "tests/support/ScopedUnprivileged.h"
#include "tests/support/TempGameFolder.h"
#include "ui/ElidedTipDelegate.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <deque>
#include <memory>

using namespace quillory;
using namespace quillory::ui;

namespace {

// Answers package dialogs as they open: a name to enter and OK, or Cancel when none is left.
class CPackageDialogAnswers final : public QObject {
public:
    explicit CPackageDialogAnswers(std::deque<QString> names) : names_(std::move(names)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Answer(); });
        timer_.start();
    }
    QStringList captions;
    QStringList shownNames;

private:
    void Answer() {
        auto* dialog = qobject_cast<CPackageDlg*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        captions.push_back(dialog->windowTitle());
        shownNames.push_back(dialog->NameEdit()->text());
        if (names_.empty()) {
            dialog->reject();
            return;
        }
        dialog->NameEdit()->setText(names_.front());
        names_.pop_front();
        dialog->accept();
    }

    std::deque<QString> names_;
    QTimer timer_;
};

QString Cell(const QAbstractItemModel* model, int row, int column) {
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
}

QStringList Headers(const QAbstractItemModel* model) {
    QStringList headers;
    for (int c = 0; c < model->columnCount(); ++c)
        headers.push_back(model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    return headers;
}

// Chooses the "Bind to" list's entry for package `index`, as a click on it does.
void ChooseBindEntry(CGantryManagerDlg& dialog, int index) {
    QMenu menu;
    dialog.FillBindMenu(&menu);
    for (QAction* action : menu.actions())
        if (action->data().toInt() == ID_FILE_BIND_FIRST + index) {
            action->trigger();
            return;
        }
    QFAIL("no such entry in the bind list");
}

} // namespace

class GantryManagerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempGameFolder> game;
    std::unique_ptr<CFileDatabase> db;
    std::unique_ptr<CGantryQuestions> questions;
    ManagerModSettings entry;
    Handle<CPackage> islands;

    Handle<CPackage> Offer(const char* name, uint32_t priority, uint32_t size, bool flagged) {
        auto record = std::make_shared<CPackage>();
        record->name = name;
        record->priority = priority;
        record->archiveSize = size;
        record->needsDownload = flagged ? 1 : 0;
        db->AddOfferedPackage(record);
        return record;
    }

    // An offered record describing files under "addons\" (name, content), as a server would.
    Handle<CPackage> OfferFiles(const char* name,
                                const std::vector<std::pair<std::string, std::string>>& files) {
        auto record = Offer(name, 2, 100, false);
        record->describedRoot = std::make_shared<CFileNode>();
        record->describedRoot->flags = NF_FOLDER;
        auto addons = record->describedRoot->AddChild("addons\\", NF_FOLDER);
        record->described = {addons};
        for (const auto& [path, content] : files) {
            auto folder = addons;
            std::string rest = path;
            for (size_t slash; (slash = rest.find('\\')) != std::string::npos;) {
                folder = folder->AddChild(rest.substr(0, slash + 1), NF_FOLDER);
                record->described.push_back(folder);
                rest = rest.substr(slash + 1);
            }
            auto file = folder->AddChild(rest, 0);
            file->size = uint32_t(content.size());
            file->crc = test::CrcOf(content);
            record->described.push_back(file);
        }
        return record;
    }

    std::unique_ptr<CGantryManagerDlg> Open(int tab, ManagerModSettings* server = nullptr) {
        std::optional<ManagerModSettings> mods;
        if (server)
            mods = *server;
        auto dialog = std::make_unique<CGantryManagerDlg>(*db, mods, *questions);
        dialog->SetStartTab(tab);
        dialog->show();
        return dialog;
    }

    void SelectRows(CGantryManagerDlg& dialog, std::initializer_list<int> rows) {
        dialog.List()->clearSelection();
        for (int row : rows)
            dialog.List()->selectionModel()->select(dialog.Model()->index(row, 0),
                                                    QItemSelectionModel::Select |
                                                        QItemSelectionModel::Rows);
    }

    // The file-view row of `name` listed under `package`, or -1.
    static int FileRowOf(const CGantryManagerDlg& dialog, const char* name, const char* package) {
        const CGantryViewModel& model = *dialog.Model();
        for (int row = 0; row < model.rowCount(); ++row)
            if (model.FileAt(row).name == name && model.FileAt(row).packageName == package)
                return row;
        return -1;
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
        game->Write("AddOns/a.pbo", "a");
        game->Write("AddOns/sub/b.pbo", "bb");
        game->Write("notes.txt", "n");
        game->Write("IRONVALE.EXE", "exe");
        db = std::make_unique<CFileDatabase>();
        db->SetGamePath(game->Path());
        QVERIFY(db->Scan());
        CPackageCommands commands(*db);
        QVERIFY(commands.CreatePackage("Islands", "http://islands", &islands).IsDone());
        QVERIFY(commands.Bind(islands, {test::NodeAt(*db, "AddOns\\a.pbo")}).IsDone());
        questions = std::make_unique<CGantryQuestions>();
        entry = ManagerModSettings{};
        db->SetServerText(0, "Test Server");
        db->SetServerText(3, "127.0.0.1");
    }

    void cleanup() {
        questions.reset();
        db.reset();
        game.reset();
    }

    void serverViewShowsTheOfferedPackages() {
        Offer("three", 3, 10485, true);
        Offer("four", 4, 2048, false);
        Offer("ten", 10, 1048576, false);
        auto dialog = Open(0);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Gantry Manager"));
        QCOMPARE(dialog->Title()->text(), QStringLiteral("Gantry Server"));
        const QAbstractItemModel* model = dialog->List()->model();
        QCOMPARE(Headers(model), (QStringList{QStringLiteral("Package"), QStringLiteral("Priority"),
                                              QStringLiteral("Status"), QStringLiteral("Zip size"),
                                              QStringLiteral("Action")}));
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(Cell(model, 0, 1), QStringLiteral("Optional"));
        QCOMPARE(Cell(model, 1, 1), QStringLiteral("Recommended"));
        QCOMPARE(Cell(model, 2, 1), QStringLiteral("Required"));
        QCOMPARE(Cell(model, 0, 4), QStringLiteral("Download"));
        QCOMPARE(Cell(model, 1, 4), QString());
        QCOMPARE(Cell(model, 2, 3), QStringLiteral("1,024 KB"));
        QCOMPARE(model->data(model->index(0, 3), Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
                 int(Qt::AlignRight));
        QCOMPARE(dialog->List()->columnWidth(0), 200);
        // "Recommended" is wider than the column's own 80 pixels in these fonts: shown whole.
        const QFontMetrics metrics(dialog->List()->font());
        QVERIFY(dialog->List()->columnWidth(1) >=
                metrics.horizontalAdvance(QStringLiteral("Recommended")));
        QVERIFY(dialog->List()->columnWidth(1) <= 160);
        QCOMPARE(dialog->SizeText()->text(), QStringLiteral("0.01 MB to download"));
        QCOMPARE(dialog->ServerText(0)->text(), QStringLiteral("Test Server"));
        QCOMPARE(dialog->ServerText(3)->text(), QStringLiteral("127.0.0.1"));
        QVERIFY(dialog->Tool(0)->isVisible() && dialog->Tool(2)->isVisible());
        QVERIFY(!dialog->Tool(3)->isVisible());
        QCOMPARE(dialog->Tool(0)->text(), QStringLiteral("Flag"));
        QVERIFY(!dialog->Filter()->isVisible());
        // The server view does not sort.
        dialog->List()->horizontalHeader()->sectionClicked(0);
        QCOMPARE(Cell(model, 0, 0), QStringLiteral("three"));

        // Flagged: the button is enabled and blinks.
        dialog->Tick();
        QVERIFY(dialog->DownloadButton()->isEnabled());
        const QString first = dialog->DownloadButton()->text();
        dialog->Tick();
        QVERIFY(dialog->DownloadButton()->text() != first);
        QVERIFY(
            QStringList({QStringLiteral("Addon packages"), QStringLiteral("Download && install")})
                .contains(first));

        // Double-click toggles the selected rows' flags.
        SelectRows(*dialog, {0, 1});
        emit dialog->List()->doubleClicked(model->index(1, 0));
        QCOMPARE(Cell(model, 0, 4), QString());
        QCOMPARE(Cell(model, 1, 4), QStringLiteral("Download"));
        QCOMPARE(dialog->SizeText()->text(), QStringLiteral("0.00 MB to download"));
    }

    void nothingFlaggedShowsZeroAndDisablesTheButton() {
        auto dialog = Open(0);
        QCOMPARE(dialog->List()->model()->rowCount(), 0);
        QCOMPARE(dialog->SizeText()->text(), QStringLiteral("0.00 MB to download"));
        dialog->Tick();
        QVERIFY(!dialog->DownloadButton()->isEnabled());
        QCOMPARE(dialog->DownloadButton()->text(), QStringLiteral("Download && install"));
    }

    void packageAndFileViewsShowTheirColumns() {
        auto dialog = Open(1);
        QCOMPARE(dialog->Title()->text(), QStringLiteral("Installed packages"));
        const QAbstractItemModel* model = dialog->List()->model();
        QCOMPARE(Headers(model),
                 (QStringList{QStringLiteral("Package"), QStringLiteral("Status"),
                              QStringLiteral("Size"), QStringLiteral("Files/Folders"),
                              QStringLiteral("Install date"), QStringLiteral("Shared")}));
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(Cell(model, 3, 0), QStringLiteral("Islands"));
        QCOMPARE(Cell(model, 3, 3), QStringLiteral("1/0"));
        QCOMPARE(Cell(model, 3, 5), QStringLiteral("0"));
        // A heading wider than its column's own width ("Files/Folders", 70) is shown whole.
        const QHeaderView* header = dialog->List()->horizontalHeader();
        QVERIFY(dialog->List()->columnWidth(3) >= header->sectionSizeHint(3));
        QCOMPARE(dialog->List()->columnWidth(2), 80); // "Size" fits its own width
        QCOMPARE(dialog->Tool(5)->text(), QStringLiteral("Uninstall"));
        QVERIFY(!dialog->AutomaticMods()->isVisible());

        dialog->Tabs()->setCurrentIndex(2);
        QCOMPARE(dialog->Title()->text(), QStringLiteral("Advanced file view"));
        QCOMPARE(Headers(model).front(), QStringLiteral("File"));
        QVERIFY(dialog->Filter()->isVisible());
        QCOMPARE(dialog->Filter()->itemText(0), QStringLiteral("<All Packages>"));
        QCOMPARE(dialog->Filter()->count(), 5);
        const int row = FileRowOf(*dialog, "b.pbo", "<Unknown addons>");
        QVERIFY(row >= 0);
        // Paths show the system's separator; the database keeps its own.
        QCOMPARE(Cell(model, row, 2), QStringLiteral("AddOns/sub/"));
        QCOMPARE(dialog->Model()->FileAt(row).folderPath, String("AddOns\\sub\\"));
        QCOMPARE(Cell(model, row, 5), QStringLiteral("<Unknown addons>"));

        // The sorting table: folders first by name; size descending, no toggle on a second click.
        dialog->List()->horizontalHeader()->sectionClicked(0);
        QVERIFY(dialog->Model()->FileAt(0).folder);
        for (int click = 0; click < 2; ++click) {
            dialog->List()->horizontalHeader()->sectionClicked(3);
            QCOMPARE(dialog->Model()->FileAt(0).name, String("IRONVALE.EXE"));
        }
        // The combo filters by package.
        dialog->Filter()->setCurrentIndex(4);
        emit dialog->Filter()->activated(4);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(Cell(model, 0, 0), QStringLiteral("a.pbo"));

        // Tooltips follow the view.
        QCOMPARE(dialog->ToolTipFor(dialog->Tool(4)),
                 QStringLiteral("Reference (bind) selected files to a package"));
        dialog->Tabs()->setCurrentIndex(1);
        QCOMPARE(dialog->ToolTipFor(dialog->Tool(4)),
                 QStringLiteral("Remove the package definition and bind any unreferenced files "
                                "to a default package"));
    }

    void ctrlIInvertsAndSelectsAllWhenNothingIsSelected() {
        auto dialog = Open(1);
        dialog->List()->setFocus();
        dialog->List()->clearSelection();
        QTest::keyClick(dialog->List(), Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(dialog->SelectedRows().size(), size_t(4));
        SelectRows(*dialog, {1});
        QTest::keyClick(dialog->List(), Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(dialog->SelectedRows(), (std::vector<int>{0, 2, 3}));
        dialog->List()->clearSelection();
        QTest::keyClick(dialog->List(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(dialog->SelectedRows().size(), size_t(4));
    }

    void modSettingsComeFromTheServerEntry() {
        entry.startupParameters = "-nosplash -MOD=a;b";
        entry.automaticMods = false;
        auto dialog = Open(0, &entry);
        QCOMPARE(dialog->CustomModValue()->text(), QStringLiteral("a;b"));
        QVERIFY(dialog->CustomMods()->isChecked());
        dialog->AutomaticMods()->setChecked(true);
        QTest::keyClick(dialog.get(), Qt::Key_Escape); // stores nothing
        QVERIFY(!dialog->StoredAutomaticMods());

        auto again = Open(0, &entry);
        again->AutomaticMods()->setChecked(true);
        again->CloseStoring();
        QCOMPARE(again->StoredAutomaticMods(), std::optional<bool>(true));

        auto none = Open(0);
        QVERIFY(none->AutomaticMods()->isChecked());
        QCOMPARE(none->CustomModValue()->text(), QString());
    }

    void theBindListStopsAtTwoHundredPackages() {
        CPackageCommands commands(*db);
        for (int i = 0; i < 210; ++i)
            QVERIFY(commands.CreatePackage("p" + std::to_string(i), "").IsDone());
        auto dialog = Open(2);
        SelectRows(*dialog, {0});
        std::unique_ptr<QMenu> menu(dialog->BuildContextMenu());
        QVERIFY(menu);
        QMenu* bind = nullptr;
        for (QAction* action : menu->actions())
            if (action->menu() && action->text() == QStringLiteral("Bind to"))
                bind = action->menu();
        QVERIFY(bind);
        QList<QAction*> entries;
        for (QAction* action : bind->actions())
            if (!action->isSeparator())
                entries.push_back(action);
        QCOMPARE(entries.size(), 1 + 200);
        QCOMPARE(entries[0]->text(), QStringLiteral("<new package>"));
        QVERIFY(!entries[1]->isEnabled() && !entries[3]->isEnabled() && entries[4]->isEnabled());
        QCOMPARE(entries.back()->data().toInt(), 32977);

        // Several rows: the single-row entries are disabled.
        SelectRows(*dialog, {0, 1});
        menu.reset(dialog->BuildContextMenu());
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Open folder") ||
                action->text() == QStringLiteral("Select all children"))
                QVERIFY(!action->isEnabled());
        dialog->List()->clearSelection();
        QVERIFY(!dialog->BuildContextMenu());
    }

    void bindingAndUnbindingRows() {
        auto dialog = Open(2);
        int row = FileRowOf(*dialog, "notes.txt", "<Unknown files>");
        QVERIFY(row >= 0);
        SelectRows(*dialog, {row});
        ChooseBindEntry(*dialog, 3); // Islands
        QCOMPARE(FileRowOf(*dialog, "notes.txt", "<Unknown files>"), -1);
        QVERIFY(FileRowOf(*dialog, "notes.txt", "Islands") >= 0);

        // Unbinding a row of "<Core files>" does nothing.
        row = FileRowOf(*dialog, "IRONVALE.EXE", "<Core files>");
        QVERIFY(row >= 0);
        SelectRows(*dialog, {row});
        dialog->Action(ID_FILE_UNBIND)->trigger();
        QVERIFY(FileRowOf(*dialog, "IRONVALE.EXE", "<Core files>") >= 0);

        // Unbinding from a real package gives the file back to a pseudo-package.
        SelectRows(*dialog, {FileRowOf(*dialog, "notes.txt", "Islands")});
        dialog->Action(ID_FILE_UNBIND)->trigger();
        QCOMPARE(FileRowOf(*dialog, "notes.txt", "Islands"), -1);
        QVERIFY(FileRowOf(*dialog, "notes.txt", "<Unknown files>") >= 0);
    }

    void aNewPackageNeedsAFreeName() {
        auto dialog = Open(2);
        SelectRows(*dialog, {FileRowOf(*dialog, "b.pbo", "<Unknown addons>")});
        // Empty, then taken in another case, then a free name.
        auto answers = std::make_unique<CPackageDialogAnswers>(std::deque<QString>{
            QStringLiteral("   "), QStringLiteral("ISLANDS"), QStringLiteral(" Sub ")});
        questions->QueueAnswer(true);
        questions->QueueAnswer(true);
        dialog->Action(ID_FILE_BIND_NEW)->trigger();
        QCOMPARE(questions->Asked(), (QStringList{QStringLiteral("You need to specify a name"),
                                                  QStringLiteral("A package with this name "
                                                                 "already exists")}));
        QCOMPARE(answers->captions.value(0), QStringLiteral("Create new package"));
        // The dialog shows again with what was entered (trimmed by OK).
        QCOMPARE(answers->shownNames.value(2), QStringLiteral("ISLANDS"));
        answers.reset();
        QCOMPARE(db->Packages().back()->name, String("Sub"));
        QVERIFY(FileRowOf(*dialog, "b.pbo", "Sub") >= 0);

        // Editing: its own name in another case is fine; another package's is not.
        dialog->Tabs()->setCurrentIndex(1);
        SelectRows(*dialog, {PackageRowOf(*dialog, "Sub")});
        CPackageDialogAnswers edits({QStringLiteral("islands"), QStringLiteral("SUB")});
        questions->QueueAnswer(true);
        dialog->Action(ID_PACKAGE_EDIT)->trigger();
        QCOMPARE(edits.captions.value(0), QStringLiteral("Edit package"));
        QCOMPARE(edits.shownNames.value(0), QStringLiteral("Sub"));
        QCOMPARE(db->Packages().back()->name, String("SUB"));
    }

    void packageNamesAreWindows1252() {
        // As a server sends it: "Café Ré" in Windows-1252, and a euro sign (0x80).
        Offer("Caf\xe9 R\xe9", 3, 10485, true);
        CPackageCommands commands(*db);
        QVERIFY(commands.CreatePackage("\x80 pack", "", nullptr).IsDone());
        const QString cafe = QStringLiteral("Caf\u00e9 R\u00e9");
        auto dialog = Open(0);
        QCOMPARE(Cell(dialog->List()->model(), 0, 0), cafe);
        dialog->Tabs()->setCurrentIndex(1);
        const int euro = PackageRowOf(*dialog, "\x80 pack");
        QVERIFY(euro >= 0);
        QCOMPARE(Cell(dialog->List()->model(), euro, 0), QStringLiteral("\u20ac pack"));
        // Edited: shown as the player reads it, stored as the servers write it.
        SelectRows(*dialog, {euro});
        CPackageDialogAnswers edits({QStringLiteral("\u20ac pack \u00e9")});
        dialog->Action(ID_PACKAGE_EDIT)->trigger();
        QCOMPARE(edits.shownNames.value(0), QStringLiteral("\u20ac pack"));
        QCOMPARE(db->Packages().back()->name, String("\x80 pack \xe9"));
        dialog->Tabs()->setCurrentIndex(2);
        QVERIFY(dialog->Filter()->findText(QStringLiteral("\u20ac pack \u00e9")) > 0);
    }

    void theSelectionStaysAfterACommand() {
        Offer("one", 3, 1000, false);
        Offer("two", 3, 1000, false);
        Offer("three", 3, 1000, false);
        auto dialog = Open(0);
        SelectRows(*dialog, {1, 2});
        dialog->Action(ID_OFFERED_FLAG)->trigger();
        QCOMPARE(Cell(dialog->List()->model(), 2, 4), QStringLiteral("Download"));
        QCOMPARE(dialog->SelectedRows(), (std::vector<int>{1, 2}));

        // Another view starts without a selection.
        dialog->Tabs()->setCurrentIndex(1);
        QVERIFY(dialog->SelectedRows().empty());
        const int islandsRow = PackageRowOf(*dialog, "Islands");
        SelectRows(*dialog, {islandsRow});
        dialog->Action(ID_PACKAGE_ACTIVATE)->trigger();
        QCOMPARE(dialog->SelectedRows(), (std::vector<int>{islandsRow}));

        // The Advanced view keeps its package filter too.
        dialog->Tabs()->setCurrentIndex(2);
        const int islands = dialog->Filter()->findText(QStringLiteral("Islands"));
        dialog->Filter()->setCurrentIndex(islands);
        emit dialog->Filter()->activated(islands);
        QCOMPARE(dialog->List()->model()->rowCount(), 1);
        SelectRows(*dialog, {0});
        dialog->Action(ID_FILE_DEACTIVATE)->trigger();
        QCOMPARE(dialog->Filter()->currentIndex(), islands);
        QCOMPARE(dialog->List()->model()->rowCount(), 1);
        QCOMPARE(dialog->SelectedRows(), (std::vector<int>{0}));
    }

    // A sort moves the rows shown, not the rows filled: the selection stays on its files, a
    // command on it reaches them, and a refill shows the filled order again.
    void sortingKeepsTheSelectionOnItsFiles() {
        auto dialog = Open(CGantryViewModel::VIEW_FILES);
        const CGantryViewModel& model = *dialog->Model();
        const int a = FileRowOf(*dialog, "a.pbo", "Islands");
        const int exe = FileRowOf(*dialog, "IRONVALE.EXE", "<Core files>");
        QVERIFY(a >= 0 && exe >= 0);
        std::vector<String> filled;
        for (int row = 0; row < model.rowCount(); ++row)
            filled.push_back(model.FileAt(row).name);
        SelectRows(*dialog, {a, exe});
        for (int column : {3, 0, 2, 4, 1}) {
            dialog->List()->horizontalHeader()->sectionClicked(column);
            std::vector<String> selected;
            for (const int row : dialog->SelectedRows())
                selected.push_back(model.FileAt(row).name);
            std::sort(selected.begin(), selected.end());
            QCOMPARE(selected, (std::vector<String>{"IRONVALE.EXE", "a.pbo"}));
            // What the view shows is what the rows say, row for row.
            for (int row = 0; row < model.rowCount(); ++row)
                QCOMPARE(Cell(dialog->List()->model(), row, 3),
                         QString::fromStdString(model.FileAt(row).sizeText));
        }
        // Size descending after the clicks above leaves the biggest file first.
        dialog->List()->horizontalHeader()->sectionClicked(3);
        QCOMPARE(model.FileAt(0).name, String("IRONVALE.EXE"));
        SelectRows(*dialog, {FileRowOf(*dialog, "a.pbo", "Islands")});
        dialog->Action(ID_FILE_DEACTIVATE)->trigger();
        QCOMPARE(test::NodeAt(*db, "AddOns\\a.pbo")->status, uint16_t(NS_INACTIVE));
        std::vector<String> after;
        for (int row = 0; row < model.rowCount(); ++row)
            after.push_back(model.FileAt(row).name);
        QCOMPARE(after, filled);
    }

    // A refill keeps a selection of neighbouring rows as one range, not a range per row.
    void aRefillKeepsNeighbouringRowsAsOneRange() {
        auto dialog = Open(CGantryViewModel::VIEW_FILES);
        const int rows = dialog->Model()->rowCount();
        QVERIFY(rows >= 4);
        dialog->List()->selectAll();
        dialog->FillFileView(nullptr);
        QCOMPARE(dialog->List()->selectionModel()->selection().size(), 1);
        QCOMPARE(int(dialog->SelectedRows().size()), rows);
        SelectRows(*dialog, {0, 1, 3});
        dialog->FillFileView(nullptr);
        QCOMPARE(dialog->List()->selectionModel()->selection().size(), 2);
        QCOMPARE(dialog->SelectedRows(), (std::vector<int>{0, 1, 3}));
    }

    void textsFitTheWindow() {
        // A name longer than a column may grow to: cut, and whole in its tooltip.
        const String longName = "Lantern Isles " + String(120, 'x');
        Offer(longName.c_str(), 3, 10485, true);
        Offer("short", 3, 10485, true);
        db->SetServerText(1, "Co-op campaigns every evening at 20:00 UTC on the islands of the "
                             "vale, with mods from our own Gantry server and more");
        auto dialog = Open(0);
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        // The Info field starts at its beginning.
        QCOMPARE(dialog->ServerText(1)->cursorPosition(), 0);
        QTableView* list = dialog->List();
        QVERIFY(list->columnWidth(0) > 200);
        QVERIFY(list->columnWidth(0) <
                QFontMetrics(list->font()).horizontalAdvance(QString::fromStdString(longName)));
        const auto* delegate = qobject_cast<CElidedTipDelegate*>(list->itemDelegate());
        QVERIFY(delegate != nullptr);
        const auto tipAt = [list](int row, int column) {
            const QRect cell = list->visualRect(list->model()->index(row, column));
            QHelpEvent help(QEvent::ToolTip, cell.center(),
                            list->viewport()->mapToGlobal(cell.center()));
            QApplication::sendEvent(list->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QTRY_COMPARE(tipAt(0, 0), QString::fromStdString(longName));
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        QCOMPARE(tipAt(1, 0), QString());

        // Switching views keeps the window's size.
        const QSize size = dialog->size();
        for (int tab : {1, 2, 0, 2, 1}) {
            dialog->Tabs()->setCurrentIndex(tab);
            QApplication::processEvents();
            QCOMPARE(dialog->size(), size);
        }
    }

    void deactivatingAsksOnlyForCoreAndUnknownFiles() {
        auto dialog = Open(1);
        SelectRows(*dialog, {PackageRowOf(*dialog, "<Unknown addons>")});
        dialog->Action(ID_PACKAGE_DEACTIVATE)->trigger();
        QVERIFY(questions->Asked().isEmpty());
        QCOMPARE(test::NodeAt(*db, "AddOns\\sub\\b.pbo")->status, uint16_t(NS_INACTIVE));

        SelectRows(*dialog, {PackageRowOf(*dialog, "<Core files>")});
        questions->QueueAnswer(false);
        dialog->Action(ID_PACKAGE_DEACTIVATE)->trigger();
        QCOMPARE(questions->Asked(),
                 QStringList{QStringLiteral("Deactivating <Core files> could harm your IVL "
                                            "installation. Are you sure?")});
        QCOMPARE(test::NodeAt(*db, "IRONVALE.EXE")->status, uint16_t(NS_ACTIVE));
    }

    void uninstallingSharedMembersDeletesNothing() {
        CPackageCommands commands(*db);
        Handle<CPackage> copy;
        QVERIFY(commands.CreatePackage("Copy", "", &copy).IsDone());
        QVERIFY(commands.Bind(copy, {test::NodeAt(*db, "AddOns\\a.pbo")}).IsDone());
        auto dialog = Open(1);
        SelectRows(*dialog, {PackageRowOf(*dialog, "Islands")});
        questions->QueueAnswer(true);
        questions->QueueAnswer(false); // the second question: nothing happens
        dialog->Action(ID_PACKAGE_UNINSTALL)->trigger();
        QVERIFY(PackageRowOf(*dialog, "Islands") >= 0);

        SelectRows(*dialog, {PackageRowOf(*dialog, "Islands")});
        questions->QueueAnswer(true);
        questions->QueueAnswer(true);
        dialog->Action(ID_PACKAGE_UNINSTALL)->trigger();
        QCOMPARE(PackageRowOf(*dialog, "Islands"), -1);
        QVERIFY(game->Exists("AddOns/a.pbo"));
        QCOMPARE(questions->Asked().size(), 4);
    }

    void theTimerRefillsWhenTheDatabaseChanged() {
        auto dialog = Open(1);
        QCOMPARE(dialog->List()->model()->rowCount(), 4);
        CPackageCommands(*db).CreatePackage("Later", "");
        QCOMPARE(dialog->List()->model()->rowCount(), 4);
        dialog->Tick();
        QCOMPARE(dialog->List()->model()->rowCount(), 5);
    }

    void serverViewShowFilesGivesEachFilesStatus() {
        OfferFiles("Maps", {{"a.pbo", "a"}, {"sub\\b.pbo", "not bb"}, {"c.pbo", "c"}});
        auto dialog = Open(0);
        QString shownPackage;
        std::vector<DescribedFileRow> shown;
        dialog->showOfferedFiles = [&](const QString& package,
                                       const std::vector<DescribedFileRow>& rows) {
            shownPackage = package;
            shown = rows;
        };
        QCOMPARE(dialog->Tool(2)->text(), QStringLiteral("Show files"));
        SelectRows(*dialog, {0});
        QVERIFY(dialog->Tool(2)->isEnabled());
        dialog->PressTool(2);
        QCOMPARE(shownPackage, QStringLiteral("Maps"));
        QStringList statuses;
        for (const DescribedFileRow& row : shown)
            statuses << QString::fromStdString(row.path + "=" + row.statusText);
        QCOMPARE(statuses, (QStringList{QStringLiteral("addons\\a.pbo=Present"),
                                        QStringLiteral("addons\\sub\\b.pbo=Differs"),
                                        QStringLiteral("addons\\c.pbo=Missing")}));
        QCOMPARE(QString::fromStdString(shown[0].foundAt), QStringLiteral("AddOns\\a.pbo"));

        // The dialog that shows them by default: native paths, one row each, a summary.
        COfferedFilesDlg files(shownPackage, shown);
        QCOMPARE(files.windowTitle(), QStringLiteral("Files of Maps"));
        QCOMPARE(files.Files()->rowCount(), 3);
        QCOMPARE(files.Files()->item(1, 0)->text(), QStringLiteral("addons/sub/b.pbo"));
        QCOMPARE(files.Files()->item(1, 1)->text(), QStringLiteral("Differs"));
        QCOMPARE(files.Summary()->text(), QStringLiteral("1 present, 1 differ, 1 missing"));

        // From the context menu too, and never for several packages at once.
        OfferFiles("More", {{"c.pbo", "c"}});
        dialog->FillServerView();
        SelectRows(*dialog, {0, 1});
        QVERIFY(!dialog->Action(ID_OFFERED_SHOW_FILES)->isEnabled());
    }

    void anActivationRefusedIsShownWithItsPath() {
        auto a = test::NodeAt(*db, "AddOns\\a.pbo");
        QCOMPARE(db->DeactivateFile(*a), platform::FsResult::Ok);
        // A file the database does not know takes the active name.
        game->Write("AddOns/A.PBO", "other");
        auto dialog = Open(2);
        SelectRows(*dialog, {FileRowOf(*dialog, "a.pbo", "Islands")});
        questions->QueueAnswer(true); // the box's OK
        dialog->Action(ID_FILE_ACTIVATE)->trigger();
        QCOMPARE(a->status, uint16_t(NS_INACTIVE));
        QCOMPARE(questions->Asked().size(), 1);
        const QString told = questions->Asked().front();
        QVERIFY2(
            told.contains(QString::fromStdString(game->Path()) + QStringLiteral("AddOns/a.pbo")),
            qPrintable(told));
        QVERIFY2(told.contains(QStringLiteral("another file of that name is in the way")),
                 qPrintable(told));
    }

    void anUninstallThatCannotDeleteNamesThePaths() {
        game->Write("AddOns/locked/x.pbo", "x");
        QVERIFY(db->Scan());
        CPackageCommands commands(*db);
        Handle<CPackage> locked;
        QVERIFY(commands.CreatePackage("Locked", "", &locked).IsDone());
        QVERIFY(commands.Bind(locked, {test::NodeAt(*db, "AddOns\\locked\\x.pbo")}).IsDone());
        game->Lock("AddOns/locked");
        auto dialog = Open(1);
        SelectRows(*dialog, {PackageRowOf(*dialog, "Locked")});
        questions->QueueAnswer(true);
        questions->QueueAnswer(true);
        questions->QueueAnswer(true); // the box's OK
        {
            test::ScopedUnprivileged unprivileged;
            QVERIFY(unprivileged.Active());
            dialog->Action(ID_PACKAGE_UNINSTALL)->trigger();
        }
        QCOMPARE(questions->Asked().size(), 3);
        QCOMPARE(questions->Asked().back(),
                 QStringLiteral("Not everything could be done:\nLocked: could not delete\n    ") +
                     QString::fromStdString(game->Path()) + QStringLiteral("AddOns/locked/x.pbo"));
        QVERIFY(PackageRowOf(*dialog, "Locked") >= 0);
    }

    void showFilesAndOpenFolder() {
        auto dialog = Open(1);
        SelectRows(*dialog, {PackageRowOf(*dialog, "Islands")});
        dialog->Action(ID_PACKAGE_SHOW_FILES)->trigger();
        QCOMPARE(dialog->CurrentView(), 2);
        QCOMPARE(dialog->Tabs()->currentIndex(), 2);
        QCOMPARE(dialog->Filter()->currentText(), QStringLiteral("Islands"));
        QCOMPARE(dialog->List()->model()->rowCount(), 1);

        QString opened;
        dialog->openFolder = [&](const QString& path) { opened = path; };
        SelectRows(*dialog, {0});
        dialog->Action(ID_FILE_OPEN_FOLDER)->trigger();
        QVERIFY(opened.endsWith(QStringLiteral("AddOns/")));
        QVERIFY(opened.startsWith(QString::fromStdString(game->Path())));
    }
};

QUILLORY_WATCH_TEST(GantryManagerTest);

#include "GantryManagerTest.moc"
