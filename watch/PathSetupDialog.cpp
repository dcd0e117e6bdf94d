#include "watch/PathSetupDialog.h"

#include "ui/ControlIds.h"
#include "watch/ConfigDialog.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quillory::ui {

namespace {

constexpr const char* INTRO =
    "Quillory could not find your game folder in Wine's settings. Choose the folder that holds "
    "IRONVALE.EXE or IRONVALEUPRISING.EXE: browse for the executable, or let Quillory search "
    "your Wine prefixes and local disks and pick one of the folders it finds.";
constexpr const char* FOLDER_LABEL = "Ironvale or Ironvale Uprising game folder";
constexpr const char* NOTHING_FOUND = "No game folder was found.";
constexpr const char* SEARCHING = "Searching %1";

// File names are the system's bytes, whatever they decode to.
QString Text(const String& path) {
    return QFile::decodeName(QByteArray(path.data(), qsizetype(path.size())));
}

String Bytes(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

// Each choice keeps the folder's own bytes, which its shown text may not give back.
QByteArray FolderData(const String& folder) {
    return QByteArray(folder.data(), qsizetype(folder.size()));
}

} // namespace

CPathSetupDialog::CPathSetupDialog(QWidget* parent, ChooseFile choose, ListPlaces places)
    : CToolTipDialog(parent),
      choose_(choose ? std::move(choose) : ChooseFile(&CConfigDialog::ChooseExecutable)),
      places_(places ? std::move(places) : ListPlaces(&CGameSearch::ThisMachine)),
      choices_(new QListWidget(this)), status_(new QLabel(this)),
      browse_(new QPushButton(QStringLiteral("Browse"), this)),
      searchButton_(new QPushButton(QStringLiteral("Search"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)), timer_(new QTimer(this)) {
    setWindowTitle(QString::fromLatin1(CAPTION));
    BuildLayout();
    ConnectWidgets();
    InitToolTips();
    timer_->start(REFRESH_MS);
}

CPathSetupDialog::~CPathSetupDialog() {
    timer_->stop();
    // The search's own destructor stops the thread and waits for it.
}

void CPathSetupDialog::BuildLayout() {
    auto* intro = new QLabel(QString::fromLatin1(INTRO), this);
    intro->setWordWrap(true);
    intro->setObjectName(QStringLiteral("introText"));
    auto* label = new QLabel(QString::fromLatin1(FOLDER_LABEL), this);
    label->setBuddy(choices_);
    SetControlId(choices_, IDC_PATH_FOLDER, QStringLiteral("folderList"));
    choices_->setSelectionMode(QAbstractItemView::SingleSelection);
    choices_->setMinimumSize(560, 110);
    // A long path shows its start and its game folder; the tooltip holds it whole.
    choices_->setTextElideMode(Qt::ElideMiddle);
    choices_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    status_->setObjectName(QStringLiteral("searchStatus"));
    // Long paths must not widen the window while the search runs.
    status_->setMinimumWidth(1);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    SetControlId(browse_, IDC_PATH_BROWSE, QStringLiteral("browseButton"));
    SetControlId(searchButton_, IDC_PATH_SEARCH, QStringLiteral("searchButton"));
    SetControlId(cancel_, IDC_CANCEL, QStringLiteral("cancelButton"));
    SetControlId(ok_, IDC_OK, QStringLiteral("okButton"));
    ok_->setEnabled(false); // until a folder is chosen
    for (QPushButton* button : {ok_, browse_, searchButton_, cancel_})
        button->setAutoDefault(false);

    auto* side = new QVBoxLayout;
    side->addWidget(browse_);
    side->addWidget(searchButton_);
    side->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(choices_, 1);
    row->addLayout(side);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addSpacing(6);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addWidget(status_);
    layout->addSpacing(6);
    layout->addLayout(buttons);
}

void CPathSetupDialog::ConnectWidgets() {
    connect(browse_, &QPushButton::clicked, this, &CPathSetupDialog::Browse);
    connect(searchButton_, &QPushButton::clicked, this, &CPathSetupDialog::SearchOrStop);
    connect(cancel_, &QPushButton::clicked, this, &CPathSetupDialog::reject);
    connect(ok_, &QPushButton::clicked, this, &CPathSetupDialog::accept);
    connect(choices_, &QListWidget::itemSelectionChanged, this, &CPathSetupDialog::ChoiceChanged);
    connect(choices_, &QListWidget::itemActivated, this, &CPathSetupDialog::accept);
    connect(timer_, &QTimer::timeout, this, &CPathSetupDialog::Refresh);
}

void CPathSetupDialog::Browse() {
    const QString chosen = choose_(this);
    if (chosen.isEmpty())
        return;
    const String folder = Bytes(CConfigDialog::FolderOfExecutable(chosen, QString()));
    AddChoice(folder);
    choices_->setCurrentRow(RowOf(folder));
}

int CPathSetupDialog::RowOf(const String& folder) const {
    const QByteArray data = FolderData(folder);
    for (int row = 0; row < choices_->count(); ++row)
        if (choices_->item(row)->data(Qt::UserRole).toByteArray() == data)
            return row;
    return -1;
}

void CPathSetupDialog::AddChoice(const String& folder) {
    if (RowOf(folder) >= 0)
        return;
    auto* item = new QListWidgetItem(Text(folder), choices_);
    item->setData(Qt::UserRole, FolderData(folder));
    item->setToolTip(item->text());
}

void CPathSetupDialog::SearchOrStop() {
    if (search_.Searching() || searchStarted_) {
        search_.Stop();
        return;
    }
    if (!search_.Start(places_()))
        return;
    searchStarted_ = true;
    browse_->setEnabled(false);
    searchButton_->setText(QStringLiteral("Stop"));
}

void CPathSetupDialog::Refresh() {
    // Folders show as soon as they are found; the player may choose one before the end.
    for (const String& folder : search_.FoundFolders())
        AddChoice(folder);
    if (search_.Searching()) {
        // A deep path keeps its start and its end in view.
        const QString text = QString::fromLatin1(SEARCHING).arg(Text(search_.CurrentFolder()));
        status_->setText(
            status_->fontMetrics().elidedText(text, Qt::ElideMiddle, status_->width()));
        return;
    }
    if (!searchStarted_ || !search_.Finish())
        return;
    // The search has just ended and its thread is gone.
    ShowSearchEnded();
}

void CPathSetupDialog::ShowSearchEnded() {
    searchStarted_ = false;
    const bool none = search_.FoundFolders().empty();
    status_->setText(none ? QString::fromLatin1(NOTHING_FOUND) : QString());
    if (!none && choices_->selectedItems().isEmpty())
        choices_->setCurrentRow(0);
    browse_->setEnabled(true);
    searchButton_->setText(QStringLiteral("Search"));
}

void CPathSetupDialog::ChoiceChanged() {
    ok_->setEnabled(!choices_->selectedItems().isEmpty());
}

void CPathSetupDialog::EndSearch() {
    timer_->stop();
    search_.StopAndWait();
    searchStarted_ = false;
}

void CPathSetupDialog::accept() {
    const QList<QListWidgetItem*> selected = choices_->selectedItems();
    if (selected.isEmpty())
        return;
    EndSearch();
    const QByteArray folder = selected.constFirst()->data(Qt::UserRole).toByteArray();
    found_.assign(folder.constData(), size_t(folder.size()));
    CToolTipDialog::accept();
}

void CPathSetupDialog::reject() {
    EndSearch();
    CToolTipDialog::reject();
}

} // namespace quillory::ui
