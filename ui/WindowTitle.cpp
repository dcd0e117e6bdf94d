#include "ui/WindowTitle.h"

#include <QFontMetrics>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace quillory::ui {

namespace {

// The window manager's icon, its three buttons and the gaps between them.
constexpr int kTitleBarChrome = 150;

} // namespace

int TitleWidth(const QWidget* window) {
    // Title bars draw in a bold face of about the window's size.
    QFont font = window->font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(window->windowTitle()) + kTitleBarChrome;
}

void FitWindowTitle(QWidget* window) {
    int width = TitleWidth(window);
    if (const QScreen* screen = window->screen())
        width = std::min(width, screen->availableGeometry().width());
    if (width > window->minimumWidth())
        window->setMinimumWidth(width);
}

} // namespace quillory::ui
