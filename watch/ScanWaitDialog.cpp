#include "watch/ScanWaitDialog.h"

#include "ui/ControlIds.h"
#include "ui/WindowTitle.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quillory::ui {

CScanWaitDialog::CScanWaitDialog(std::function<QString()> scanText, std::function<void()> cancel,
                                 QWidget* parent)
    : QDialog(parent), scanText_(std::move(scanText)), cancel_(std::move(cancel)),
      text_(new QLabel(this)), timer_(new QTimer(this)) {
    setWindowTitle(QStringLiteral("Gantry file scanner, please wait"));
    FitWindowTitle(this);
    text_->setProperty("controlId", IDC_SCAN_TEXT);
    text_->setObjectName(QStringLiteral("scanText"));
    text_->setMinimumWidth(420);
    // Long paths are cut at the label's edge rather than widening the dialog.
    text_->setTextFormat(Qt::PlainText);
    text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* skip = new QPushButton(QStringLiteral("Skip"), this);
    skip->setProperty("controlId", IDC_CANCEL);
    skip->setObjectName(QStringLiteral("skipButton"));
    connect(skip, &QPushButton::clicked, this, &CScanWaitDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(skip, 0, Qt::AlignHCenter);
    setMinimumWidth(460);

    connect(timer_, &QTimer::timeout, this, &CScanWaitDialog::Refresh);
    timer_->start(REFRESH_MS);
}

void CScanWaitDialog::Refresh() {
    if (scanText_)
        text_->setText(scanText_());
}

void CScanWaitDialog::reject() {
    timer_->stop();
    if (cancel_)
        cancel_();
    QDialog::reject();
}

} // namespace quillory::ui
