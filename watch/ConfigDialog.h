#pragma once
// "Quillory config": the game folder, the friends, how often the saved servers are asked, the
// desktop notifications and the tray. A new game folder restarts the program, since the Gantry
// database and the launcher depend on it; the rest applies at once.

#include "ui/ToolTipDialog.h"
#include "watch/core/UserConfig.h"

#include <QStringList>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace quillory::ui {

class CConfigDialog final : public CToolTipDialog {
    Q_OBJECT

public:
    // `gameFolder` ends with a separator when not empty.
    explicit CConfigDialog(const QString& gameFolder, QWidget* parent = nullptr);

    // After "OK": empty, or the edit's text with the native separator appended when it
    // ends with none.
    QString GameFolder() const { return gameFolder_; }

    // The folder of a chosen executable up to and including its last "\" or "/"; `current`
    // when the path has no separator.
    static QString FolderOfExecutable(const QString& path, const QString& current);

    // A file dialog offering IRONVALE.EXE and IRONVALEUPRISING.EXE in any letter case;
    // empty when nothing was chosen. The process's current folder is kept.
    static QString ChooseExecutable(QWidget* parent);

    // The choices beside the game folder, as the window keeps them.
    struct Choices {
        QStringList friends;
        int refreshSeconds = DEFAULT_REFRESH_SECONDS;
        bool desktopNotifications = true;
        bool closeToTray = false;
    };
    static constexpr const char* NO_TRAY_TEXT = "Close to tray (this desktop has no tray)";

    void SetChoices(const Choices& choices);
    // After "OK": the friends trimmed, without empty or repeated names.
    const Choices& ChosenChoices() const { return choices_; }

    void accept() override;

private:
    void CreateChoiceWidgets();
    QLayout* FriendsLayout();
    void Browse();
    void AddFriend();
    void RemoveFriend();

    QLineEdit* folder_;
    QCheckBox* disableGantry_;
    QListWidget* friends_;
    QLineEdit* friendName_;
    QSpinBox* refresh_;
    QCheckBox* desktopNotifications_;
    QCheckBox* closeToTray_;
    QString gameFolder_;
    Choices choices_;
};

} // namespace quillory::ui
