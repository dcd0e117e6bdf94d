#include "gantry/ui/GantryManagerDlg.h"

#include "common/AsciiCase.h"
#include "common/TextCodec.h"
#include "common/Tokenizer.h"
#include "gantry/db/CommandReport.h"
#include "gantry/ui/GantryClientDlg.h"
#include "gantry/ui/GantryControlIds.h"
#include "gantry/ui/GantryQuestions.h"
#include "gantry/ui/OfferedFilesDlg.h"
#include "gantry/ui/PackageDlg.h"
#include "gantry/ui/VerifyResultDlg.h"
#include "platform/FileSystem.h"
#include "ui/ElidedTipDelegate.h"
#include "ui/TextConversion.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_set>

namespace quillory::ui {

namespace {

constexpr int kToolIds[CGantryManagerDlg::TOOL_COUNT] = {IDC_TOOL_1, IDC_TOOL_2, IDC_TOOL_3,
                                                         IDC_TOOL_4, IDC_TOOL_5, IDC_TOOL_6};

struct ToolSet {
    const char* captions[CGantryManagerDlg::TOOL_COUNT];
    int commands[CGantryManagerDlg::TOOL_COUNT]; // 0: no command
    const char* tips[CGantryManagerDlg::TOOL_COUNT];
};

const ToolSet kTools[3] = {
    {{"Flag", "De-flag", "Show files", nullptr, nullptr, nullptr},
     {ID_OFFERED_FLAG, ID_OFFERED_DEFLAG, ID_OFFERED_SHOW_FILES, 0, 0, 0},
     {"Flag the selected packages for download and install",
      "De-flag the selected packages from download and install",
      "Show files to be installed from the selected package", nullptr, nullptr, nullptr}},
    {{"Activate", "Deactivate", "Edit", "Show files", "Dissolve", "Uninstall"},
     {ID_PACKAGE_ACTIVATE, ID_PACKAGE_DEACTIVATE, ID_PACKAGE_EDIT, ID_PACKAGE_SHOW_FILES,
      ID_PACKAGE_DISSOLVE, ID_PACKAGE_UNINSTALL},
     {"Activate all files in the selected packages allowing them being loaded by IVL",
      "De-activate all files in the selected packages preventing them from being loaded by IVL",
      "Edit name of the selected package", "Show files included in the selected package",
      "Remove the package definition and bind any unreferenced files to a default package",
      "Uninstall selected package and remove any unreferenced files and folders"}},
    {{"Activate", "Deactivate", "Select child", "Open folder", "Bind to", "Unbind"},
     {ID_FILE_ACTIVATE, ID_FILE_DEACTIVATE, ID_FILE_SELECT_CHILDREN, ID_FILE_OPEN_FOLDER, -1,
      ID_FILE_UNBIND},
     {"Activate selected files allowing them being loaded by IVL",
      "De-activate selected files preventing them from being loaded by IVL",
      "Select all listed children of the selected folder", "Open this location in the file manager",
      "Reference (bind) selected files to a package",
      "De-reference (unbind) selected files from the current package"}},
};

// A verify shorter than this shows no progress window at all.
constexpr int kVerifyProgressDelayMs = 500;
// The widest a column grows to show its texts.
constexpr int kWidestColumn = 360;
constexpr auto kVerifyPollPeriod = std::chrono::milliseconds(100);

const char* const kTitles[3] = {"Gantry Server", "Installed packages", "Advanced file view"};
const char* const kServerLabels[4] = {"Name:", "Info:", "Admin:", "Teamspeak:"};

QString FromBytes(const String& text) {
    return QString::fromUtf8(text);
}

// The "-mod=" value of a server entry's startup parameters: the rest of the first word that
// starts with it, in any letter case.
QString CustomModValueOf(const String& parameters) {
    for (const std::string& word : TokenizeCommandLine(parameters))
        if (StartsWithNoCase(word, "-mod="))
            return FromNetwork(word.substr(5));
    return QString();
}

// A field too narrow for its text shows the text's beginning, not its end.
void SetFromStart(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    edit->setCursorPosition(0);
}

QLineEdit* ReadOnlyEdit(QWidget* parent, int id, const QString& name) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setProperty("controlId", id);
    edit->setObjectName(name);
    return edit;
}

} // namespace

