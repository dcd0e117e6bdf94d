#pragma once
// The program in the desktop's tray, where there is one: the watched server's status as the
// tooltip and a coloured mark on the icon, and a menu with Show, Play Now and Quit.

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace quillory::ui {

class CTrayIcon final : public QObject {
    Q_OBJECT

public:
    // How the mark on the icon is coloured.
    enum class Mark { NONE, NO_REPLY, WAITING, PLAYING };

    struct Actions {
        std::function<void()> show;
        std::function<void()> playNow;
        std::function<void()> quit;
    };

    // Whether the desktop has a tray now.
    static bool Available();

    CTrayIcon(const QIcon& icon, Actions actions, QObject* parent = nullptr);
    ~CTrayIcon() override;

    void SetStatus(const QString& toolTip, Mark mark);
    QString ToolTip() const;
    Mark CurrentMark() const { return mark_; }
    // The menu, for tests that pick its entries.
    QMenu* Menu() const { return menu_; }

    // The icon with the mark drawn on it.
    static QIcon MarkedIcon(const QIcon& icon, Mark mark);

private:
    QIcon icon_;
    Actions actions_;
    Mark mark_ = Mark::NONE;
    QMenu* menu_;
    QSystemTrayIcon* tray_;
};

} // namespace quillory::ui
