#include "gantry/ui/GantryIcons.h"

#include <QPainter>
#include <QPixmap>

namespace quillory::ui {

namespace {

constexpr int kSize = 16;

// A round mark, filled or hollow, with an optional second colour on its right half.
QPixmap Dot(QColor fill, QColor right = QColor(), bool hollow = false) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(fill.darker(160), 1.2));
    painter.setBrush(hollow ? QBrush(Qt::NoBrush) : QBrush(fill));
    const QRectF circle(2.5, 2.5, 11, 11);
    painter.drawEllipse(circle);
    if (right.isValid()) {
        painter.setBrush(right);
        painter.setPen(Qt::NoPen);
        painter.drawPie(circle.adjusted(0.6, 0.6, -0.6, -0.6), -90 * 16, 180 * 16);
    }
    return pixmap;
}

QPixmap Folder() {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(150, 110, 20));
    painter.setBrush(QColor(240, 200, 80));
    painter.drawRect(1, 4, 13, 9);
    painter.drawRect(1, 2, 5, 2);
    return pixmap;
}

} // namespace

CGantryIcons::CGantryIcons() {
    const QColor green(40, 170, 60), grey(150, 150, 150), red(210, 50, 40), orange(240, 150, 30),
        yellow(230, 210, 40);
    icons_ = {QIcon(Dot(green)),     QIcon(Dot(grey)),        QIcon(Dot(red)),
              QIcon(Dot(grey, red)), QIcon(Dot(green, grey)), QIcon(Dot(grey, QColor(), true)),
              QIcon(Folder()),       QIcon(Dot(orange)),      QIcon(Dot(yellow))};
}

QIcon CGantryIcons::Icon(int index) const {
    return index >= 0 && index < icons_.size() ? icons_[index] : QIcon();
}

} // namespace quillory::ui