CGantryManagerDlg::CGantryManagerDlg(CFileDatabase& db, std::optional<ManagerModSettings> mods,
                                     CGantryQuestions& questions, QWidget* parent)
    : CToolTipDialog(parent), db_(db), mods_(std::move(mods)), questions_(questions), commands_(db),
      model_(new CGantryViewModel(this)) {
    setWindowTitle(QStringLiteral("Gantry Manager"));
    CreateActions();
    BuildControls();
    runDownload = [this](CFileDatabase& database) {
        CGantryClientDlg client(database, database.DatabaseFolder(), &questions_, this);
        client.exec();
    };
    showVerifyReport = [this](const VerifyReport& report) { ShowVerifyReport(report); };
    openFolder = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    showOfferedFiles = [this](const QString& package, const std::vector<DescribedFileRow>& rows) {
        COfferedFilesDlg files(package, rows, this);
        files.exec();
    };
    timer_.setInterval(TIMER_PERIOD_MS);
    connect(&timer_, &QTimer::timeout, this, &CGantryManagerDlg::Tick);
}

CGantryManagerDlg::~CGantryManagerDlg() {
    timer_.stop();
}

QAction* CGantryManagerDlg::AddAction(int id, const char* text,
                                      void (CGantryManagerDlg::*command)()) {
    auto* action = new QAction(QString::fromLatin1(text), this);
    action->setData(id);
    action->setProperty(CONTROL_ID_PROPERTY, id);
    if (command != nullptr)
        connect(action, &QAction::triggered, this, [this, command] {
            // A worker that owns the database is writing it: no command meanwhile.
            if (!db_.Busy())
                (this->*command)();
        });
    actions_[id] = action;
    return action;
}

void CGantryManagerDlg::CreateActions() {
    AddAction(ID_FILE_ACTIVATE, "Activate", &CGantryManagerDlg::ActivateFiles);
    AddAction(ID_FILE_DEACTIVATE, "Deactivate", &CGantryManagerDlg::DeactivateFiles);
    AddAction(ID_FILE_SELECT_CHILDREN, "Select all children", &CGantryManagerDlg::SelectChildren);
    AddAction(ID_FILE_OPEN_FOLDER, "Open folder", &CGantryManagerDlg::OpenFolder);
    AddAction(ID_FILE_BIND_NEW, "<new package>", &CGantryManagerDlg::BindToNewPackage);
    AddAction(ID_FILE_UNBIND, "Unbind", &CGantryManagerDlg::UnbindFiles);
    AddAction(ID_PACKAGE_ACTIVATE, "Activate", &CGantryManagerDlg::ActivatePackages);
    AddAction(ID_PACKAGE_DEACTIVATE, "Deactivate", &CGantryManagerDlg::DeactivatePackages);
    AddAction(ID_PACKAGE_EDIT, "Edit", &CGantryManagerDlg::EditPackage);
    AddAction(ID_PACKAGE_SHOW_FILES, "Show files", &CGantryManagerDlg::ShowPackageFiles);
    AddAction(ID_PACKAGE_DISSOLVE, "Dissolve", &CGantryManagerDlg::DissolvePackages);
    AddAction(ID_PACKAGE_UNINSTALL, "Uninstall", &CGantryManagerDlg::UninstallPackages);
    AddAction(ID_OFFERED_FLAG, "Flag for download", &CGantryManagerDlg::FlagOffered);
    AddAction(ID_OFFERED_DEFLAG, "De-flag from download", &CGantryManagerDlg::DeflagOffered);
    AddAction(ID_OFFERED_SHOW_FILES, "Show files", &CGantryManagerDlg::ShowOfferedFiles);
    AddAction(ID_VERIFY_FILES, "Verify files", &CGantryManagerDlg::VerifyFiles);
}

