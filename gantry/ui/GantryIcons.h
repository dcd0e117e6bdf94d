#pragma once
// The manager's 16-pixel image list, drawn by the program: 0 active, 1 inactive, 2 missing,
// 3 inactive and missing, 4 partial, 5 nothing there, 6 folder, 7 some files missing,
// 8 installed elsewhere.

#include <QIcon>
#include <QList>

namespace quillory::ui {

class CGantryIcons final {
public:
    static constexpr int COUNT = 9;

    CGantryIcons();
    // The icon at `index`; an empty icon outside the list.
    QIcon Icon(int index) const;

private:
    QList<QIcon> icons_;
};

} // namespace quillory::ui
