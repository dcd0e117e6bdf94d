#include "watch/NotificationsProxy.h"

#include <QVariant>

namespace quillory::ui {

CNotificationsProxy::CNotificationsProxy(const QDBusConnection& bus, QObject* parent)
    : QDBusAbstractInterface(QString::fromLatin1(SERVICE), QString::fromLatin1(PATH), INTERFACE,
                             bus, parent) {}

QDBusPendingCall CNotificationsProxy::GetCapabilities() {
    return asyncCall(QStringLiteral("GetCapabilities"));
}

QDBusPendingCall CNotificationsProxy::Notify(const QString& appName, uint replacesId,
                                             const QString& summary, const QString& body,
                                             const QStringList& actions, const QVariantMap& hints,
                                             int expireMs) {
    return asyncCallWithArgumentList(
        QStringLiteral("Notify"),
        {appName, replacesId, QString(), summary, body, actions, hints, expireMs});
}

} // namespace quillory::ui
