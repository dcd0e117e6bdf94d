#include "FakeNotificationService.h"

#include <QDBusMessage>

namespace quillory::test {

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
constexpr uint kClosedByUser = 2;

} // namespace

CFakeNotificationService::CFakeNotificationService(const QDBusConnection& bus, bool actions,
                                                   QObject* parent)
    : QObject(parent), bus_(bus), actions_(actions) {
    registered_ =
        bus_.registerObject(QString::fromLatin1(kPath), this, QDBusConnection::ExportAllSlots) &&
        bus_.registerService(QString::fromLatin1(kService));
}

CFakeNotificationService::~CFakeNotificationService() {
    bus_.unregisterService(QString::fromLatin1(kService));
    bus_.unregisterObject(QString::fromLatin1(kPath));
}

QStringList CFakeNotificationService::GetCapabilities() {
    QStringList capabilities = {QStringLiteral("body")};
    if (actions_)
        capabilities << QStringLiteral("actions");
    return capabilities;
}

uint CFakeNotificationService::Notify(const QString& appName, uint replacesId, const QString&,
                                      const QString& summary, const QString& body,
                                      const QStringList& actions, const QVariantMap& hints, int) {
    RecordedNotification call{replacesId != 0 ? replacesId : nextId_++,
                              appName,
                              replacesId,
                              summary,
                              body,
                              actions,
                              hints};
    calls_.push_back(call);
    emit Notified(call);
    return call.id;
}

void CFakeNotificationService::CloseNotification(uint id) {
    SendSignal("NotificationClosed", {id, 3u});
}

QString CFakeNotificationService::GetServerInformation(QString& vendor, QString& version,
                                                       QString& specVersion) {
    vendor = QStringLiteral("quillory tests");
    version = QStringLiteral("1");
    specVersion = QStringLiteral("1.2");
    return QStringLiteral("fake-notifications");
}

void CFakeNotificationService::InvokeAction(uint id, const QString& key) {
    SendSignal("ActionInvoked", {id, key});
    SendSignal("NotificationClosed", {id, kClosedByUser});
}

void CFakeNotificationService::SendSignal(const char* name, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createSignal(
        QString::fromLatin1(kPath), QString::fromLatin1(kService), QString::fromLatin1(name));
    message.setArguments(arguments);
    bus_.send(message);
}

} // namespace quillory::test