QAction* CGantryManagerDlg::Action(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

void CGantryManagerDlg::UpdateActions() {
    const bool several = SelectedRows().size() > 1;
    for (const int id : {ID_FILE_SELECT_CHILDREN, ID_FILE_OPEN_FOLDER, ID_PACKAGE_EDIT,
                         ID_PACKAGE_SHOW_FILES, ID_OFFERED_SHOW_FILES})
        Action(id)->setEnabled(!several);
    // The tool buttons show what their command allows.
    const ToolSet& tools = kTools[CurrentView()];
    for (size_t i = 0; i < TOOL_COUNT; ++i) {
        const QAction* action = Action(tools.commands[i]);
        tools_[i]->setEnabled(action == nullptr || action->isEnabled());
    }
}

void CGantryManagerDlg::BuildControls() {
    tabs_ = new QTabBar(this);
    SetControlId(tabs_, IDC_GANTRY_TABS, QStringLiteral("views"));
    tabs_->addTab(QStringLiteral("Gantry Server"));
    tabs_->addTab(QStringLiteral("Packages"));
    tabs_->addTab(QStringLiteral("Advanced"));
    CGantryIcons icons;
    tabs_->setTabIcon(0, icons.Icon(7));
    tabs_->setTabIcon(1, icons.Icon(0));
    tabs_->setTabIcon(2, icons.Icon(6));

    title_ = new QLabel(this);
    SetControlId(title_, IDC_GANTRY_TITLE, QStringLiteral("title"));
    title_->setFont(QFont(QStringLiteral("Arial Black"), 15));

    list_ = new QTableView(this);
    SetControlId(list_, IDC_GANTRY_LIST, QStringLiteral("list"));
    list_->setModel(model_);
    CElidedTipDelegate::Install(list_);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CGantryManagerDlg::UpdateActions);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setIconSize(QSize(16, 16));
    list_->verticalHeader()->hide();
    // Rows of one height: the view never measures 100,000 rows one by one.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->horizontalHeader()->setSectionsClickable(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setMinimumWidth(602);
    // One least height for every view: the views without the server panel give the list the
    // panel's room, as the window keeps its size.
    list_->setMinimumHeight(200);
    list_->installEventFilter(this);
    connect(list_, &QWidget::customContextMenuRequested, this, &CGantryManagerDlg::ShowContextMenu);
    connect(list_, &QAbstractItemView::doubleClicked, this, &CGantryManagerDlg::DoubleClicked);
    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { model_->SortBy(column); });

    serverPanel_ = new QWidget(this);
    auto* panel = new QGridLayout(serverPanel_);
    panel->setContentsMargins(0, 0, 0, 0);
    automatic_ = new QRadioButton(QStringLiteral("Automatic mod settings"), serverPanel_);
    SetControlId(automatic_, IDC_AUTOMATIC_MODS, QStringLiteral("automaticMods"));
    custom_ = new QRadioButton(QStringLiteral("Custom mod settings"), serverPanel_);
    SetControlId(custom_, IDC_CUSTOM_MODS, QStringLiteral("customMods"));
    suggestion_ = ReadOnlyEdit(serverPanel_, IDC_MOD_SUGGESTION, QStringLiteral("modSuggestion"));
    SetControlId(suggestion_, IDC_MOD_SUGGESTION, QStringLiteral("modSuggestion"));
    customValue_ = ReadOnlyEdit(serverPanel_, IDC_MOD_CUSTOM_VALUE, QStringLiteral("customMod"));
    SetControlId(customValue_, IDC_MOD_CUSTOM_VALUE, QStringLiteral("customMod"));
    panel->addWidget(automatic_, 0, 0);
    panel->addWidget(suggestion_, 1, 0);
    panel->addWidget(custom_, 2, 0);
    panel->addWidget(customValue_, 3, 0);
    for (int i = 0; i < 4; ++i) {
        serverLabels_[size_t(i)] = new QLabel(QString::fromLatin1(kServerLabels[i]), serverPanel_);
        SetControlId(serverLabels_[size_t(i)], IDC_SERVER_NAME_LABEL + i,
                     QStringLiteral("serverLabel%1").arg(i));
        serverTexts_[size_t(i)] =
            ReadOnlyEdit(serverPanel_, IDC_SERVER_NAME + i, QStringLiteral("serverText%1").arg(i));
        SetControlId(serverTexts_[size_t(i)], IDC_SERVER_NAME + i,
                     QStringLiteral("serverText%1").arg(i));
        panel->addWidget(serverLabels_[size_t(i)], i, 1);
        panel->addWidget(serverTexts_[size_t(i)], i, 2);
    }
    sizeText_ = new QLabel(serverPanel_);
    SetControlId(sizeText_, IDC_DOWNLOAD_SIZE, QStringLiteral("downloadSize"));
    sizeText_->setFont(QFont(QStringLiteral("Arial"), 15));
    download_ = new QPushButton(QStringLiteral("Download && Install"), serverPanel_);
    SetControlId(download_, IDC_DOWNLOAD_INSTALL, QStringLiteral("downloadInstall"));
    download_->setMinimumWidth(150);
    connect(download_, &QPushButton::clicked, this, &CGantryManagerDlg::DownloadAndInstall);
    panel->addWidget(sizeText_, 4, 0, 1, 2);
    panel->addWidget(download_, 4, 2, Qt::AlignRight);
    panel->setColumnStretch(0, 1);
    panel->setColumnStretch(2, 1);

    auto* toolRow = new QHBoxLayout;
    for (int i = 0; i < TOOL_COUNT; ++i) {
        auto* button = new QPushButton(this);
        SetControlId(button, kToolIds[i], QStringLiteral("tool%1").arg(i + 1));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, i] { PressTool(i); });
        tools_[size_t(i)] = button;
        toolRow->addWidget(button);
    }
    filter_ = new QComboBox(this);
    SetControlId(filter_, IDC_PACKAGE_FILTER, QStringLiteral("packageFilter"));
    filter_->setMinimumWidth(160);
    connect(filter_, &QComboBox::activated, this, [this](int index) {
        const auto* package = static_cast<const CPackage*>(filter_->itemData(index).value<void*>());
        FillFileView(package);
    });
    verify_ = new QPushButton(QStringLiteral("Verify files"), this);
    verify_->setObjectName(QStringLiteral("verifyFiles"));
    verify_->setAutoDefault(false);
    verify_->setToolTip(
        QStringLiteral("Re-read the files of the packages and compare them with the database"));
    connect(verify_, &QPushButton::clicked, Action(ID_VERIFY_FILES), &QAction::trigger);
    toolRow->addWidget(verify_);
    toolRow->addStretch();
    toolRow->addWidget(filter_);

    close_ = new QPushButton(QStringLiteral("Close"), this);
    SetControlId(close_, IDC_GANTRY_CLOSE, QStringLiteral("close"));
    close_->setAutoDefault(false);
    connect(close_, &QPushButton::clicked, this, &CGantryManagerDlg::CloseStoring);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(title_);
    layout->addWidget(list_, 1);
    layout->addWidget(serverPanel_);
    layout->addLayout(toolRow);
    layout->addLayout(closeRow);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int tab) {
        if (opened_)
            SetUpView(tab);
    });
    InitToolTips();
}

