#include "watch/WatchApp.h"

#include "net/BrowserHost.h"
#include "platform/SignalPipe.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "watch/EngineBrowserLink.h"
#include "watch/EngineWatch.h"
#include "watch/WatchDialog.h"
#include "watch/WatchLauncher.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>

namespace quillory::ui {

namespace {

constexpr int kConnectMs = 500;

// A message box or dialog open over the window runs a loop of its own; closing it first lets
// the window's closing steps run to their end instead of waiting behind it.
void CloseModalDialogs(QWidget* window) {
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == window)
            return;
        modal->close();
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    }
}

} // namespace

CWatchApp::CWatchApp(QString instanceName) : instanceName_(std::move(instanceName)) {}

CWatchApp::~CWatchApp() = default;

bool CWatchApp::ClaimInstance() {
    QLocalSocket other;
    other.connectToServer(instanceName_);
    if (other.waitForConnected(kConnectMs)) {
        other.write(RESTORE_MESSAGE);
        other.waitForBytesWritten(kConnectMs);
        other.disconnectFromServer();
        return false;
    }
    // Nobody answers: a socket file left by a copy that crashed is taken over.
    QLocalServer::removeServer(instanceName_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, &CWatchApp::OnNewConnection);
    // Without the name later copies cannot reach this one; it still runs on its own.
    if (!server_->listen(instanceName_))
        std::fprintf(stderr, "quillory: cannot answer later copies: %s\n",
                     qPrintable(server_->errorString()));
    return true;
}

void CWatchApp::OnNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().contains('\n'))
                return;
            ++restoreRequests_;
            if (window_ != nullptr)
                window_->RequestRestore();
        });
    }
}

int CWatchApp::Run(const QStringList& arguments) {
    // A second copy says so to the first and leaves without showing anything.
    if (!ClaimInstance())
        return 0;

    platform::CSignalPipe stopPipe;
    CMessageBoxes messageBoxes;
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
    CWatchDialog window(parts);
    SetWindow(&window);

    // SIGINT and SIGTERM close the window as "Close" does, so the settings are saved.
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stopPipe.ReadFd() >= 0) {
        stopNotifier = std::make_unique<QSocketNotifier>(stopPipe.ReadFd(), QSocketNotifier::Read);
        connect(stopNotifier.get(), &QSocketNotifier::activated, &window, [&window, &stopPipe] {
            stopPipe.Drain();
            CloseModalDialogs(&window);
            window.accept();
        });
    }

    // The first word is the program itself, with its folder, as the restart needs it.
    std::vector<String> words = {ToLocal(QCoreApplication::applicationFilePath())};
    for (qsizetype i = 1; i < arguments.size(); ++i)
        words.push_back(ToLocal(arguments[i]));
    window.show();
    window.Open(words);
    const int result = window.Closed() ? window.result() : window.exec();
    SetWindow(nullptr);

    if (result == QDialog::Accepted && window.RestartRequested()) {
        // The new copy must not find this one still holding the name.
        server_.reset();
        if (!QProcess::startDetached(FromLocal(window.ProgramPath()), {}, QDir::currentPath()))
            std::fprintf(stderr, "quillory: cannot start %s again\n", window.ProgramPath().c_str());
    }
    return 0;
}

} // namespace quillory::ui
