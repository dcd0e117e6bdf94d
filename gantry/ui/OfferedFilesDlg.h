#pragma once
// "Show files" of the server view: the files an offered package describes and how each stands
// against the installation (present, differs, missing), before anything is downloaded.

#include "gantry/db/DescribedFiles.h"

#include <QDialog>
#include <QString>

#include <vector>

class QLabel;
class QTableWidget;

namespace quillory::ui {

class COfferedFilesDlg final : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* CAPTION = "Files of %1";

    // `package` is the offered package's name as the server sent it.
    COfferedFilesDlg(const QString& package, const std::vector<DescribedFileRow>& rows,
                     QWidget* parent = nullptr);

    QLabel* Summary() const { return summary_; }
    QTableWidget* Files() const { return files_; }

private:
    void FillRow(int row, const DescribedFileRow& file);

    QLabel* summary_;
    QTableWidget* files_;
};

} // namespace quillory::ui
