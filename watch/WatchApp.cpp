#include "watch/WatchApp.h"

#include "net/BrowserHost.h"
#include "platform/InstanceSocket.h"
#include "platform/LocalConnection.h"
#include "platform/LocalListener.h"
#include "platform/ProcessReplace.h"
#include "platform/SignalPipe.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "watch/EngineBrowserLink.h"
#include "watch/EngineWatch.h"
#include "watch/StopSignalClose.h"
#include "watch/WatchDialog.h"
#include "watch/WatchLauncher.h"
#include "watch/core/InstanceMessage.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>

namespace quillory::ui {

namespace {

constexpr int kConnectMs = 500;
// A later copy sends its line at once; a connection that dawdles longer is dropped.
constexpr int kReadMs = 3000;

} // namespace

CWatchApp::CWatchApp(QString socketPath, StartLine start, Replace replace)
    : socketPath_(std::move(socketPath)), start_(std::move(start)),
      replace_(replace ? std::move(replace) : Replace(&platform::ReplaceProcess)) {}

CWatchApp::~CWatchApp() = default;

QString CWatchApp::DefaultSocketPath(QString& problem) {
    String error;
    const String runtimeFolder = platform::DefaultRuntimeFolder(error);
    if (runtimeFolder.empty()) {
        problem = FromLocal(error);
        return QString();
    }
    return FromLocal(
        platform::InstanceSocketPath(runtimeFolder, INSTANCE_NAME, ToLocal(QDir::currentPath())));
}

bool CWatchApp::ClaimInstance(const std::vector<String>& words) {
    if (socketPath_.isEmpty())
        return true;
    const String path = ToLocal(socketPath_);
    platform::CLocalConnection other;
    if (other.Connect(path, kConnectMs)) {
        const std::string message = CInstanceMessageReader::Encode(words);
        other.SendAll(message.data(), message.size(), kConnectMs);
        return false;
    }
    // Nobody answers: a socket left by a copy that crashed is taken over.
    platform::CLocalListener::RemoveStale(path);
    Listen();
    return true;
}

void CWatchApp::Listen() {
    listenerNotifier_.reset();
    listener_ = std::make_unique<platform::CLocalListener>();
    String error;
    // Without the name later copies cannot reach this one; it still runs on its own.
    if (!listener_->Listen(ToLocal(socketPath_), error)) {
        claimProblem_ = socketPath_ + QStringLiteral(": ") + FromLocal(error);
        listener_.reset();
        return;
    }
    listenerNotifier_ = std::make_unique<QSocketNotifier>(listener_->Fd(), QSocketNotifier::Read);
    connect(listenerNotifier_.get(), &QSocketNotifier::activated, this,
            &CWatchApp::OnNewConnection);
}

void CWatchApp::OnNewConnection() {
    for (int fd = listener_->Accept(); fd >= 0; fd = listener_->Accept())
        HearLaterCopy(fd);
}

void CWatchApp::HearLaterCopy(int fd) {
    // The connection lives as long as `context`: until the line is read, the peer leaves, or
    // it dawdles too long.
    auto* context = new QObject(this);
    auto connection = std::make_shared<platform::CLocalConnection>(fd);
    auto reader = std::make_shared<CInstanceMessageReader>();
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QTimer::singleShot(kReadMs, context, [context] { context->deleteLater(); });
    connect(notifier, &QSocketNotifier::activated, context,
            [this, context, notifier, connection, reader] {
                char buffer[4096];
                size_t got = 0;
                auto state = CInstanceMessageReader::State::INCOMPLETE;
                while (state == CInstanceMessageReader::State::INCOMPLETE) {
                    const auto read = connection->Read(buffer, sizeof(buffer), got);
                    if (read == platform::CLocalConnection::ReadState::NOTHING_YET)
                        return;
                    if (read == platform::CLocalConnection::ReadState::CLOSED)
                        break;
                    state = reader->Feed(buffer, got);
                }
                // One line per connection; anything else from the peer is not listened to.
                notifier->setEnabled(false);
                context->deleteLater();
                if (state != CInstanceMessageReader::State::COMPLETE)
                    return;
                ++restoreRequests_;
                if (window_ != nullptr)
                    window_->HandOver(reader->Words());
            });
}

QString CWatchApp::Restart(const String& programFile, const std::vector<String>& words,
                           bool& stillFirst) {
    // The new image must not find this one still holding the name.
    listenerNotifier_.reset();
    listener_.reset();
    const String reason = replace_(programFile, start_.argv, start_.folder);
    stillFirst = ClaimInstance(words);
    return FromLocal(reason);
}

bool CWatchApp::RunWindow(const std::vector<String>& words, platform::CSignalPipe& stopPipe,
                          CMessageBoxes& messageBoxes) {
    CWatchLauncher launcher(CWatchLauncher::Parts{});
    CEngineWatch engine;
    // Without a socket no server answers; the window still opens for the list and Gantry.
    if (!engine.Start(String()))
        messageBoxes.Information(nullptr, CWatchDialog::Caption(),
                                 QString::fromLatin1(ENGINE_FAILED_TEXT));

    CWatchDialog::Parts parts;
    parts.watch = &engine;
    parts.messageBoxes = &messageBoxes;
    parts.launcher = &launcher;
    CEngineBrowserLink browser(engine.Watch());
    parts.browser = &browser;
    parts.browserEndpoint = ChooseBrowserEndpoint(std::getenv(BROWSER_ENVIRONMENT));
    parts.desktopBus = QDBusConnection::sessionBus();
    parts.refreshServers = true;
    CWatchDialog window(parts);
    SetWindow(&window);

    // SIGINT and SIGTERM close the window as "Close" does, once the work in hand has stopped,
    // so that the settings and the database are saved.
    CStopSignalClose stop(window, stopPipe);

    window.show();
    window.Open(words);
    // Not exec(): hiding the window to the tray would end exec()'s loop.
    if (!window.Closed()) {
        QEventLoop loop;
        connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const int result = window.result();
    SetWindow(nullptr);
    return result == QDialog::Accepted && window.RestartRequested();
}

int CWatchApp::Run(const QStringList& arguments) {
    // Taken now: once an upgrade has renamed a new program file over this one, the system no
    // longer names this process's file by that path.
    const String programFile = ToLocal(QCoreApplication::applicationFilePath());
    // The first word is the program itself, with its folder, as the upgrade needs it.
    std::vector<String> words = {programFile};
    for (qsizetype i = 1; i < arguments.size(); ++i)
        words.push_back(ToLocal(arguments[i]));
    // A second copy hands its line to the first and leaves without showing anything.
    if (!ClaimInstance(words))
        return 0;

    platform::CSignalPipe stopPipe;
    CMessageBoxes messageBoxes;
    if (!claimProblem_.isEmpty())
        messageBoxes.Information(nullptr, CWatchDialog::Caption(),
                                 QString::fromLatin1(ALONE_TEXT).arg(claimProblem_));
    while (RunWindow(words, stopPipe, messageBoxes)) {
        bool stillFirst = true;
        const QString reason = Restart(programFile, words, stillFirst);
        if (!stillFirst)
            return 0;
        messageBoxes.Information(nullptr, CWatchDialog::Caption(),
                                 QString::fromLatin1(RESTART_FAILED_TEXT).arg(reason));
        // The settings were saved: a fresh window shows them, not the start's line again.
        words = {programFile};
    }
    return 0;
}

} // namespace quillory::ui
