#pragma once
// The application: lets one copy run, opens the main window over the query engine, ends on
// "Close" or on SIGINT/SIGTERM with everything saved, and starts again when asked to.

#include "common/Version.h"

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace quillory::ui {

class CMessageBoxes;
class CWatchDialog;

class CWatchApp final : public QObject {
    Q_OBJECT

public:
    // The program's name in capitals and its version digits.
    static constexpr const char* INSTANCE_NAME = PROGRAM_INSTANCE_NAME;
    static constexpr const char* RESTORE_MESSAGE = "restore\n";
    static constexpr const char* ENGINE_FAILED_TEXT =
        "Cannot open a UDP socket: no server can be watched.";

    explicit CWatchApp(QString instanceName = QString::fromLatin1(INSTANCE_NAME));
    ~CWatchApp() override;

    // True when this is the only copy: it then answers later copies. False when another copy
    // runs; that copy has been told to come forward.
    // One that cannot take the name still runs alone (the reason goes to stderr).
    [[nodiscard]] bool ClaimInstance();

    // Where a later copy's request goes; null to hold it back.
    void SetWindow(CWatchDialog* window) { window_ = window; }
    // Requests received from later copies so far.
    int RestoreRequests() const { return restoreRequests_; }

    // The whole run: instance check, window, closing and the restart. The exit code.
    int Run(const QStringList& arguments);

private:
    void OnNewConnection();

    QString instanceName_;
    std::unique_ptr<QLocalServer> server_;
    CWatchDialog* window_ = nullptr;
    int restoreRequests_ = 0;
};

} // namespace quillory::ui
