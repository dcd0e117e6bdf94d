#include "ui/ElidedTipDelegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace quillory::ui {

void CElidedTipDelegate::Install(QAbstractItemView* view) {
    view->setItemDelegate(new CElidedTipDelegate(view));
}

bool CElidedTipDelegate::TextCut(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem full = option;
    initStyleOption(&full, index);
    if (full.text.isEmpty())
        return false;
    // What the cell would need for all of its text, against what it has.
    return sizeHint(full, index).width() > option.rect.width();
}

bool CElidedTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event == nullptr || event->type() != QEvent::ToolTip || !index.isValid() ||
        !index.data(Qt::ToolTipRole).toString().isEmpty())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (!TextCut(option, index)) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view->viewport(),
                       option.rect);
    return true;
}

} // namespace quillory::ui
