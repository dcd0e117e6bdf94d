#pragma once
// "Gantry Server Browser": the public Gantry servers the browser server lists, each asked
// itself as soon as it is listed; rows fill in as they answer. The player sorts, filters and
// picks one to watch, to play on at once, or to keep in the server list.

#include "common/Types.h"
#include "net/PublicServer.h"
#include "net/ServerQuery.h"
#include "ui/ToolTipDialog.h"
#include "watch/core/BrowserChoices.h"
#include "watch/core/BrowserFilter.h"
#include "watch/core/LiveServer.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillory {
class CLiveBrowse;
}

namespace quillory::ui {

class CBrowserDialog final : public CToolTipDialog {
    Q_OBJECT

public:
    static constexpr int REFRESH_MS = 200;
    static constexpr const char* TITLE = "Public Gantry Servers";
    static constexpr const char* FULL_TEXT = "Only the first 10000 servers listed are shown.";
    static constexpr const char* ADDED_TEXT = "Added to my servers: %1";
    static constexpr const char* ALREADY_TEXT = "Already in my servers: %1";
    static constexpr uint32_t DEFAULT_TIMEOUT_MS = 3000;

    // Moves the records received since the last call to the end of the given array (under
    // the status lock, leaving out addresses and ports it already holds). Called on the
    // window's thread.
    using TakeServers = std::function<void(HandleArray<PublicServer>& into)>;
    // Puts the server (its address and name) in the player's list; false when it was there.
    using AddServer = std::function<bool(const QString& address, const QString& name)>;

    struct Options {
        // The sorting and filters, read at start and kept up to date as the player changes
        // them. Null: the dialog keeps its own for as long as it is open.
        BrowserChoices* choices = nullptr;
        InstalledGames games;                    // for "My game version"
        uint32_t timeoutMs = DEFAULT_TIMEOUT_MS; // how long each server has to answer
        bool askServers = true;                  // ask each listed server itself
        DefaultGamePorts ports;                  // probed for a server listed without a port
        AddServer addServer;                     // "Add to my servers"; hidden without it
        bool playNow = true;                     // offer "Play Now"
    };

    explicit CBrowserDialog(TakeServers takeServers, QWidget* parent = nullptr);
    CBrowserDialog(TakeServers takeServers, Options options, QWidget* parent = nullptr);
    ~CBrowserDialog() override;

    // One refresh, as the timer does it: take what arrived and what the servers answered,
    // add and update rows, enable the buttons.
    void Refresh();
    // Forgets the answers and asks every listed server again.
    void AskAgain();

    // The "Address" text of the row taken with "Select" or "Play Now"; empty otherwise.
    const QString& ChosenAddress() const { return chosen_; }
    // The dialog closed with "Play Now": the chosen server is to be played on.
    bool PlayNowChosen() const { return playNow_; }
    const BrowserChoices& Choices() const { return *choices_; }

private:
    class CRow;

    void CreateControls();
    void CreateLayout();
    void ConnectControls();
    void LoadChoices();
    void SaveChoices();

    void Choose(bool playNow);
    void AddToMyServers();
    void TakeAnswers();
    void AskServers(size_t from);
    // Adds a row for each visible record without one and drops the rows of hidden ones;
    // `clear` deletes every row first.
    void Refill(bool clear);
    void ShowRow(size_t index);
    void FitNames();
    void UpdateButtons();
    void UpdateSummary();
    bool Visible(const LiveServer& server) const;

    TakeServers takeServers_;
    Options options_;
    BrowserChoices ownChoices_;
    BrowserChoices* choices_;
    std::unique_ptr<CLiveBrowse> live_;

    HandleArray<PublicServer> taken_;
    std::vector<LiveServer> servers_;     // in the order listed
    std::vector<QTreeWidgetItem*> rowOf_; // each server's row, or null
    QHash<QString, size_t> indexOf_;      // address text to server
    QString chosen_;
    bool playNow_ = false;

    QTreeWidget* list_ = nullptr;
    QCheckBox* uprising_ = nullptr;
    QCheckBox* ironvale_ = nullptr;
    QLineEdit* search_ = nullptr;
    QCheckBox* notEmpty_ = nullptr;
    QCheckBox* notFull_ = nullptr;
    QCheckBox* notLocked_ = nullptr;
    QCheckBox* myVersion_ = nullptr;
    QSpinBox* maxPing_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* notice_ = nullptr;
    QLabel* full_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* select_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace quillory::ui