void CGantryManagerDlg::showEvent(QShowEvent* event) {
    CToolTipDialog::showEvent(event);
    if (opened_)
        return;
    anyFlagged_ = false;
    FitAllViews();
    tabs_->setCurrentIndex(std::clamp(startTab_, 0, 2));
    opened_ = true;
    SetUpView(tabs_->currentIndex());
    if (!mods_) {
        automatic_->setChecked(true);
    } else {
        SetFromStart(customValue_, CustomModValueOf(mods_->startupParameters));
        (mods_->automaticMods ? automatic_ : custom_)->setChecked(true);
    }
    timer_.start();
    Tick();
}

void CGantryManagerDlg::FitAllViews() {
    QSize most = size();
    for (int view = CGantryViewModel::VIEW_SERVER; view <= CGantryViewModel::VIEW_FILES; ++view) {
        ShowControlsOf(view);
        layout()->activate();
        most = most.expandedTo(sizeHint());
    }
    resize(most);
}

void CGantryManagerDlg::SetUpView(int view, const CPackage* filter) {
    ShowControlsOf(view);
    if (view == CGantryViewModel::VIEW_SERVER) {
        for (size_t i = 0; i < 4; ++i)
            SetFromStart(serverTexts_[i], FromNetwork(db_.ServerText(i)));
        FillServerView();
    } else if (view == CGantryViewModel::VIEW_PACKAGES) {
        FillPackageView();
    } else {
        FillFileView(filter);
    }
    ApplyColumnWidths();
    UpdateActions();
}

void CGantryManagerDlg::ShowControlsOf(int view) {
    title_->setText(QString::fromLatin1(kTitles[view]));
    serverPanel_->setVisible(view == CGantryViewModel::VIEW_SERVER);
    const ToolSet& tools = kTools[view];
    for (size_t i = 0; i < TOOL_COUNT; ++i) {
        tools_[i]->setVisible(tools.captions[i] != nullptr);
        if (tools.captions[i])
            tools_[i]->setText(QString::fromLatin1(tools.captions[i]));
    }
    filter_->setVisible(view == CGantryViewModel::VIEW_FILES);
    verify_->setVisible(view != CGantryViewModel::VIEW_SERVER);
}

void CGantryManagerDlg::ApplyColumnWidths() {
    // Each column gets at least its own width and grows to its heading and the texts shown
    // (long file and package names, "Files/Folders", "Shared"), up to a limit that keeps the
    // other columns in sight; a text still cut shows whole in its tooltip. The hint reads only
    // the rows in view, so long lists cost nothing.
    const QAbstractItemView* view = list_; // the hint is public there
    const QHeaderView* header = list_->horizontalHeader();
    for (int column = 0; column < model_->columnCount(); ++column) {
        const int least = model_->ColumnWidth(column);
        const int wanted =
            std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
        list_->setColumnWidth(column, std::clamp(wanted, least, std::max(least, kWidestColumn)));
    }
}

