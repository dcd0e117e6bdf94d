#pragma once
// "Quillory config": the game folder. Accepting it restarts the program, since the Gantry
// database and the launcher depend on the folder.

#include "ui/ToolTipDialog.h"

class QCheckBox;
class QLineEdit;

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

    void accept() override;

private:
    void Browse();

    QLineEdit* folder_;
    QCheckBox* disableGantry_;
    QString gameFolder_;
};

} // namespace quillory::ui
