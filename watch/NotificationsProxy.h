#pragma once
// The desktop's notification service as QtDBus sees it: the calls the watch makes and the two
// signals it listens to. Declaring the signals here lets QtDBus route the bus's signals to
// them, so receivers connect with member pointers like any other signal.

#include <QDBusAbstractInterface>
#include <QDBusPendingCall>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace quillory::ui {

class CNotificationsProxy final : public QDBusAbstractInterface {
    Q_OBJECT

public:
    static constexpr const char* SERVICE = "org.freedesktop.Notifications";
    static constexpr const char* PATH = "/org/freedesktop/Notifications";
    static constexpr const char* INTERFACE = "org.freedesktop.Notifications";

    CNotificationsProxy(const QDBusConnection& bus, QObject* parent = nullptr);

    // The service's capability names ("actions", "body", ...).
    QDBusPendingCall GetCapabilities();
    // Shows one notification; the reply carries its id. `replacesId` 0 makes a new one.
    QDBusPendingCall Notify(const QString& appName, uint replacesId, const QString& summary,
                            const QString& body, const QStringList& actions,
                            const QVariantMap& hints, int expireMs);

signals:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);
};

} // namespace quillory::ui