CGantryManagerDlg::KeptSelection CGantryManagerDlg::KeepSelection() const {
    KeptSelection kept;
    kept.view = model_->CurrentView();
    kept.keys = model_->KeysOf(SelectedRows());
    kept.current = model_->KeysOf({list_->currentIndex().row()});
    return kept;
}

void CGantryManagerDlg::RestoreSelection(const KeptSelection& kept) {
    if (kept.view != model_->CurrentView() || kept.keys.empty())
        return;
    // One range per run of neighbouring rows: a range per row makes the selection model
    // compare and remap hundreds of thousands of ranges when many rows were selected.
    QItemSelection selection;
    const std::vector<int> rows = model_->RowsOf(kept.keys);
    for (size_t first = 0; first < rows.size();) {
        size_t last = first;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1)
            ++last;
        selection.select(model_->index(rows[first], 0),
                         model_->index(rows[last], model_->columnCount() - 1));
        first = last + 1;
    }
    QItemSelectionModel* selectionModel = list_->selectionModel();
    const std::vector<int> current = model_->RowsOf(kept.current);
    if (!current.empty()) {
        const QModelIndex index = model_->index(current.front(), 0);
        selectionModel->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        list_->scrollTo(index);
    }
    selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
}

const CPackage* CGantryManagerDlg::CurrentFilter() const {
    return static_cast<const CPackage*>(filter_->currentData().value<void*>());
}

void CGantryManagerDlg::FillServerView() {
    if (db_.Busy())
        return;
    OfferedView view = FillOfferedView(db_);
    anyFlagged_ = view.anyFlagged;
    const KeptSelection kept = KeepSelection();
    model_->ShowOffered(std::move(view.rows));
    RestoreSelection(kept);
    SetFromStart(suggestion_, FromBytes(db_.ModSuggestion()));
    sizeText_->setText(FromBytes(MegabyteText(view.bytesToDownload)) +
                       QStringLiteral(" to download"));
    seenChanges_ = db_.ChangeCount();
}

void CGantryManagerDlg::FillPackageView() {
    if (db_.Busy())
        return;
    const KeptSelection kept = KeepSelection();
    model_->ShowPackages(FillPackageRows(db_));
    RestoreSelection(kept);
    seenChanges_ = db_.ChangeCount();
}

void CGantryManagerDlg::FillFileView(const CPackage* filter) {
    if (db_.Busy())
        return;
    filter_->clear();
    filter_->addItem(QStringLiteral("<All Packages>"), QVariant::fromValue<void*>(nullptr));
    int selected = 0;
    for (const auto& package : db_.Packages()) {
        filter_->addItem(FromNetwork(package->name),
                         QVariant::fromValue<void*>(static_cast<void*>(package.get())));
        if (package.get() == filter)
            selected = filter_->count() - 1;
    }
    filter_->setCurrentIndex(selected);
    const KeptSelection kept = KeepSelection();
    model_->ShowFiles(db_, selected == 0 ? nullptr : filter);
    RestoreSelection(kept);
    seenChanges_ = db_.ChangeCount();
}

void CGantryManagerDlg::Refill() {
    switch (CurrentView()) {
    case CGantryViewModel::VIEW_SERVER:
        FillServerView();
        break;
    case CGantryViewModel::VIEW_PACKAGES:
        FillPackageView();
        break;
    default:
        FillFileView(CurrentFilter());
        break;
    }
}

void CGantryManagerDlg::Tick() {
    // A worker that owns the database is writing it: the rows stay as they are until it is done.
    if (!db_.Busy() && db_.ChangeCount() != seenChanges_)
        Refill();
    if (!anyFlagged_) {
        download_->setText(QStringLiteral("Download && install"));
        download_->setEnabled(false);
    } else {
        download_->setEnabled(true);
        download_->setText(blinkCounter_ % 2 == 0 ? QStringLiteral("Addon packages")
                                                  : QStringLiteral("Download && install"));
    }
    ++blinkCounter_;
}

std::vector<int> CGantryManagerDlg::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

HandleArray<CFileNode> CGantryManagerDlg::SelectedNodes() const {
    HandleArray<CFileNode> nodes;
    if (CurrentView() == CGantryViewModel::VIEW_FILES)
        for (int row : SelectedRows())
            nodes.push_back(model_->FileAt(row).node);
    return nodes;
}

