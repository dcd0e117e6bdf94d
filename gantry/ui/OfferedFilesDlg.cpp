#include "gantry/ui/OfferedFilesDlg.h"

#include "platform/FileSystem.h"
#include "ui/TextConversion.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillory::ui {

namespace {

enum Column { FILE_COLUMN, STATUS_COLUMN, SIZE_COLUMN, CRC_COLUMN, FOUND_COLUMN, COLUMNS };

// Described paths come from the server, in its code page; found ones are the disk's names.
QString DescribedPath(const String& path) {
    return FromNetwork(platform::NativePath(path));
}

QString FoundPath(const String& path) {
    return FromLocal(platform::NativePath(path));
}

QString SummaryText(const std::vector<DescribedFileRow>& rows) {
    size_t present = 0, differs = 0, missing = 0;
    for (const DescribedFileRow& row : rows) {
        present += row.state == DescribedState::PRESENT;
        differs += row.state == DescribedState::DIFFERS;
        missing += row.state == DescribedState::MISSING;
    }
    return QStringLiteral("%1 present, %2 differ, %3 missing")
        .arg(present)
        .arg(differs)
        .arg(missing);
}

} // namespace

COfferedFilesDlg::COfferedFilesDlg(const QString& package,
                                   const std::vector<DescribedFileRow>& rows, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(CAPTION).arg(package));
    summary_ = new QLabel(SummaryText(rows), this);
    summary_->setObjectName(QStringLiteral("filesSummary"));

    files_ = new QTableWidget(int(rows.size()), COLUMNS, this);
    files_->setObjectName(QStringLiteral("offeredFiles"));
    files_->setHorizontalHeaderLabels({QStringLiteral("File"), QStringLiteral("Status"),
                                       QStringLiteral("Size"), QStringLiteral("CRC32"),
                                       QStringLiteral("Found at")});
    files_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    files_->setSelectionBehavior(QAbstractItemView::SelectRows);
    files_->setWordWrap(false);
    files_->verticalHeader()->hide();
    files_->verticalHeader()->setDefaultSectionSize(files_->fontMetrics().height() + 6);
    for (int row = 0; row < int(rows.size()); ++row)
        FillRow(row, rows[size_t(row)]);
    files_->resizeColumnsToContents();
    files_->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(files_, 1);
    layout->addWidget(buttons);
    const int wanted = files_->horizontalHeader()->length() + 40;
    resize(std::clamp(wanted, 520, 900), std::clamp(int(rows.size()) * 22 + 140, 200, 520));
}

void COfferedFilesDlg::FillRow(int row, const DescribedFileRow& file) {
    const QString cells[COLUMNS] = {DescribedPath(file.path), QString::fromLatin1(file.statusText),
                                    QString::fromLatin1(file.sizeText),
                                    QString::fromLatin1(file.crcText), FoundPath(file.foundAt)};
    for (int column = 0; column < COLUMNS; ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        item->setToolTip(cells[column]);
        if (column == SIZE_COLUMN)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        files_->setItem(row, column, item);
    }
}

} // namespace quillory::ui
