// The small dialogs: "Server", "Quillory config" and the scan wait dialog.
#include "TestMain.h"

#include "ui/WindowTitle.h"
#include "watch/ConfigDialog.h"
#include "watch/ScanWaitDialog.h"
#include "watch/ServerDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace quillory::ui;

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void serverDialogTrimsAllButThePassword() {
        CServerDialog dialog({}, false);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Server"));
        auto* description = dialog.findChild<QLineEdit*>(QStringLiteral("descriptionEdit"));
        auto* address = dialog.findChild<QLineEdit*>(QStringLiteral("addressEdit"));
        auto* password = dialog.findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
        auto* parameters = dialog.findChild<QLineEdit*>(QStringLiteral("parametersEdit"));
        QVERIFY(description && address && password && parameters);
        QCOMPARE(description->property("controlId").toInt(), 1045);
        QCOMPARE(address->property("controlId").toInt(), 1039);
        QCOMPARE(password->property("controlId").toInt(), 1042);
        QCOMPARE(parameters->property("controlId").toInt(), 1048);
        QVERIFY(!description->isEnabled());
        address->setText(QStringLiteral("  127.10.0.5:2302 "));
        password->setText(QStringLiteral("  "));
        parameters->setText(QStringLiteral(" -mod=@x "));
        dialog.accept();
        QCOMPARE(dialog.Result().address, QStringLiteral("127.10.0.5:2302"));
        QCOMPARE(dialog.Result().password, QStringLiteral("  "));
        QCOMPARE(dialog.Result().parameters, QStringLiteral("-mod=@x"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void serverDialogEditsTheDescriptionWhenAllowed() {
        CServerDialog dialog({QStringLiteral("Old"), QStringLiteral("h:1"), QString(), QString()},
                             true);
        auto* description = dialog.findChild<QLineEdit*>(QStringLiteral("descriptionEdit"));
        QVERIFY(description->isEnabled());
        QCOMPARE(description->text(), QStringLiteral("Old"));
        description->setText(QStringLiteral(" New "));
        dialog.accept();
        QCOMPARE(dialog.Result().description, QStringLiteral("New"));
        QCOMPARE(dialog.Result().address, QStringLiteral("h:1"));
    }

    void configDialogAppendsTheSeparator_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        const QString sep = QDir::separator();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("no separator")
            << QStringLiteral("/games/iv") << QStringLiteral("/games/iv") + sep;
        QTest::newRow("slash") << QStringLiteral("/games/iv/") << QStringLiteral("/games/iv/");
        QTest::newRow("backslash") << QStringLiteral("C:\\IV\\") << QStringLiteral("C:\\IV\\");
    }

    void configDialogAppendsTheSeparator() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        CConfigDialog dialog(QStringLiteral("/old/"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Quillory config"));
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("gameFolderEdit"));
        QCOMPARE(edit->property("controlId").toInt(), 1090);
        QCOMPARE(edit->text(), QStringLiteral("/old/"));
        edit->setText(typed);
        dialog.accept();
        QCOMPARE(dialog.GameFolder(), stored);
    }

    void configDialogGantryBoxIsShownDisabled() {
        CConfigDialog dialog{QString()};
        auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("disableGantryBox"));
        QVERIFY(box != nullptr);
        QCOMPARE(box->text(), QStringLiteral("Disable Gantry :-("));
        QCOMPARE(box->property("controlId").toInt(), 1091);
        QVERIFY(!box->isEnabled());
        auto* browse = dialog.findChild<QPushButton*>(QStringLiteral("browseButton"));
        QCOMPARE(browse->text(), QStringLiteral("..."));
        QCOMPARE(browse->property("controlId").toInt(), 1092);
    }

    void chosenExecutableGivesItsFolder() {
        QCOMPARE(CConfigDialog::FolderOfExecutable(QStringLiteral("/g/iv/IRONVALE.EXE"), QString()),
                 QStringLiteral("/g/iv/"));
        QCOMPARE(CConfigDialog::FolderOfExecutable(QStringLiteral("C:\\IRONVALE.EXE"), QString()),
                 QStringLiteral("C:\\"));
        QCOMPARE(CConfigDialog::FolderOfExecutable(QStringLiteral("IRONVALE.EXE"),
                                                   QStringLiteral("/keep/")),
                 QStringLiteral("/keep/"));
    }

    void titlesAreNotCut() {
        // The dialogs narrower than their titles by their contents alone.
        CScanWaitDialog scan([] { return QString(); }, [] {});
        CServerDialog server({}, false);
        CConfigDialog config{QString()};
        for (QDialog* dialog : std::initializer_list<QDialog*>{&scan, &server, &config}) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            QVERIFY2(dialog->width() >= TitleWidth(dialog), qPrintable(dialog->windowTitle()));
            QVERIFY(TitleWidth(dialog) >
                    dialog->fontMetrics().horizontalAdvance(dialog->windowTitle()));
            dialog->close();
        }
    }

    void scanWaitShowsTheTextAndSkipCancels() {
        int cancels = 0;
        QString text = QStringLiteral("DATA\\a.pak");
        CScanWaitDialog dialog([&] { return text; }, [&] { ++cancels; });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Gantry file scanner, please wait"));
        auto* label = dialog.findChild<QLabel*>(QStringLiteral("scanText"));
        QCOMPARE(label->property("controlId").toInt(), 1066);
        dialog.show();
        // The 200 ms timer brings the scanner's current path.
        QTRY_COMPARE(label->text(), QStringLiteral("DATA\\a.pak"));
        text = QStringLiteral("DATA\\b.pak");
        QTRY_COMPARE(label->text(), QStringLiteral("DATA\\b.pak"));
        auto* skip = dialog.findChild<QPushButton*>(QStringLiteral("skipButton"));
        QCOMPARE(skip->text(), QStringLiteral("Skip"));
        QTest::mouseClick(skip, Qt::LeftButton);
        QCOMPARE(cancels, 1);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void scanWaitClosedByTheWindowDoesNotCancel() {
        int cancels = 0;
        CScanWaitDialog dialog([] { return QString(); }, [&] { ++cancels; });
        dialog.show();
        dialog.accept();
        QCOMPARE(cancels, 0);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
};

QUILLORY_WATCH_TEST(DialogsTest);
#include "DialogsTest.moc"