std::vector<ListedNode> CGantryManagerDlg::SelectedListed() const {
    std::vector<ListedNode> listed;
    if (CurrentView() == CGantryViewModel::VIEW_FILES)
        for (int row : SelectedRows()) {
            const FileRow& file = model_->FileAt(row);
            listed.push_back({file.node, file.package});
        }
    return listed;
}

HandleArray<CPackage> CGantryManagerDlg::SelectedPackages() const {
    HandleArray<CPackage> packages;
    if (CurrentView() == CGantryViewModel::VIEW_PACKAGES)
        for (int row : SelectedRows())
            packages.push_back(model_->PackageAt(row).package);
    return packages;
}

HandleArray<CPackage> CGantryManagerDlg::SelectedOffered() const {
    HandleArray<CPackage> packages;
    if (CurrentView() == CGantryViewModel::VIEW_SERVER)
        for (int row : SelectedRows())
            packages.push_back(model_->OfferedAt(row).package);
    return packages;
}

void CGantryManagerDlg::PressTool(int index) {
    list_->setFocus();
    const int command = kTools[CurrentView()].commands[index];
    if (QAction* action = Action(command)) {
        action->trigger();
    } else if (command < 0 && !SelectedRows().empty()) {
        // "Bind to" shows its list at the mouse.
        QMenu menu(this);
        FillBindMenu(&menu);
        menu.exec(QCursor::pos());
    }
}

void CGantryManagerDlg::TellFailure(const CommandResult& result, bool files) {
    // A refused or partly failed command says so where the player looks, naming the paths.
    const String text = CommandFailureText(result, db_.GamePath(), files);
    if (!text.empty())
        questions_.Tell(this, QString::fromUtf8(text));
}

void CGantryManagerDlg::ActivateFiles() {
    const CommandResult result = commands_.ActivateFiles(SelectedNodes());
    FillFileView(CurrentFilter());
    TellFailure(result, true);
}

void CGantryManagerDlg::DeactivateFiles() {
    const CommandResult result = commands_.DeactivateFiles(SelectedNodes());
    FillFileView(CurrentFilter());
    TellFailure(result, true);
}

void CGantryManagerDlg::UnbindFiles() {
    commands_.UnbindListed(SelectedListed());
    FillFileView(CurrentFilter());
}

void CGantryManagerDlg::ActivatePackages() {
    const CommandResult result = commands_.ActivatePackages(SelectedPackages());
    FillPackageView();
    TellFailure(result, false);
}

void CGantryManagerDlg::FlagOffered() {
    CPackageCommands::SetDownloadFlags(SelectedOffered(), true);
    FillServerView();
}

void CGantryManagerDlg::DeflagOffered() {
    CPackageCommands::SetDownloadFlags(SelectedOffered(), false);
    FillServerView();
}

void CGantryManagerDlg::ShowOfferedFiles() {
    const HandleArray<CPackage> selected = SelectedOffered();
    if (selected.empty())
        return;
    CPackage& package = *selected.front();
    showOfferedFiles(FromNetwork(package.name), DescribedFiles(db_, package));
}

void CGantryManagerDlg::DissolvePackages() {
    RemovePackages(false);
}

void CGantryManagerDlg::UninstallPackages() {
    RemovePackages(true);
}

QMenu* CGantryManagerDlg::BuildContextMenu() {
    if (SelectedRows().empty())
        return nullptr;
    UpdateActions();
    auto* menu = new QMenu(this);
    const auto add = [this, menu](std::initializer_list<int> ids) {
        for (const int id : ids)
            menu->addAction(Action(id));
    };
    switch (CurrentView()) {
    case CGantryViewModel::VIEW_FILES:
        add({ID_FILE_ACTIVATE, ID_FILE_DEACTIVATE});
        menu->addSeparator();
        add({ID_FILE_SELECT_CHILDREN, ID_FILE_OPEN_FOLDER});
        menu->addSeparator();
        FillBindMenu(menu->addMenu(QStringLiteral("Bind to")));
        add({ID_FILE_UNBIND});
        menu->addSeparator();
        add({ID_VERIFY_FILES});
        break;
    case CGantryViewModel::VIEW_PACKAGES:
        add({ID_PACKAGE_ACTIVATE, ID_PACKAGE_DEACTIVATE});
        menu->addSeparator();
        add({ID_PACKAGE_EDIT, ID_PACKAGE_SHOW_FILES});
        menu->addSeparator();
        add({ID_PACKAGE_DISSOLVE, ID_PACKAGE_UNINSTALL});
        menu->addSeparator();
        add({ID_VERIFY_FILES});
        break;
    default:
        add({ID_OFFERED_FLAG, ID_OFFERED_DEFLAG, ID_OFFERED_SHOW_FILES});
        break;
    }
    return menu;
}

