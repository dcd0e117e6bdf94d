#include "watch/PathSetupDialog.h"

#include "ui/ControlIds.h"
#include "watch/ConfigDialog.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quillory::ui {

namespace {

constexpr const char* INTRO =
    "The registry information does not reflect your IVL/U installation. Please specify the "
    "correct path or let Quillory perform an auto search.";

// File names are the system's bytes, whatever they decode to.
QString Text(const String& path) {
    return QFile::decodeName(QByteArray(path.data(), qsizetype(path.size())));
}

CPathSetupDialog::Disks ThisMachinesDisks() {
    return {CGameSearch::FixedDiskRoots(), CGameSearch::MountPoints()};
}

} // namespace

CPathSetupDialog::CPathSetupDialog(QWidget* parent, ChooseFile choose, ListDisks disks)
    : CToolTipDialog(parent),
      choose_(choose ? std::move(choose) : ChooseFile(&CConfigDialog::ChooseExecutable)),
      disks_(disks ? std::move(disks) : ListDisks(&ThisMachinesDisks)),
      folder_(new QLineEdit(this)), browse_(new QPushButton(QStringLiteral("Browse"), this)),
      searchButton_(new QPushButton(QStringLiteral("Search"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)), timer_(new QTimer(this)) {
    setWindowTitle(QString::fromLatin1(CAPTION));

    auto* intro = new QLabel(QString::fromLatin1(INTRO), this);
    intro->setWordWrap(true);
    auto* label = new QLabel(QStringLiteral("IVL/U executable"), this);
    folder_->setReadOnly(true);
    folder_->setMinimumWidth(360);
    SetControlId(folder_, IDC_PATH_FOLDER, QStringLiteral("folderEdit"));
    SetControlId(browse_, IDC_PATH_BROWSE, QStringLiteral("browseButton"));
    SetControlId(searchButton_, IDC_PATH_SEARCH, QStringLiteral("searchButton"));
    SetControlId(cancel_, IDC_CANCEL, QStringLiteral("cancelButton"));
    SetControlId(ok_, IDC_OK, QStringLiteral("okButton"));
    ok_->setEnabled(false); // until a folder was chosen or a search ended
    ok_->setAutoDefault(false);
    browse_->setAutoDefault(false);
    searchButton_->setAutoDefault(false);
    cancel_->setAutoDefault(false);

    connect(browse_, &QPushButton::clicked, this, &CPathSetupDialog::Browse);
    connect(searchButton_, &QPushButton::clicked, this, &CPathSetupDialog::SearchOrStop);
    connect(cancel_, &QPushButton::clicked, this, &CPathSetupDialog::reject);
    connect(ok_, &QPushButton::clicked, this, &CPathSetupDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(folder_, 1);
    row->addWidget(browse_);
    row->addWidget(searchButton_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addSpacing(6);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    InitToolTips();

    connect(timer_, &QTimer::timeout, this, &CPathSetupDialog::Refresh);
    timer_->start(REFRESH_MS);
}

CPathSetupDialog::~CPathSetupDialog() {
    timer_->stop();
    // The search's own destructor stops the thread and waits for it.
}

void CPathSetupDialog::Browse() {
    const QString chosen = choose_(this);
    if (chosen.isEmpty())
        return;
    found_ = QFile::encodeName(CConfigDialog::FolderOfExecutable(chosen, QString())).toStdString();
    folder_->setText(Text(found_));
    // The choice can now only be confirmed.
    ok_->setEnabled(true);
    cancel_->setEnabled(false);
}

void CPathSetupDialog::SearchOrStop() {
    if (search_.Searching() || searchStarted_) {
        search_.Stop();
        return;
    }
    const Disks disks = disks_();
    found_.clear();
    if (!search_.Start(disks.roots, disks.mountPoints))
        return;
    searchStarted_ = true;
    browse_->setEnabled(false);
    cancel_->setEnabled(false);
    ok_->setEnabled(false);
    searchButton_->setText(QStringLiteral("Stop"));
}

void CPathSetupDialog::Refresh() {
    if (search_.Searching()) {
        folder_->setText(Text(search_.CurrentFolder()));
        return;
    }
    if (!searchStarted_ || !search_.Finish())
        return;
    // The search has just ended and its thread is gone.
    searchStarted_ = false;
    found_ = search_.FoundFolder();
    if (!found_.empty()) {
        folder_->setText(Text(found_));
        cancel_->setEnabled(false);
    } else {
        folder_->clear();
        cancel_->setEnabled(true);
    }
    browse_->setEnabled(true);
    ok_->setEnabled(true);
    searchButton_->setText(QStringLiteral("Search"));
}

void CPathSetupDialog::reject() {
    if (searchStarted_ || !cancel_->isEnabled())
        return;
    timer_->stop();
    CToolTipDialog::reject();
}

} // namespace quillory::ui
