// quillory-fake-notifications [--no-actions]: a desktop notification service on the session bus
// that DBUS_SESSION_BUS_ADDRESS names, printing one line per Notify call
// ("notify<TAB>summary<TAB>body<TAB>action keys"), for walks of the window under Xvfb.
#include "FakeNotificationService.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool actions = true;
    for (int i = 1; i < argc; ++i)
        actions = actions && std::strcmp(argv[i], "--no-actions") != 0;
    quillory::test::CFakeNotificationService service(QDBusConnection::sessionBus(), actions);
    if (!service.Registered()) {
        std::fputs("quillory-fake-notifications: could not take the service's name\n", stderr);
        return 1;
    }
    QObject::connect(&service, &quillory::test::CFakeNotificationService::Notified, &service,
                     [](const quillory::test::RecordedNotification& call) {
                         QStringList keys;
                         for (qsizetype i = 0; i + 1 < call.actions.size(); i += 2)
                             keys << call.actions[i];
                         std::printf("notify\t%s\t%s\t%s\n", qPrintable(call.summary),
                                     qPrintable(call.body), qPrintable(keys.join(u',')));
                         std::fflush(stdout);
                     });
    std::puts("quillory-fake-notifications: ready");
    std::fflush(stdout);
    return app.exec();
}
