#include "gantry/ui/VerifyResultDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillory::ui {

namespace {

QString FromBytes(const String& text) {
    return QString::fromUtf8(text);
}

} // namespace

CVerifyResultDlg::CVerifyResultDlg(const VerifyReport& report, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(CAPTION));
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
        const QString cells[4] = {QString::fromLatin1(f.KindText()), FromBytes(f.path),
                                  FromBytes(f.package), FromBytes(f.DetailText())};
        for (int column = 0; column < 4; ++column)
            differences_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    differences_->resizeColumnsToContents();
    differences_->horizontalHeader()->setStretchLastSection(true);
    differences_->setVisible(!report.findings.empty());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(differences_, 1);
    layout->addWidget(buttons);
    resize(760, report.findings.empty() ? 120 : 360);
}

} // namespace quillory::ui
