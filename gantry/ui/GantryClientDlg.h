#pragma once
// "Gantry download and installation": runs the download engine over the database's flagged
// offered packages and shows the three bars, the names and the rate. While it runs the engine
// owns the database. When the work has ended it lists each package's result, and closes itself
// when every package was installed or the player cancelled; else it stays until closed. Escape
// or the close box while work runs act as Cancel.

#include "gantry/client/GantryClient.h"
#include "gantry/db/FileDatabase.h"

#include <QDialog>
#include <QTimer>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace quillory::ui {

class CGantryQuestions;

class CGantryClientDlg final : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* TITLE = "Gantry download and installation";
    static constexpr int TIMER_PERIOD_MS = 500;
    static constexpr const char* FAILED_HEADING = "Some packages could not be installed:";
    static constexpr const char* INSTALLED_TEXT = "Installed";
    static constexpr const char* FAILED_TEXT = "Failed: %1";

    // Temporary files go into `dataFolder`; `questions` shows the message of a transfer library
    // that cannot start (may be null: then nothing is shown).
    CGantryClientDlg(CFileDatabase& db, String dataFolder, CGantryQuestions* questions,
                     QWidget* parent = nullptr, platform::HttpOptions http = {});
    ~CGantryClientDlg() override;

    // What became of each flagged package, once the dialog has ended.
    std::vector<DownloadOutcome> Outcomes() const { return client_.Outcomes(); }
    bool Cancelled() const { return client_.CancelRequested(); }
    CGantryClient& Client() { return client_; }

    QProgressBar* TotalBar() const { return totalBar_; }
    QLabel* RateLabel() const { return rate_; }
    QPushButton* CancelButton() const { return cancel_; }
    // Each package's result, filled when the work has ended.
    QTreeWidget* Results() const { return results_; }
    bool Finished() const { return finished_; }
    // Runs the 500 ms timer's work once.
    void Tick();

public slots:
    void reject() override;
    void Cancel();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Finish();
    // Lists the outcomes; true when every package was installed.
    bool ShowResults(const std::vector<DownloadOutcome>& outcomes);

    CGantryClient client_;
    CGantryQuestions* questions_;
    QTimer timer_;
    bool begun_ = false;
    bool finished_ = false;
    QProgressBar* downloadBar_;
    QProgressBar* installBar_;
    QProgressBar* totalBar_;
    QLabel* downloading_;
    QLabel* installing_;
    QLabel* rate_;
    QLabel* resultHeading_;
    QTreeWidget* results_;
    QPushButton* cancel_;
};

} // namespace quillory::ui
