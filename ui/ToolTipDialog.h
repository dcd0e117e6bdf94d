#pragma once
// Base of the program's dialogs: every control that carries a control id gets the string of
// that id as its tooltip, without code per control. "TEXTCALLBACK" asks the derived dialog.

#include "ui/StringTable.h"

#include <QDialog>
#include <QHash>
#include <QPoint>
#include <QString>

namespace quillory::ui {

class CToolTipDialog : public QDialog {
    Q_OBJECT

public:
    // The dynamic property that carries a control's id.
    static constexpr const char* CONTROL_ID_PROPERTY = "controlId";
    static constexpr const char* TEXT_CALLBACK = "TEXTCALLBACK";
    static constexpr const char* TOOLTIP_EXPAND = "TOOLTIPEXPAND";

    // With the program's own string table.
    explicit CToolTipDialog(QWidget* parent = nullptr);
    CToolTipDialog(QWidget* parent, CStringTable strings);
    ~CToolTipDialog() override;

    // The program-wide switch; set it before the dialog registers its tools.
    void SetToolTipsEnabled(bool enabled) { toolTipsEnabled_ = enabled; }
    bool ToolTipsEnabled() const { return toolTipsEnabled_; }

    // The text shown while the mouse rests at `localPos` over `receiver`, which may be a
    // control or any widget inside one; empty when there is no tooltip.
    QString ToolTipFor(QWidget* receiver, QPoint localPos = QPoint()) const;

    // The control with this id, or null.
    QWidget* Control(int id) const;
    static int ControlIdOf(const QWidget* widget);

protected:
    // Gives `widget` its control id and a name to find it by.
    static void SetControlId(QWidget* widget, int id, const QString& objectName);

    // Registers every control existing now, in the order of the dialog's widget tree.
    // Derived dialogs call it once their controls are built; later controls get no tooltip.
    void InitToolTips();

    // The text of a control registered with "TEXTCALLBACK"; none by default.
    virtual QString ToolTipCallback(int controlId) const;

    bool eventFilter(QObject* watched, QEvent* event) override;
    // Keeps the title whole.
    void showEvent(QShowEvent* event) override;

private:
    struct Tool {
        QString text;
        bool callback = false;
    };

    // The registered control that answers for `widget`: itself or its nearest ancestor.
    QWidget* ControlOf(QWidget* widget) const;
    void WatchDescendants(QWidget* control);

    CStringTable strings_;
    bool toolTipsEnabled_ = true;
    QHash<QWidget*, Tool> tools_;
};

} // namespace quillory::ui