void CGantryManagerDlg::FillBindMenu(QMenu* menu) {
    menu->addAction(Action(ID_FILE_BIND_NEW));
    menu->addSeparator();
    const std::vector<BindTarget> targets = commands_.BindTargets();
    for (size_t i = 0; i < targets.size(); ++i) {
        // One entry per package, made for this menu: the list changes with the packages.
        QAction* action = menu->addAction(FromNetwork(targets[i].package->name));
        action->setData(ID_FILE_BIND_FIRST + int(i));
        action->setEnabled(targets[i].enabled);
        connect(action, &QAction::triggered, this, [this, i] {
            if (!db_.Busy())
                BindTo(i);
        });
    }
}

void CGantryManagerDlg::ShowContextMenu(const QPoint& pos) {
    std::unique_ptr<QMenu> menu(BuildContextMenu());
    if (menu)
        menu->exec(list_->viewport()->mapToGlobal(pos));
}

void CGantryManagerDlg::VerifyFiles() {
    CPackageVerifier verifier(db_);
    HandleArray<CPackage> packages;
    if (CurrentView() == CGantryViewModel::VIEW_PACKAGES) {
        packages = SelectedPackages();
    } else if (CurrentView() == CGantryViewModel::VIEW_FILES) {
        const void* shown = filter_->currentData().value<void*>();
        for (const auto& package : db_.Packages())
            if (package.get() == shown)
                packages.push_back(package);
    }
    if (packages.empty()) {
        std::vector<String> unknown;
        packages = verifier.Select({}, unknown);
    }
    if (!verifier.Start(std::move(packages)))
        return;

    // The window stays responsive and shows the path in hand, as the scan wait does.
    QProgressDialog progress(QStringLiteral("Verifying files..."), QStringLiteral("Cancel"), 0, 0,
                             this);
    progress.setWindowTitle(QString::fromLatin1(CVerifyResultDlg::CAPTION));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kVerifyProgressDelayMs);
    progress.setMinimumWidth(420);
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (verifier.WaitFor(std::chrono::milliseconds(0)))
            loop.quit();
        else
            progress.setLabelText(ShownPath(verifier.ProgressText()));
    });
    connect(&progress, &QProgressDialog::canceled, &loop, [&] { verifier.Cancel(); });
    poll.start(kVerifyPollPeriod);
    if (!verifier.WaitFor(kVerifyPollPeriod))
        loop.exec();
    poll.stop();
    progress.reset();
    showVerifyReport(verifier.Report());
}

void CGantryManagerDlg::ShowVerifyReport(const VerifyReport& report) {
    if (report.AllMatch()) {
        questions_.Tell(this, FromBytes(report.SummaryText()));
        return;
    }
    CVerifyResultDlg result(report, this);
    result.exec();
}

void CGantryManagerDlg::DoubleClicked() {
    if (CurrentView() != CGantryViewModel::VIEW_SERVER)
        return;
    CPackageCommands::ToggleDownloadFlags(SelectedOffered());
    FillServerView();
}

void CGantryManagerDlg::SelectAllRows() {
    list_->selectAll();
}

void CGantryManagerDlg::InvertSelection() {
    const int rows = model_->rowCount();
    if (rows == 0)
        return;
    const QItemSelection all(model_->index(0, 0),
                             model_->index(rows - 1, model_->columnCount() - 1));
    list_->selectionModel()->select(all, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

bool CGantryManagerDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_A) {
            SelectAllRows();
            return true;
        }
        if (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_I) {
            InvertSelection();
            return true;
        }
    }
    return CToolTipDialog::eventFilter(watched, event);
}

QString CGantryManagerDlg::ToolTipCallback(int controlId) const {
    for (int i = 0; i < TOOL_COUNT; ++i)
        if (kToolIds[i] == controlId) {
            const char* tip = kTools[CurrentView()].tips[i];
            return tip ? QString::fromLatin1(tip) : QString();
        }
    return QString();
}

