#include "gantry/ui/VerifyResultDlg.h"

#include "ui/ElidedTipDelegate.h"
#include "ui/TextConversion.h"
#include "ui/WindowTitle.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillory::ui {

namespace {

constexpr int kLeastWidth = 760;
constexpr int kMargins = 30; // the dialog's layout margins

QString FromBytes(const String& text) {
    return QString::fromUtf8(text);
}

} // namespace

CVerifyResultDlg::CVerifyResultDlg(const VerifyReport& report, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(CAPTION));
    FitWindowTitle(this);
    summary_ = new QLabel(FromBytes(report.SummaryText()), this);
    summary_->setObjectName(QStringLiteral("verifySummary"));

    differences_ = new QTableWidget(int(report.findings.size()), 4, this);
    differences_->setObjectName(QStringLiteral("verifyDifferences"));
    differences_->setHorizontalHeaderLabels({QStringLiteral("Difference"), QStringLiteral("File"),
                                             QStringLiteral("Package"), QStringLiteral("Found")});
    differences_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    differences_->setSelectionBehavior(QAbstractItemView::SelectRows);
    differences_->setWordWrap(false);
    differences_->verticalHeader()->hide();
    differences_->verticalHeader()->setDefaultSectionSize(differences_->fontMetrics().height() + 6);
    for (int row = 0; row < int(report.findings.size()); ++row) {
        const VerifyFinding& f = report.findings[size_t(row)];
        const QString cells[4] = {QString::fromLatin1(f.KindText()), ShownPath(f.path),
                                  FromNetwork(f.package), FromBytes(f.DetailText())};
        for (int column = 0; column < 4; ++column)
            differences_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    CElidedTipDelegate::Install(differences_);
    differences_->resizeColumnsToContents();
    differences_->horizontalHeader()->setStretchLastSection(true);
    // Wide enough for every column ("Found" last), as far as the screen allows; what is
    // still cut shows whole in its tooltip.
    int columns = 0;
    for (int column = 0; column < differences_->columnCount(); ++column)
        columns += differences_->columnWidth(column);
    const int chrome = 2 * differences_->frameWidth() +
                       differences_->verticalScrollBar()->sizeHint().width() + kMargins;
    differences_->setVisible(!report.findings.empty());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(differences_, 1);
    layout->addWidget(buttons);
    const int widest = screen() != nullptr ? screen()->availableGeometry().width() * 9 / 10 : 1200;
    resize(std::clamp(columns + chrome, kLeastWidth, std::max(kLeastWidth, widest)),
           report.findings.empty() ? 120 : 360);
}

} // namespace quillory::ui
