#pragma once
// A small desktop notification service for tests, on a bus the test started: it records every
// Notify call, answers GetCapabilities (with or without "actions") and can press an action of
// a notification it showed, as a player would.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <vector>

namespace quillory::test {

struct RecordedNotification {
    uint id = 0;
    QString appName;
    uint replacesId = 0;
    QString summary;
    QString body;
    QStringList actions; // key, label, key, label...
    QVariantMap hints;
};

class CFakeNotificationService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    // Takes the service's name on `bus`; Registered() says whether that worked.
    explicit CFakeNotificationService(const QDBusConnection& bus, bool actions = true,
                                      QObject* parent = nullptr);
    ~CFakeNotificationService() override;

    bool Registered() const { return registered_; }
    const std::vector<RecordedNotification>& Calls() const { return calls_; }
    // Sends ActionInvoked for notification `id`, then NotificationClosed as services do.
    void InvokeAction(uint id, const QString& key);

public slots:
    QStringList GetCapabilities();
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout);
    void CloseNotification(uint id);
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion);

signals:
    void Notified(const quillory::test::RecordedNotification& notification);

private:
    void SendSignal(const char* name, const QVariantList& arguments);

    QDBusConnection bus_;
    bool actions_;
    bool registered_ = false;
    uint nextId_ = 1;
    std::vector<RecordedNotification> calls_;
};

} // namespace quillory::test