void CGantryManagerDlg::SelectChildren() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    std::vector<CFileNode*> below;
    model_->FileAt(rows.front()).node->CollectPointers(below);
    const std::unordered_set<const CFileNode*> children(below.begin(), below.end());
    QItemSelection add;
    for (int row = model_->rowCount(); row-- > 0;)
        if (children.count(model_->FileAt(row).node.get()))
            add.select(model_->index(row, 0), model_->index(row, model_->columnCount() - 1));
    list_->selectionModel()->select(add, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void CGantryManagerDlg::OpenFolder() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    const CFileNode& node = *model_->FileAt(rows.front()).node;
    openFolder(QString::fromStdString(platform::NativePath(CPackageCommands::FolderToOpen(node))));
}

void CGantryManagerDlg::BindTo(size_t index) {
    if (index >= db_.Packages().size())
        return;
    const CommandResult result = commands_.BindListed(db_.Packages()[index], SelectedListed());
    FillFileView(CurrentFilter());
    TellFailure(result, true);
}

void CGantryManagerDlg::BindToNewPackage() {
    const std::vector<ListedNode> rows = SelectedListed();
    CPackageDlg dialog(this);
    dialog.caption = QString::fromLatin1(CPackageDlg::CREATE_CAPTION);
    while (dialog.exec() == QDialog::Accepted) {
        Handle<CPackage> created;
        const CommandResult result =
            commands_.CreatePackage(ToNetwork(dialog.name), ToNetwork(dialog.homePage), &created);
        if (result.status == CommandStatus::Refused) {
            questions_.Tell(this, QString::fromUtf8(result.reason));
            continue;
        }
        const CommandResult bound = commands_.BindListed(created, rows);
        FillFileView(CurrentFilter());
        TellFailure(bound, true);
        return;
    }
}

void CGantryManagerDlg::DeactivatePackages() {
    CommandResult all;
    for (const auto& package : SelectedPackages()) {
        const std::vector<String> questions = commands_.DeactivateQuestions({package});
        // The question names the package.
        if (!questions.empty() && !questions_.Confirm(this, FromNetwork(questions.front())))
            continue;
        for (CommandItem& item : commands_.DeactivatePackages({package}, true).items)
            all.Add(std::move(item));
    }
    FillPackageView();
    TellFailure(all, false);
}

void CGantryManagerDlg::EditPackage() {
    const HandleArray<CPackage> selected = SelectedPackages();
    if (selected.empty() || commands_.IsPseudoPackage(*selected.front()))
        return;
    const Handle<CPackage> package = selected.front();
    CPackageDlg dialog(this);
    dialog.caption = QString::fromLatin1(CPackageDlg::EDIT_CAPTION);
    dialog.name = FromNetwork(package->name);
    dialog.homePage = FromNetwork(package->homePage);
    while (dialog.exec() == QDialog::Accepted) {
        const CommandResult result =
            commands_.EditPackage(package, ToNetwork(dialog.name), ToNetwork(dialog.homePage));
        if (result.status == CommandStatus::Refused) {
            questions_.Tell(this, QString::fromUtf8(result.reason));
            continue;
        }
        break;
    }
    FillPackageView();
}

void CGantryManagerDlg::ShowPackageFiles() {
    const HandleArray<CPackage> selected = SelectedPackages();
    if (selected.empty())
        return;
    const Handle<CPackage> package = selected.front();
    const QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(CGantryViewModel::VIEW_FILES);
    SetUpView(CGantryViewModel::VIEW_FILES, package.get());
}

void CGantryManagerDlg::RemovePackages(bool uninstall) {
    const HandleArray<CPackage> packages = commands_.WithoutPseudo(SelectedPackages());
    const CommandResult asked = uninstall ? commands_.UninstallPackages(packages, false)
                                          : commands_.DissolvePackages(packages, false);
    if (asked.status == CommandStatus::Refused) {
        TellFailure(asked, false);
        return;
    }
    for (const String& question : asked.questions)
        if (!questions_.Confirm(this, QString::fromUtf8(question)))
            return;
    const CommandResult result = uninstall ? commands_.UninstallPackages(packages, true)
                                           : commands_.DissolvePackages(packages, true);
    FillPackageView();
    TellFailure(result, false);
}

void CGantryManagerDlg::DownloadAndInstall() {
    if (db_.Busy())
        return;
    runDownload(db_);
    commands_.AfterDownload();
    FillServerView();
}

void CGantryManagerDlg::CloseStoring() {
    if (mods_)
        storedAutomaticMods_ = automatic_->isChecked();
    accept();
}

} // namespace quillory::ui
