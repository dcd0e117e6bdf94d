#include "watch/DesktopNotifier.h"

#include "watch/NotificationsProxy.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace quillory::ui {

namespace {

// The service's own default time on screen.
constexpr int kDefaultExpiry = -1;

} // namespace

CDesktopNotifier::CDesktopNotifier(const QDBusConnection& bus, std::function<void()> playNow,
                                   std::function<void(const QString&)> tell, QObject* parent)
    : QObject(parent), playNow_(std::move(playNow)), tell_(std::move(tell)) {
    if (!bus.isConnected())
        return;
    proxy_ = new CNotificationsProxy(bus, this);
    connect(proxy_, &CNotificationsProxy::ActionInvoked, this, &CDesktopNotifier::OnActionInvoked);
    connect(proxy_, &CNotificationsProxy::NotificationClosed, this, &CDesktopNotifier::OnClosed);
}

CDesktopNotifier::~CDesktopNotifier() = default;

void CDesktopNotifier::Show(const QString& summary, const QString& body, bool playNow) {
    if (!enabled_)
        return;
    if (proxy_ == nullptr) {
        TellOnce();
        return;
    }
    const Pending pending{summary, body, playNow};
    if (capabilities_ == Capabilities::KNOWN) {
        Send(pending);
        return;
    }
    // Whether to offer the action is known only once the service has answered.
    if (waiting_.size() >= MAX_WAITING)
        waiting_.erase(waiting_.begin());
    waiting_.push_back(pending);
    if (capabilities_ == Capabilities::UNKNOWN)
        AskCapabilities();
}

void CDesktopNotifier::AskCapabilities() {
    capabilities_ = Capabilities::ASKED;
    auto* watcher = new QDBusPendingCallWatcher(proxy_->GetCapabilities(), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &CDesktopNotifier::TakeCapabilities);
}

void CDesktopNotifier::TakeCapabilities(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    const QDBusPendingReply<QStringList> reply = *watcher;
    std::vector<Pending> waiting;
    waiting.swap(waiting_);
    if (reply.isError()) {
        // No service now: asked again with the next notification, as one may start later.
        capabilities_ = Capabilities::UNKNOWN;
        TellOnce();
        return;
    }
    capabilities_ = Capabilities::KNOWN;
    actions_ = reply.value().contains(QStringLiteral("actions"));
    for (const Pending& pending : waiting)
        Send(pending);
}

void CDesktopNotifier::Send(const Pending& pending) {
    QStringList actions;
    const bool playNow = pending.playNow && actions_ && playNow_;
    if (playNow)
        actions << QString::fromLatin1(PLAY_NOW_KEY) << QString::fromLatin1(PLAY_NOW_LABEL);
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(DESKTOP_ENTRY));
    auto* watcher = new QDBusPendingCallWatcher(proxy_->Notify(QString::fromLatin1(APP_NAME), 0,
                                                               pending.summary, pending.body,
                                                               actions, hints, kDefaultExpiry),
                                                this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, playNow](QDBusPendingCallWatcher* finished) { TakeNotifyReply(finished, playNow); });
}

void CDesktopNotifier::TakeNotifyReply(QDBusPendingCallWatcher* watcher, bool playNow) {
    watcher->deleteLater();
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError()) {
        // The service went away: its capabilities are asked again next time.
        capabilities_ = Capabilities::UNKNOWN;
        TellOnce();
        return;
    }
    if (!playNow)
        return;
    // A service that never reports closings must not grow the set without end.
    if (withAction_.size() >= MAX_OPEN)
        withAction_.clear();
    withAction_.insert(reply.value());
}

void CDesktopNotifier::OnActionInvoked(uint id, const QString& actionKey) {
    // The bus carries every program's actions; only ours, and only the one offered, count.
    if (!withAction_.contains(id) || actionKey != QString::fromLatin1(PLAY_NOW_KEY))
        return;
    withAction_.remove(id);
    if (playNow_)
        playNow_();
}

void CDesktopNotifier::OnClosed(uint id, uint) {
    withAction_.remove(id);
}

void CDesktopNotifier::TellOnce() {
    if (told_ || !tell_)
        return;
    told_ = true;
    tell_(QString::fromLatin1(NO_SERVICE_TEXT));
}

} // namespace quillory::ui
