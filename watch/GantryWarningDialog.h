#pragma once
// "Gantry warning": the server requires packages that are not installed. The user opens the
// Gantry manager, gives up, or starts the game anyway. The missing packages are named, the
// Optional ones apart, as information only.

#include "ui/ToolTipDialog.h"

#include <QStringList>

class QLabel;

namespace quillory::ui {

class CGantryWarningDialog final : public CToolTipDialog {
    Q_OBJECT

public:
    static constexpr const char* CAPTION = "Gantry warning";
    static constexpr const char* TEXT =
        "You are missing files required to play on this server. The files can be downloaded "
        "from the Gantry Manager or press force connect to ignore this warning.";

    enum class Choice { MANAGER, CANCEL, FORCE_CONNECT };

    static constexpr const char* REQUIRED_HEADING = "Missing packages the server needs:";
    static constexpr const char* OPTIONAL_HEADING = "Optional packages not installed (not needed "
                                                    "to play):";

    // `required` and `optional` name the missing packages of each kind.
    explicit CGantryWarningDialog(QWidget* parent = nullptr, const QStringList& required = {},
                                  const QStringList& optional = {});

    // After the dialog closed: what the user chose. "Force connect" closes the dialog with the
    // same result as "Gantry Manager" and sets the force flag.
    Choice Result() const;
    bool Forced() const { return forced_; }

private:
    void ForceConnect();
    QLabel* PackageList(const char* heading, const QStringList& names, const char* name);

    bool forced_ = false;
};

} // namespace quillory::ui
