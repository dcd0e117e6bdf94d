// The tooltip base: texts by control id, the text asked of the dialog, inner widgets
// answering for their control, and the switch.
#include "TestMain.h"

#include "ui/ToolTipDialog.h"

#include <QComboBox>
#include <QEvent>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

using quillory::ui::CStringTable;
using quillory::ui::CToolTipDialog;

namespace {

class CProbeDialog final : public CToolTipDialog {
public:
    explicit CProbeDialog(const QString& table, bool enabled = true)
        : CToolTipDialog(nullptr, CStringTable::Parse(table)) {
        SetToolTipsEnabled(enabled);
        auto* layout = new QVBoxLayout(this);
        // A group box between the dialog and the controls, as the main window has.
        auto* group = new QWidget(this);
        auto* inner = new QVBoxLayout(group);
        combo = new QComboBox(group);
        combo->setEditable(true);
        SetControlId(combo, 1027, QStringLiteral("serverList"));
        inner->addWidget(combo);
        callback = new QPushButton(QStringLiteral("cb"), group);
        SetControlId(callback, 1040, QStringLiteral("callbackButton"));
        inner->addWidget(callback);
        lower = new QPushButton(QStringLiteral("lower"), this);
        SetControlId(lower, 1047, QStringLiteral("lowerButton"));
        layout->addWidget(group);
        layout->addWidget(lower);
        noString = new QPushButton(QStringLiteral("none"), this);
        SetControlId(noString, 4242, QStringLiteral("noStringButton"));
        layout->addWidget(noString);
        list = new QListWidget(this);
        SetControlId(list, 1050, QStringLiteral("wideList"));
        list->addItem(QStringLiteral("a very long package name"));
        layout->addWidget(list);
        InitToolTips();
        late = new QPushButton(QStringLiteral("late"), this);
        SetControlId(late, 1018, QStringLiteral("lateButton"));
    }

    mutable QList<int> asked;
    QComboBox* combo;
    QPushButton* callback;
    QPushButton* lower;
    QPushButton* noString;
    QListWidget* list;
    QPushButton* late;

protected:
    QString ToolTipCallback(int controlId) const override {
        asked.append(controlId);
        return QStringLiteral("asked %1").arg(controlId);
    }
};

const QString kTable = QStringLiteral("1027\tSelect server from the list to watch\n"
                                      "1040\tTEXTCALLBACK\n"
                                      "1047\ttextcallback\n"
                                      "1050\tTooltipExpand\n"
                                      "1018\tManually add a new server to the list\n");

} // namespace

class ToolTipDialogTest : public QObject {
    Q_OBJECT

private slots:
    void comboBoxEditAnswersForTheComboBox() {
        CProbeDialog dialog(kTable);
        QVERIFY(dialog.combo->lineEdit() != nullptr);
        QCOMPARE(dialog.ToolTipFor(dialog.combo->lineEdit()),
                 QStringLiteral("Select server from the list to watch"));
        QCOMPARE(dialog.ToolTipFor(dialog.combo),
                 QStringLiteral("Select server from the list to watch"));
    }

    void exactCapitalsAskTheDialog() {
        CProbeDialog dialog(kTable);
        QCOMPARE(dialog.ToolTipFor(dialog.callback), QStringLiteral("asked 1040"));
        QCOMPARE(dialog.asked, QList<int>{1040});
    }

    void lowerCaseMarkerIsLiteralText() {
        CProbeDialog dialog(kTable);
        QCOMPARE(dialog.ToolTipFor(dialog.lower), QStringLiteral("textcallback"));
        QVERIFY(dialog.asked.isEmpty());
    }

    void idWithoutStringHasNoTooltip() {
        CProbeDialog dialog(kTable);
        QVERIFY(dialog.ToolTipFor(dialog.noString).isEmpty());
        // The tooltip event is taken without showing anything or failing.
        dialog.show();
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), dialog.noString->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(dialog.noString, &help);
        QVERIFY(!QToolTip::isVisible());
    }

    void controlsMadeAfterRegistrationGetNone() {
        CProbeDialog dialog(kTable);
        QVERIFY(dialog.ToolTipFor(dialog.late).isEmpty());
    }

    void expandingListShowsTheItemUnderTheMouse() {
        CProbeDialog dialog(kTable);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect itemRect = dialog.list->visualItemRect(dialog.list->item(0));
        QCOMPARE(dialog.ToolTipFor(dialog.list->viewport(), itemRect.center()),
                 QStringLiteral("a very long package name"));
        QVERIFY(dialog
                    .ToolTipFor(dialog.list->viewport(),
                                QPoint(2, dialog.list->viewport()->height() - 2))
                    .isEmpty());
    }

    void switchedOffShowsNothing() {
        CProbeDialog dialog(kTable, false);
        QVERIFY(dialog.ToolTipFor(dialog.combo->lineEdit()).isEmpty());
        QVERIFY(dialog.ToolTipFor(dialog.callback).isEmpty());
        QVERIFY(dialog.asked.isEmpty());
    }

    void tooltipEventOnInnerEditShowsTheComboText() {
        CProbeDialog dialog(kTable);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QLineEdit* edit = dialog.combo->lineEdit();
        QHelpEvent help(QEvent::ToolTip, QPoint(3, 3), edit->mapToGlobal(QPoint(3, 3)));
        QApplication::sendEvent(edit, &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("Select server from the list to watch"));
        QToolTip::hideText();
    }

    void embeddedTableHoldsTheProgramTexts() {
        const CStringTable table = CStringTable::Embedded();
        QCOMPARE(table.Find(1022).value_or(QString()), QStringLiteral("Take you to the news"));
        QCOMPARE(table.Find(1061).value_or(QString()), QStringLiteral("TEXTCALLBACK"));
        QCOMPARE(table.Find(1001).value_or(QString()),
                 QStringLiteral("The selected server's name and description"));
        QVERIFY(!table.Find(1015).has_value());
    }
};

QUILLORY_WATCH_TEST(ToolTipDialogTest);
#include "ToolTipDialogTest.moc"
