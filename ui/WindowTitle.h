#pragma once
// Window titles shown whole: a dialog narrower than its title would have the window manager
// cut it.

class QWidget;

namespace quillory::ui {

// The least width at which the title bar shows `window`'s title whole, beside the window
// manager's icon and buttons.
int TitleWidth(const QWidget* window);

// Raises `window`'s minimum width to TitleWidth (never lowers it), as far as the screen allows.
void FitWindowTitle(QWidget* window);

} // namespace quillory::ui
