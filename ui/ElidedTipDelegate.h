#pragma once
// Item views whose columns cannot always be wide enough: a cell whose text is cut shows the
// whole text as its tooltip; a cell shown whole has none (its own tooltip, if any, stays).

#include <QStyledItemDelegate>

class QAbstractItemView;

namespace quillory::ui {

class CElidedTipDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Puts a delegate on `view` (owned by it).
    static void Install(QAbstractItemView* view);

    // Whether the text of `index`, drawn in `rect`, does not fit.
    bool TextCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

} // namespace quillory::ui
