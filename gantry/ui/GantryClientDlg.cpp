#include "gantry/ui/GantryClientDlg.h"

#include "gantry/ui/GantryControlIds.h"
#include "gantry/ui/GantryQuestions.h"
#include "ui/TextConversion.h"
#include "ui/WindowTitle.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>

namespace quillory::ui {

namespace {

QProgressBar* MakeBar(QWidget* parent, int id, const char* name) {
    auto* bar = new QProgressBar(parent);
    bar->setProperty("controlId", id);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setTextVisible(false);
    bar->setRange(0, 0);
    bar->setValue(0);
    bar->setMinimumWidth(260);
    return bar;
}

QLabel* MakeText(QWidget* parent, int id, const char* name) {
    auto* label = new QLabel(parent);
    label->setProperty("controlId", id);
    label->setObjectName(QString::fromLatin1(name));
    label->setMinimumWidth(200);
    return label;
}

void SetBar(QProgressBar* bar, uint64_t size, uint64_t done) {
    const int range = int(DownloadProgress::BarUnits(size));
    // A range of 0 would turn the bar into a busy indicator: an empty bar shows 0 of 1.
    bar->setRange(0, range > 0 ? range : 1);
    bar->setValue(std::min(int(DownloadProgress::BarUnits(done)), bar->maximum()));
}

} // namespace

CGantryClientDlg::CGantryClientDlg(CFileDatabase& db, String dataFolder,
                                   CGantryQuestions* questions, QWidget* parent,
                                   platform::HttpOptions http)
    : QDialog(parent),
      // The worker's end is queued onto this window's thread; a closed window drops it.
      client_(
          db, std::move(dataFolder),
          [this] {
              QMetaObject::invokeMethod(
                  this, [this] { Finish(); }, Qt::QueuedConnection);
          },
          std::move(http)),
      questions_(questions), downloadBar_(MakeBar(this, IDC_BAR_DOWNLOAD, "downloadBar")),
      installBar_(MakeBar(this, IDC_BAR_INSTALL, "installBar")),
      totalBar_(MakeBar(this, IDC_BAR_TOTAL, "totalBar")),
      downloading_(MakeText(this, IDC_DOWNLOADING_NAME, "downloadingName")),
      installing_(MakeText(this, IDC_INSTALLING_NAME, "installingName")),
      rate_(MakeText(this, IDC_RATE, "rate")), resultHeading_(new QLabel(this)),
      results_(new QTreeWidget(this)), cancel_(new QPushButton(tr("Cancel"), this)) {
    setWindowTitle(QString::fromLatin1(TITLE));
    cancel_->setProperty("controlId", IDC_CLIENT_CANCEL);
    cancel_->setObjectName(QStringLiteral("cancel"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Downloading:"), this), 0, 0);
    grid->addWidget(downloading_, 0, 1);
    grid->addWidget(downloadBar_, 1, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Installing:"), this), 2, 0);
    grid->addWidget(installing_, 2, 1);
    grid->addWidget(installBar_, 3, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Total:"), this), 4, 0);
    grid->addWidget(rate_, 4, 1, Qt::AlignRight);
    grid->addWidget(totalBar_, 5, 0, 1, 2);
    grid->addWidget(resultHeading_, 6, 0, 1, 2);
    grid->addWidget(results_, 7, 0, 1, 2);
    grid->addWidget(cancel_, 8, 1, Qt::AlignRight);
    resultHeading_->setObjectName(QStringLiteral("resultHeading"));
    resultHeading_->setText(QString::fromLatin1(FAILED_HEADING));
    resultHeading_->hide();
    results_->setObjectName(QStringLiteral("results"));
    results_->setColumnCount(2);
    results_->setHeaderLabels({tr("Package"), tr("Result")});
    results_->setRootIsDecorated(false);
    results_->setUniformRowHeights(true);
    results_->setWordWrap(false);
    results_->hide();
    connect(cancel_, &QPushButton::clicked, this, &CGantryClientDlg::Cancel);
    timer_.setInterval(TIMER_PERIOD_MS);
    connect(&timer_, &QTimer::timeout, this, &CGantryClientDlg::Tick);
}

CGantryClientDlg::~CGantryClientDlg() {
    timer_.stop();
    client_.Close();
}

void CGantryClientDlg::showEvent(QShowEvent* event) {
    FitWindowTitle(this);
    QDialog::showEvent(event);
    if (begun_)
        return;
    begun_ = true;
    timer_.start();
    client_.Begin();
    if (!client_.SessionValid() && questions_)
        questions_->Tell(this, QString::fromLatin1(CGantryClient::kSessionFailedText));
    Tick();
}

void CGantryClientDlg::Tick() {
    const DownloadProgress p = client_.Progress();
    SetBar(downloadBar_, p.currentSize, p.currentDone);
    SetBar(totalBar_, p.totalSize, p.totalDone);
    SetBar(installBar_, p.installTotal, p.installDone);
    rate_->setText(QString::fromUtf8(CGantryClient::RateText(p.rate)));
    downloading_->setText(FromNetwork(p.downloadingName));
    installing_->setText(FromNetwork(p.installingName));
}

void CGantryClientDlg::Cancel() {
    // Once the work has ended the button closes the list of results.
    if (finished_) {
        QDialog::accept();
        return;
    }
    client_.Cancel();
    cancel_->setEnabled(false);
}

void CGantryClientDlg::Finish() {
    if (finished_)
        return;
    finished_ = true;
    client_.Close();
    timer_.stop();
    Tick();
    // A run the player cancelled ends as asked; one where something failed shows why.
    if (ShowResults(client_.Outcomes()) || client_.CancelRequested()) {
        QDialog::accept();
        return;
    }
    // Something failed: the player reads why before the window goes.
    cancel_->setText(tr("Close"));
    cancel_->setEnabled(true);
    cancel_->setDefault(true);
    cancel_->setFocus();
}

bool CGantryClientDlg::ShowResults(const std::vector<DownloadOutcome>& outcomes) {
    bool allInstalled = true;
    for (const DownloadOutcome& outcome : outcomes) {
        auto* row = new QTreeWidgetItem(results_);
        row->setText(0, FromNetwork(outcome.name));
        if (outcome.installed) {
            row->setText(1, QString::fromLatin1(INSTALLED_TEXT));
            continue;
        }
        allInstalled = false;
        const String why = outcome.error.empty()
                               ? String(outcome.arrived ? "not installed" : "not downloaded")
                               : outcome.error;
        row->setText(1, QString::fromLatin1(FAILED_TEXT).arg(QString::fromUtf8(why)));
        row->setToolTip(1, row->text(1));
    }
    if (allInstalled)
        return true;
    results_->resizeColumnToContents(0);
    results_->resizeColumnToContents(1);
    resultHeading_->show();
    results_->show();
    // The list shows its rows whole, up to a reasonable height.
    const int rows = std::min(int(outcomes.size()), 8);
    results_->setMinimumHeight(results_->header()->sizeHint().height() +
                               rows * (results_->fontMetrics().height() + 6) + 6);
    results_->setMinimumWidth(std::min(results_->header()->length() + 8, 640));
    adjustSize();
    return false;
}

void CGantryClientDlg::reject() {
    // The threads must end before the window goes: a close while they work is a Cancel.
    if (begun_ && !finished_) {
        Cancel();
        return;
    }
    QDialog::reject();
}

void CGantryClientDlg::closeEvent(QCloseEvent* event) {
    if (begun_ && !finished_) {
        Cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace quillory::ui
