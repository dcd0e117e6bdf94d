// Desktop notifications over a private session bus that the test starts, with the fake
// notification service on it: what is sent, the "Play Now" action, a missing service.
#include "TestMain.h"

#include "FakeNotificationService.h"
#include "watch/DesktopNotifier.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace quillory::ui;
using quillory::test::CFakeNotificationService;

namespace {

constexpr int kStartMs = 10000;
// Long enough for a reply that should not come to have come.
constexpr int kQuietMs = 300;

} // namespace

class DesktopNotifierTest : public QObject {
    Q_OBJECT

private:
    QProcess daemon_;
    QString address_;
    int connections_ = 0;

    // A fresh connection to the test's bus, under a name of its own.
    QDBusConnection Connect() {
        const QString name = QStringLiteral("quillory-test-%1").arg(++connections_);
        return QDBusConnection::connectToBus(address_, name);
    }

    struct Counted {
        int playNows = 0;
        QStringList told;
    };

    std::unique_ptr<CDesktopNotifier> Notifier(const QDBusConnection& bus, Counted& counted) {
        return std::make_unique<CDesktopNotifier>(
            bus, [&counted] { ++counted.playNows; },
            [&counted](const QString& text) { counted.told << text; });
    }

private slots:
    void initTestCase() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        QVERIFY2(!program.isEmpty(), "dbus-daemon is needed (scripts/setup.sh installs it)");
        daemon_.start(program, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                QStringLiteral("--print-address")});
        QVERIFY(daemon_.waitForStarted(kStartMs));
        QTRY_VERIFY_WITH_TIMEOUT(daemon_.canReadLine(), kStartMs);
        address_ = QString::fromLatin1(daemon_.readLine()).trimmed();
        QVERIFY(address_.startsWith(QStringLiteral("unix:")));
    }

    void cleanupTestCase() {
        daemon_.kill();
        daemon_.waitForFinished(kStartMs);
    }

    void sendsSummaryBodyAndThePlayNowAction() {
        CFakeNotificationService service(Connect());
        QVERIFY(service.Registered());
        Counted counted;
        auto notifier = Notifier(Connect(), counted);
        notifier->Show(QStringLiteral("Valehold"), QStringLiteral("Playing"), true);
        notifier->Show(QStringLiteral("Marrowby Keep"), QStringLiteral("Wren joined"), false);
        QTRY_COMPARE(service.Calls().size(), size_t(2));
        const auto& first = service.Calls()[0];
        QCOMPARE(first.appName, QStringLiteral("Quillory"));
        QCOMPARE(first.summary, QStringLiteral("Valehold"));
        QCOMPARE(first.body, QStringLiteral("Playing"));
        QCOMPARE(first.actions,
                 QStringList({QStringLiteral("play-now"), QStringLiteral("Play Now")}));
        QCOMPARE(first.hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("org.quillory.Quillory"));
        QCOMPARE(service.Calls()[1].summary, QStringLiteral("Marrowby Keep"));
        QVERIFY(service.Calls()[1].actions.isEmpty());
        QVERIFY(notifier->ActionsSupported());
        QVERIFY(counted.told.isEmpty());

        // The player picks the action: Play Now runs once; the same notification cannot run it
        // again, and neither can another program's notification or another key.
        service.InvokeAction(first.id, QStringLiteral("play-now"));
        QTRY_COMPARE(counted.playNows, 1);
        service.InvokeAction(first.id, QStringLiteral("play-now"));
        service.InvokeAction(service.Calls()[1].id, QStringLiteral("play-now"));
        service.InvokeAction(999, QStringLiteral("play-now"));
        QTest::qWait(kQuietMs);
        QCOMPARE(counted.playNows, 1);
    }

    void offersNoActionWhereTheServiceHasNone() {
        CFakeNotificationService service(Connect(), false);
        QVERIFY(service.Registered());
        Counted counted;
        auto notifier = Notifier(Connect(), counted);
        notifier->Show(QStringLiteral("Valehold"), QStringLiteral("A slot is free"), true);
        QTRY_COMPARE(service.Calls().size(), size_t(1));
        QVERIFY(service.Calls()[0].actions.isEmpty());
        QVERIFY(!notifier->ActionsSupported());
    }

    void withoutAServiceSaysSoOnceAndRecovers() {
        Counted counted;
        auto notifier = Notifier(Connect(), counted);
        for (int i = 0; i < 3; ++i)
            notifier->Show(QStringLiteral("Valehold"), QStringLiteral("Waiting"), true);
        QTRY_COMPARE(counted.told.size(), 1);
        notifier->Show(QStringLiteral("Valehold"), QStringLiteral("Playing"), true);
        QTest::qWait(kQuietMs);
        QCOMPARE(counted.told,
                 QStringList({QString::fromLatin1(CDesktopNotifier::NO_SERVICE_TEXT)}));

        // A service that starts later gets the next notification, and nothing is said again.
        CFakeNotificationService service(Connect());
        QVERIFY(service.Registered());
        notifier->Show(QStringLiteral("Valehold"), QStringLiteral("Debriefing"), true);
        QTRY_COMPARE(service.Calls().size(), size_t(1));
        QCOMPARE(service.Calls()[0].body, QStringLiteral("Debriefing"));
        QCOMPARE(counted.told.size(), 1);
    }

    void withoutABusSaysSoOnce() {
        Counted counted;
        auto notifier =
            Notifier(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                   QStringLiteral("quillory-test-nobus")),
                     counted);
        notifier->Show(QStringLiteral("Valehold"), QStringLiteral("Playing"), true);
        notifier->Show(QStringLiteral("Valehold"), QStringLiteral("Debriefing"), true);
        QCOMPARE(counted.told.size(), 1);
    }

    void theBoxTurnsThemOff() {
        CFakeNotificationService service(Connect());
        QVERIFY(service.Registered());
        Counted counted;
        auto notifier = Notifier(Connect(), counted);
        notifier->SetEnabled(false);
        notifier->Show(QStringLiteral("Valehold"), QStringLiteral("Playing"), true);
        notifier->SetEnabled(true);
        notifier->Show(QStringLiteral("Valehold"), QStringLiteral("Debriefing"), true);
        QTRY_COMPARE(service.Calls().size(), size_t(1));
        QTest::qWait(kQuietMs);
        QCOMPARE(service.Calls().size(), size_t(1));
        QCOMPARE(service.Calls()[0].body, QStringLiteral("Debriefing"));
    }
};

QUILLORY_WATCH_TEST(DesktopNotifierTest);
#include "DesktopNotifierTest.moc"
