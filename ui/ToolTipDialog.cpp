#include "ui/ToolTipDialog.h"

#include "ui/WindowTitle.h"

#include <QHelpEvent>
#include <QListWidget>
#include <QToolTip>
#include <QVariant>

namespace quillory::ui {

CToolTipDialog::CToolTipDialog(QWidget* parent)
    : CToolTipDialog(parent, CStringTable::Embedded()) {}

CToolTipDialog::CToolTipDialog(QWidget* parent, CStringTable strings)
    : QDialog(parent), strings_(std::move(strings)) {}

CToolTipDialog::~CToolTipDialog() = default;

void CToolTipDialog::SetControlId(QWidget* widget, int id, const QString& objectName) {
    widget->setProperty(CONTROL_ID_PROPERTY, id);
    widget->setObjectName(objectName);
}

int CToolTipDialog::ControlIdOf(const QWidget* widget) {
    const QVariant id = widget->property(CONTROL_ID_PROPERTY);
    return id.isValid() ? id.toInt() : 0;
}

QWidget* CToolTipDialog::Control(int id) const {
    const QList<QWidget*> widgets = findChildren<QWidget*>();
    for (QWidget* widget : widgets)
        if (ControlIdOf(widget) == id)
            return widget;
    return nullptr;
}

void CToolTipDialog::InitToolTips() {
    const QList<QWidget*> widgets = findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const int id = ControlIdOf(widget);
        if (id == 0 || tools_.contains(widget))
            continue;
        const std::optional<QString> text = strings_.Find(id);
        if (!text)
            continue;
        Tool tool;
        tool.callback = *text == QLatin1String(TEXT_CALLBACK);
        tool.text = tool.callback ? QString() : *text;
        tools_.insert(widget, tool);
        if (toolTipsEnabled_)
            WatchDescendants(widget);
    }
}

void CToolTipDialog::WatchDescendants(QWidget* control) {
    // The inner widgets (a combo box's edit, a list's viewport) receive the mouse; each
    // relays to the control it belongs to.
    control->installEventFilter(this);
    const QList<QWidget*> inner = control->findChildren<QWidget*>();
    for (QWidget* widget : inner)
        widget->installEventFilter(this);
}

QString CToolTipDialog::ToolTipCallback(int) const {
    return QString();
}

QWidget* CToolTipDialog::ControlOf(QWidget* widget) const {
    for (QWidget* w = widget; w != nullptr && w != this; w = w->parentWidget())
        if (tools_.contains(w))
            return w;
    return nullptr;
}

QString CToolTipDialog::ToolTipFor(QWidget* receiver, QPoint localPos) const {
    if (!toolTipsEnabled_ || receiver == nullptr)
        return QString();
    QWidget* control = ControlOf(receiver);
    if (control == nullptr)
        return QString();
    const Tool& tool = tools_[control];
    if (tool.callback)
        return ToolTipCallback(ControlIdOf(control));
    // A list whose items may be wider than itself shows the item under the mouse.
    if (tool.text.toUpper() == QLatin1String(TOOLTIP_EXPAND)) {
        auto* list = qobject_cast<QListWidget*>(control);
        if (list == nullptr)
            return tool.text;
        const QPoint viewportPos = list->viewport()->mapFrom(receiver, localPos);
        QListWidgetItem* item = list->itemAt(viewportPos);
        return item != nullptr ? item->text() : QString();
    }
    return tool.text;
}

void CToolTipDialog::showEvent(QShowEvent* event) {
    FitWindowTitle(this);
    QDialog::showEvent(event);
}

bool CToolTipDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType())
        return QDialog::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = ToolTipFor(widget, help->pos());
    if (text.isEmpty()) {
        // Nothing from the table: the widget may still have its own (a list's cut cell).
        QToolTip::hideText();
        return QDialog::eventFilter(watched, event);
    }
    QToolTip::showText(help->globalPos(), text, widget);
    return true;
}

} // namespace quillory::ui
