#include "watch/TrayIcon.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace quillory::ui {

namespace {

QColor MarkColour(CTrayIcon::Mark mark) {
    switch (mark) {
    case CTrayIcon::Mark::NO_REPLY:
        return QColor(0x8a, 0x8a, 0x8a);
    case CTrayIcon::Mark::WAITING:
        return QColor(0xe0, 0xa8, 0x20);
    case CTrayIcon::Mark::PLAYING:
        return QColor(0x2e, 0xa0, 0x43);
    case CTrayIcon::Mark::NONE:
        break;
    }
    return QColor();
}

void Run(const std::function<void()>& action) {
    if (action)
        action();
}

} // namespace

bool CTrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

CTrayIcon::CTrayIcon(const QIcon& icon, Actions actions, QObject* parent)
    : QObject(parent), icon_(icon), actions_(std::move(actions)), menu_(new QMenu),
      tray_(new QSystemTrayIcon(icon, this)) {
    QAction* show = menu_->addAction(QStringLiteral("Show"));
    QAction* playNow = menu_->addAction(QStringLiteral("Play Now"));
    menu_->addSeparator();
    QAction* quit = menu_->addAction(QStringLiteral("Quit"));
    connect(show, &QAction::triggered, this, [this] { Run(actions_.show); });
    connect(playNow, &QAction::triggered, this, [this] { Run(actions_.playNow); });
    connect(quit, &QAction::triggered, this, [this] { Run(actions_.quit); });
    // A click on the icon itself brings the window, as Show does.
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    Run(actions_.show);
            });
    tray_->setContextMenu(menu_);
    tray_->setToolTip(QStringLiteral("Quillory"));
    tray_->show();
}

CTrayIcon::~CTrayIcon() {
    // The tray does not own its menu.
    tray_->setContextMenu(nullptr);
    delete menu_;
}

void CTrayIcon::SetStatus(const QString& toolTip, Mark mark) {
    if (tray_->toolTip() != toolTip)
        tray_->setToolTip(toolTip);
    if (mark == mark_)
        return;
    mark_ = mark;
    tray_->setIcon(MarkedIcon(icon_, mark));
}

QString CTrayIcon::ToolTip() const {
    return tray_->toolTip();
}

QIcon CTrayIcon::MarkedIcon(const QIcon& icon, Mark mark) {
    if (mark == Mark::NONE)
        return icon;
    QIcon marked;
    for (const int size : {16, 32, 48}) {
        // Drawn into a pixmap of the very size: the icon may not have that size itself.
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        icon.paint(&painter, QRect(0, 0, size, size));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, size / 16.0));
        painter.setBrush(MarkColour(mark));
        const double dot = size * 0.42;
        painter.drawEllipse(QRectF(size - dot - 0.5, size - dot - 0.5, dot, dot));
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

} // namespace quillory::ui
