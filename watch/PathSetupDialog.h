#pragma once
// "Quillory path setup": asks for the game folder when neither the settings nor the game's
// registry keys give one that holds the game. The user browses for the executable or lets the
// program search the local fixed disks on a thread.

#include "common/Types.h"
#include "ui/ToolTipDialog.h"
#include "watch/core/GameSearch.h"

#include <functional>
#include <vector>

class QLineEdit;
class QPushButton;
class QTimer;

namespace quillory::ui {

class CPathSetupDialog final : public CToolTipDialog {
    Q_OBJECT

public:
    static constexpr const char* CAPTION = "Quillory path setup";
    static constexpr int REFRESH_MS = 100;

    // Where the search looks: the disks' roots and the mount points it never enters below them.
    struct Disks {
        std::vector<String> roots;
        std::vector<String> mountPoints;
    };
    // The executable the user chose in a file dialog; empty when none.
    using ChooseFile = std::function<QString(QWidget* parent)>;
    using ListDisks = std::function<Disks()>;

    // By default the file dialog of the configuration dialog and this machine's fixed disks.
    explicit CPathSetupDialog(QWidget* parent = nullptr, ChooseFile choose = {},
                              ListDisks disks = {});
    ~CPathSetupDialog() override;

    // After "OK": the folder found, with its separator; empty when nothing was found.
    const String& FoundFolder() const { return found_; }

    // One refresh, as the 100 ms timer runs it.
    void Refresh();
    bool Searching() const { return search_.Searching(); }
    // Test seam: the search's own, told each entry it visits on the search thread.
    CGameSearch& Search() { return search_; }

    // Neither Escape nor the window's close button ends the dialog while a search runs.
    void reject() override;

private:
    void Browse();
    void SearchOrStop();

    ChooseFile choose_;
    ListDisks disks_;
    CGameSearch search_;
    bool searchStarted_ = false; // a search thread exists that the timer has not yet finished
    String found_;

    QLineEdit* folder_;
    QPushButton* browse_;
    QPushButton* searchButton_;
    QPushButton* cancel_;
    QPushButton* ok_;
    QTimer* timer_;
};

} // namespace quillory::ui
