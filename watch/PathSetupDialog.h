#pragma once
// "Quillory path setup": asks for the game folder when neither the settings nor Wine's registry
// give one that holds the game. The player browses for the executable or lets the program search
// the Wine prefixes and the local fixed disks on a thread, then chooses among the folders found.
// Cancel, Escape and the close box always end it, and the caller keeps what it had.

#include "common/Types.h"
#include "ui/ToolTipDialog.h"
#include "watch/core/GameSearch.h"

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace quillory::ui {

class CPathSetupDialog final : public CToolTipDialog {
    Q_OBJECT

public:
    static constexpr const char* CAPTION = "Quillory path setup";
    static constexpr int REFRESH_MS = 100;

    // The executable the user chose in a file dialog; empty when none.
    using ChooseFile = std::function<QString(QWidget* parent)>;
    using ListPlaces = std::function<CGameSearch::Places()>;

    // By default the file dialog of the configuration dialog and this machine's Wine prefixes
    // and fixed disks.
    explicit CPathSetupDialog(QWidget* parent = nullptr, ChooseFile choose = {},
                              ListPlaces places = {});
    ~CPathSetupDialog() override;

    // After "OK": the chosen folder, with its separator.
    const String& FoundFolder() const { return found_; }

    // One refresh, as the 100 ms timer runs it.
    void Refresh();
    bool Searching() const { return search_.Searching(); }
    // Test seam: the search's own, told each entry it visits on the search thread.
    CGameSearch& Search() { return search_; }

    // Both end a running search first.
    void accept() override;
    void reject() override;

private:
    void BuildLayout();
    void ConnectWidgets();
    void Browse();
    void SearchOrStop();
    void AddChoice(const String& folder);
    int RowOf(const String& folder) const;
    void ShowSearchEnded();
    void ChoiceChanged();
    void EndSearch();

    ChooseFile choose_;
    ListPlaces places_;
    CGameSearch search_;
    bool searchStarted_ = false; // a search thread exists that the timer has not yet finished
    String found_;

    QListWidget* choices_;
    QLabel* status_;
    QPushButton* browse_;
    QPushButton* searchButton_;
    QPushButton* cancel_;
    QPushButton* ok_;
    QTimer* timer_;
};

} // namespace quillory::ui
