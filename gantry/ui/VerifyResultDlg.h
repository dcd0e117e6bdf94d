#pragma once
// The result of "Verify files": the summary and one row per file that differs from the database
// (kind, file, package, what was found).

#include "gantry/db/PackageVerifier.h"

#include <QDialog>

class QLabel;
class QTableWidget;

namespace quillory::ui {

class CVerifyResultDlg final : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* CAPTION = "Verify files";

    CVerifyResultDlg(const VerifyReport& report, QWidget* parent = nullptr);

    QLabel* Summary() const { return summary_; }
    QTableWidget* Differences() const { return differences_; }

private:
    QLabel* summary_;
    QTableWidget* differences_;
};

} // namespace quillory::ui
