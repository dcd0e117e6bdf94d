#pragma once
// The application: lets one copy per user and data folder run, hands a later copy's command
// line to it, opens the main window over the query engine, ends on "Close" or on SIGINT/SIGTERM
// with everything saved, and starts again in place when asked to.

#include "common/Types.h"
#include "common/Version.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace quillory::platform {
class CLocalListener;
class CSignalPipe;
} // namespace quillory::platform

namespace quillory::ui {

class CMessageBoxes;
class CWatchDialog;

class CWatchApp final : public QObject {
    Q_OBJECT

public:
    // The program's name in capitals and its version digits.
    static constexpr const char* INSTANCE_NAME = PROGRAM_INSTANCE_NAME;
    static constexpr const char* ENGINE_FAILED_TEXT =
        "Cannot open a UDP socket: no server can be watched.";
    static constexpr const char* ALONE_TEXT =
        "Quillory runs, but a second start cannot reach it: %1";
    static constexpr const char* RESTART_FAILED_TEXT = "Quillory could not restart: %1";

    // How this process was started, for the restart: main's own arguments, every switch kept
    // (the data folder's too), and the folder it was started in.
    struct StartLine {
        std::vector<String> argv;
        String folder;
    };
    // Runs `program` with `argv` in `folder` in place of this process; returns why it could not.
    using Replace = std::function<String(const String& program, const std::vector<String>& argv,
                                         const String& folder)>;

    // `socketPath` empty: no socket, this copy runs alone. `replace` null: the platform's.
    explicit CWatchApp(QString socketPath, StartLine start = {}, Replace replace = nullptr);
    ~CWatchApp() override;

    // The socket of this user for the data folder, the current directory. Empty, with
    // `problem` saying why, when the user's runtime folder cannot be used.
    static QString DefaultSocketPath(QString& problem);

    // True when this is the only copy: it then answers later copies. False when another copy
    // runs; it has been handed `words` (the command line, the program path first).
    // One that cannot take the name still runs alone; ClaimProblem() then says why.
    [[nodiscard]] bool ClaimInstance(const std::vector<String>& words);
    const QString& ClaimProblem() const { return claimProblem_; }
    // Why there is no socket path (DefaultSocketPath's problem), shown when the run starts.
    void SetSocketProblem(const QString& problem) { claimProblem_ = problem; }

    // Where a later copy's line goes; null to hold it back.
    void SetWindow(CWatchDialog* window) { window_ = window; }
    // Whole command lines received from later copies so far.
    int RestoreRequests() const { return restoreRequests_; }

    // Lets go of the name and runs the program again from `programFile` in place of this
    // process. Returns only when that failed: the reason. The name is then claimed again;
    // `stillFirst` is false when another copy took it meanwhile (it was handed `words`).
    QString Restart(const String& programFile, const std::vector<String>& words, bool& stillFirst);

    // The whole run: instance check, window, closing and the restart. The exit code.
    int Run(const QStringList& arguments);

private:
    void OnNewConnection();
    // Reads one later copy's line from the connection `fd` (owned from here on).
    void HearLaterCopy(int fd);
    void Listen();
    // One window over a fresh query engine, from opening to closing; true when it asked for a
    // restart.
    bool RunWindow(const std::vector<String>& words, platform::CSignalPipe& stopPipe,
                   CMessageBoxes& messageBoxes);

    QString socketPath_;
    StartLine start_;
    Replace replace_;
    QString claimProblem_;
    // The platform's local socket rather than Qt Network's: the window starts without loading
    // a network library it has no other use for.
    std::unique_ptr<platform::CLocalListener> listener_;
    std::unique_ptr<QSocketNotifier> listenerNotifier_;
    CWatchDialog* window_ = nullptr;
    int restoreRequests_ = 0;
};

} // namespace quillory::ui
