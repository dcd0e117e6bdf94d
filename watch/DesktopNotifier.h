#pragma once
// Tells the desktop's notification service what the watch noticed: the server's name as the
// summary, the change as the body, and a "Play Now" action where the service shows actions.
// Every call is asynchronous; a desktop without the service loses nothing but the bubble, and
// the player is told so once.

#include <QObject>
#include <QSet>
#include <QString>

#include <QDBusConnection>

#include <functional>
#include <vector>

class QDBusPendingCallWatcher;

namespace quillory::ui {

class CNotificationsProxy;

class CDesktopNotifier final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* APP_NAME = "Quillory";
    static constexpr const char* DESKTOP_ENTRY = "org.quillory.Quillory";
    static constexpr const char* PLAY_NOW_KEY = "play-now";
    static constexpr const char* PLAY_NOW_LABEL = "Play Now";
    static constexpr const char* NO_SERVICE_TEXT =
        "No desktop notification service: changes are shown in this window only.";
    // Notifications held while the service's capabilities are asked for; older ones are dropped.
    static constexpr size_t MAX_WAITING = 16;
    // Ids with a "Play Now" action that the service has not closed yet.
    static constexpr int MAX_OPEN = 64;

    // `bus` may be unconnected: nothing is sent then. `playNow` runs when the player picks the
    // action (on the window's thread); `tell` gets NO_SERVICE_TEXT the first time nothing could
    // be shown.
    CDesktopNotifier(const QDBusConnection& bus, std::function<void()> playNow,
                     std::function<void(const QString&)> tell = {}, QObject* parent = nullptr);
    ~CDesktopNotifier() override;

    // The configuration's box: off, nothing is sent.
    void SetEnabled(bool on) { enabled_ = on; }
    bool Enabled() const { return enabled_; }

    // One notification. `playNow` offers the action (for changes of the watched server).
    void Show(const QString& summary, const QString& body, bool playNow);

    // What the service told so far, for the window and tests.
    bool ServiceAnswered() const { return capabilities_ == Capabilities::KNOWN; }
    bool ActionsSupported() const { return actions_; }

private:
    struct Pending {
        QString summary;
        QString body;
        bool playNow = false;
    };
    enum class Capabilities { UNKNOWN, ASKED, KNOWN };

    void AskCapabilities();
    void TakeCapabilities(QDBusPendingCallWatcher* watcher);
    void Send(const Pending& pending);
    void TakeNotifyReply(QDBusPendingCallWatcher* watcher, bool playNow);
    void OnActionInvoked(uint id, const QString& actionKey);
    void OnClosed(uint id, uint reason);
    void TellOnce();

    CNotificationsProxy* proxy_ = nullptr; // null without a bus
    std::function<void()> playNow_;
    std::function<void(const QString&)> tell_;
    bool enabled_ = true;
    bool told_ = false;
    Capabilities capabilities_ = Capabilities::UNKNOWN;
    bool actions_ = false;
    std::vector<Pending> waiting_;
    QSet<uint> withAction_;
};

} // namespace quillory::ui
