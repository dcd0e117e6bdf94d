#pragma once
// The main window: the server list, what the query engine learnt about the selected server,
// and the notifications when its game state changes. One 500 ms tick renders it all.

#include "common/MemoryStream.h"
#include "common/Tick.h"
#include "common/Types.h"
#include "gantry/db/DatabaseLoader.h"
#include "gantry/db/FileDatabase.h"
#include "net/BrowserHost.h"
#include "net/BrowserReply.h"
#include "net/ServerStatus.h"
#include "ui/ToolTipDialog.h"
#include "watch/core/BrowserChoices.h"
#include "watch/core/FriendTracker.h"
#include "watch/core/GameLauncher.h"
#include "watch/core/PlayerHistory.h"
#include "watch/core/ProgramCommandLine.h"
#include "watch/core/SettingsFile.h"
#include "watch/core/SlotWait.h"
#include "watch/core/UserConfig.h"
#include "watch/core/UserConfigFile.h"
#include "watch/core/WatchView.h"

#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QUrl;

namespace quillory::ui {

class CDesktopNotifier;
class CMessageBoxes;
class CNewsLink;
class CPlayersPlot;
class CQueuedTarget;
class IBrowserLink;
class CScanWaitDialog;
class ILauncher;
struct LaunchOutcome;
class INotifier;
class IServerWatch;
class CServersOverview;
class CServersTable;
class CTrayIcon;

class CWatchDialog final : public CToolTipDialog {
    Q_OBJECT

public:
    static constexpr int TICK_MS = 500;
    static constexpr uint32_t SCAN_WAIT_DELAY_MS = 2000;
    // "Quillory Gantry " and the program's version.
    static QString Caption();
    static constexpr const char* FIRST_RUN_CAPTION = "Quillory & Gantry";
    static constexpr const char* FIRST_RUN_TEXT =
        "This is the first time you run Quillory with Gantry.\n"
        "Gantry is going to examine your IVL installation files.\n"
        "This might take a few minutes depending on your computer\n"
        "and drive speeds.";
    static constexpr const char* BAD_ADDRESS_TEXT = "Bad address error";

    // What the window is lent for its life. `dataFolder` holds the settings and database
    // files; empty means the current folder.
    struct Parts {
        IServerWatch* watch = nullptr;
        CMessageBoxes* messageBoxes = nullptr;
        ILauncher* launcher = nullptr;
        INotifier* notifier = nullptr; // null: the embedded sounds and a caption flash
        String dataFolder;
        TickSource tick = quillory::TickCount; // for the scan wait dialog's delay
        // Runs the Gantry manager modally; tests replace it. Empty: the dialog's own exec().
        std::function<void(QDialog& manager)> runManager;
        // The browser server: news at start, the server browser, the self-upgrade. Without
        // it the news box stays empty and "Gantry browser" does nothing.
        IBrowserLink* browser = nullptr;
        BrowserEndpoint browserEndpoint;
        // Hands a web page to the desktop (the Link button's page, the download page, About);
        // false when nothing could show it. Null: the desktop's browser.
        std::function<bool(const QUrl&)> openUrl;
        // Turns the server's host into a dotted address for the game. Null: its dotted form,
        // else a blocking lookup.
        HostResolver resolve;
        // The bus of the desktop's notification service. None: no desktop notifications.
        std::optional<QDBusConnection> desktopBus;
        // Whether the saved servers are asked for the table; tests hand rounds in themselves.
        bool refreshServers = false;
        // The Unix time, for the player history. Null: the system clock.
        std::function<int64_t()> unixNow;
    };

    static constexpr const char* BROWSER_RESOLVE_TEXT =
        "Trouble resolving browser server address\nPlease try again";
    static constexpr const char* UPGRADE_CAPTION = "Quillory upgrade";
    static constexpr const char* UPGRADE_TEXT = "Quillory will now restart";
    static constexpr const char* DOWNLOAD_PAGE_BUTTON = "Open download page";
    static constexpr const char* LINK_REFUSED_TEXT =
        "This link is not a web page, so it was not opened:\n%1";
    static constexpr const char* SAVE_FAILED_TEXT = "Could not save %1";
    static constexpr const char* NO_BROWSER_TEXT = "Could not open %1: no web browser was found.";
    static constexpr const char* SETTINGS_MOVED_TEXT =
        "quillory.sav could not be read (%2) and was moved aside to %1.";
    static constexpr const char* SETTINGS_KEPT_TEXT =
        "quillory.sav could not be read (%2) nor moved aside (%3): %1 is left as it is and not "
        "saved over.";
    static constexpr const char* NO_REPLY_YET_TEXT =
        "Play Now starts the game once the server has answered.";
    static constexpr const char* SERVER_FULL_TEXT =
        "The server is full (%1).\nQuillory can start the game as soon as a slot frees.";
    static constexpr const char* JOIN_WHEN_FREE_BUTTON = "Join when a slot frees";
    static constexpr const char* WAITING_FOR_SLOT_TEXT = "Waiting for a free slot on %1";
    static constexpr const char* SLOT_FREE_TEXT = "A slot is free: starting the game";
    static constexpr const char* FRIEND_JOINED_TEXT = "%1 joined";
    static constexpr const char* FRIEND_LEFT_TEXT = "%1 left";
    static constexpr const char* FRIEND_JOINED_NOTICE = "%1 joined %2";
    static constexpr const char* FRIEND_LEFT_NOTICE = "%1 left %2";
    static constexpr const char* GAME_ENDED_TEXT = "The game has ended";

    explicit CWatchDialog(const Parts& parts, QWidget* parent = nullptr);
    ~CWatchDialog() override;

    // The opening steps after the engine runs: settings, game folder, database worker, the
    // tick, the program's command line (`words`, the first being the program path).
    void Open(const std::vector<String>& words);

    // One watch tick, as the 500 ms timer runs it.
    void Tick();
    // Stops the timer, for tests that drive Tick() themselves.
    void StopTimer();

    // Another copy of the program asked this one to come forward; seen at the next tick.
    void RequestRestore() { restoreRequested_ = true; }
    // Another copy handed over its command line (`words`, the first being its program path):
    // the window comes forward, and a server the line names is selected or added as at the
    // window's own start, at the next tick with no dialog open over the window.
    void HandOver(const std::vector<String>& words);

    // Set by the configuration dialog and by a finished upgrade: the program starts again after
    // the window closed.
    bool RestartRequested() const { return restartRequested_; }
    const String& ProgramPath() const { return programPath_; }

    // For the launcher and tests.
    const HandleArray<ServerEntry>& Entries() const { return settings_.entries; }
    int SelectedIndex() const { return selected_; }
    Handle<ServerEntry> SelectedEntry() const;
    const String& GameFolder() const { return settings_.gameFolder; }
    CFileDatabase& Database() { return database_; }
    bool GantryReady() const;
    // Runs the Gantry manager on the database and the selected server, from the Manager button
    // (on the server view while the button blinks) or from the launcher's "Gantry Manager".
    void OpenManager(int startTab);
    ServerStatus Status() const { return view_.Status(); }
    bool ManagerBlink() const { return managerBlink_; }
    uint32_t TickCounter() const { return tickCounter_; }

    // The server list actions, as the buttons run them with the dialog's answer.
    void AddServer(const ServerEntry& typed);
    void EditServer(const ServerEntry& typed);
    void DeleteServer();
    void SelectServer(int index);

    // Whether the closing steps have run.
    bool Closed() const { return closed_; }

    // The choices of "quillory.json" and the player history kept with them.
    const UserConfig& Config() const { return userConfig_; }
    CPlayerHistory& History() { return history_; }
    CServersOverview& Overview() { return *overview_; }
    // "Join when a slot frees" was chosen and has not ended yet.
    bool WaitingForSlot() const { return slotWait_.Waiting(); }
    void CancelSlotWait();
    // The tray icon, where the desktop has a tray.
    CTrayIcon* Tray() const { return tray_; }

    // "Gantry browser": the public Gantry servers, one of which may become the watched server. The
    // browser server's name is looked up first; the server browser opens once it is known.
    void Browse();
    bool LinkBlink() const;
    // The self-upgrade runs (the window is disabled until it ends).
    bool UpgradeRunning() const;

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // With "Close to tray" the close box hides the window; the tray's Quit ends the program.
    void closeEvent(QCloseEvent* event) override;

signals:
    // The window's own queued messages.
    void ScanWaitWanted();
    void DescriptionReceived();

private:
    // Building the window, in this order.
    void CreateWidgets();
    void CreateServerWidgets();
    void CreatePlayerWidgets();
    void CreateOverviewWidgets();
    // The desktop notifications and the tray, which need the finished window.
    void CreateDesktopParts();
    void CreateLayout();
    QGridLayout* SelectionLayout();
    QGridLayout* ServerLayout();
    QGridLayout* PlayersLayout();
    QLayout* OverviewLayout();
    void ConnectWidgets();
    void SizePlayerColumns();
    QLabel* CreateField(QWidget* parent, int id, const char* name);
    void AddField(QGridLayout* grid, int row, int column, const char* caption, QLabel* field,
                  int columnSpan = 1);

    // Step 4; a file that cannot be read is moved aside and the player told.
    void LoadSettingsFile();
    void CheckGameFolder();
    void StartDatabase();
    void ApplyCommandLine(const std::vector<String>& words);
    // Steps 10 and 11: the server `line` names, else `selected`, becomes the selection.
    void SelectFromLine(const ProgramCommandLine& line, int32_t selected);
    void FillServerList();
    // Item texts from the entries: two of the same description show their addresses.
    void LabelServerList();
    void OnSelectionChanged();
    void ResetDisplay();
    void ClearServerFields();

    // The tick's parts, in its order.
    void RestoreIfAsked();
    void TakeHandedLine();
    void BlinkButtons();
    void StepDatabase();
    void Render(const WatchFrame& frame);
    void WriteFields(const WatchFrame& frame);
    void Notify(const WatchFrame& frame);
    void ShowPlayers();
    void WriteGantry(const WatchFrame& frame);
    void HandleGameOver(const WatchFrame& frame);
    void RenameAfterServer();
    void ShowTrayStatus(const WatchFrame& frame);

    // The saved servers, friends, the slot wait and the desktop.
    void LoadUserConfig();
    void ApplyUserConfig();
    void EntriesChanged();
    void OnFriendSeen(const FriendEvent& event, const String& serverName);
    // Sound, flash and the desktop's bubble; `playNow` offers the action.
    void Tell(int sound, const QString& summary, const QString& body, bool playNow);
    QString SelectedName() const;
    // True when Play Now found the server full and the player chose to wait instead.
    bool OfferSlotWait();
    void CheckSlotWait(const WatchFrame& frame);
    void ShowWatchedRow(const WatchFrame& frame);
    void ShowSlotWait();
    void ShowFromTray();

    void OpenScanWait();
    void ReadDescription();
    void OnAddClicked();
    void OnEditClicked();
    void OnManagerClicked();
    void OnConfigClicked();
    void OnAlarmClicked(bool checked);
    void OnPlayNowClicked();
    // Play Now's launch itself: the Gantry check and the command line.
    void Launch();
    // What the window does after a launch: the manager, the refusal, the game-end boxes, closing.
    void ActOnLaunch(const LaunchOutcome& outcome);
    void UncheckGameEndBoxes();
    void OnLinkClicked();
    void BrowseAt(uint32_t address);
    void ShowServerBrowser(uint32_t address);
    // The browser's choice becomes the selected server, added to the list when new.
    void SelectChosenServer(const QString& address);
    // "Add to my servers": false when the list holds the address already.
    bool KeepServer(const QString& address, const QString& name);
    void PlayWhenAnswered();
    void FinishUpgrade();
    // While the upgrade runs only its Cancel and "Close" can be pressed.
    void ShowUpgradeRunning(bool running);
    void CloseDown();
    void SaveOnClosing();
    // `reason` empty: the file's writer gave none.
    void ShowSaveFailure(const QString& path, const QString& reason = QString());
    // A problem the player should know that needs no answer: the window's notice line, not a box.
    void ShowNotice(const QString& text);
    // False, and said once in the window, when no browser could show the page.
    bool OpenPage(const QString& address);

    QString DataPath(const char* name) const;

    Parts parts_;
    std::unique_ptr<INotifier> ownNotifier_;
    INotifier* notifier_;

    Settings settings_;
    // The settings file could not be read nor moved aside: it is not saved over.
    bool keepSettingsFile_ = false;
    int selected_ = -1;
    String programPath_;
    String programFolder_;
    bool restartRequested_ = false;
    bool restoreRequested_ = false;
    std::optional<std::vector<String>> handedLine_; // the latest line another copy handed over
    bool closed_ = false;
    // Ticks left to wait for the server chosen with the browser's Play Now; -1: none.
    int playNowTicksLeft_ = -1;
    bool playNowSettled_ = false;
    static constexpr int PLAY_NOW_WAIT_TICKS = 20; // 10 s

    CFileDatabase database_;
    std::unique_ptr<CDatabaseLoader> loader_;
    bool gameFolderUsable_ = false; // the start-up check gave a folder; no database without one
    bool loaderRunning_ = false;    // the worker was started and the tick has not yet seen it end
    bool scanWaitPending_ = false;  // the 2 s since the worker started have not yet passed
    bool inTick_ = false;
    CScanWaitDialog* scanWait_ = nullptr;
    CMemoryStream descriptionStream_;

    // Display state.
    CWatchView view_; // what the tick showed of the selected server
    uint32_t tickCounter_ = 0;
    bool statusValid_ = false;
    String watchedRowShown_; // what the table's watched row was last given, as one text
    bool notifyOn_ = true;
    bool launchOn_ = false;
    bool managerBlink_ = false;
    bool browsing_ = false; // from "Gantry browser" until the server browser has closed
    std::unique_ptr<CNewsLink> newsLink_;
    // Where the browser server's lookup hands its address back to.
    std::shared_ptr<CQueuedTarget> queued_;

    QTimer* timer_;
    QGroupBox* selectionBox_;
    QGroupBox* serverBox_;
    QGroupBox* newsBox_;
    QGroupBox* playersBox_;
    QComboBox* serverList_;
    QPushButton* cancelUpgrade_;
    QLabel* addressLabel_;
    QLabel* passwordLabel_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* delete_;
    QPushButton* browser_;
    QPlainTextEdit* description_;
    QPlainTextEdit* mission_;
    QPlainTextEdit* news_;
    QLabel* type_;
    QLabel* version_;
    QLabel* required_;
    QLabel* ping_;
    QLabel* locked_;
    QLabel* port_;
    QLabel* impl_;
    QLabel* platform_;
    QLabel* gantry_;
    QLabel* loggedOn_;
    QLabel* map_;
    QLabel* statusText_;
    QLabel* timeLeft_;
    QLabel* param_;
    QTreeWidget* players_;
    QPushButton* manager_;
    QPushButton* link_;
    QCheckBox* notify_;
    QCheckBox* launchWhenEnds_;
    QCheckBox* alarm_;
    QPushButton* about_;
    QPushButton* config_;
    QPushButton* playNow_;
    QPushButton* close_;
    QLabel* notice_;
    QLabel* slotWaitText_;
    QPushButton* cancelSlotWait_;
    QGroupBox* overviewBox_;
    CServersTable* serversTable_;
    CPlayersPlot* plot_;

    UserConfig userConfig_;
    CPlayerHistory history_;
    CUserConfigFile configFile_;
    std::unique_ptr<CServersOverview> overview_;
    CSlotWait slotWait_;
    CDesktopNotifier* desktop_ = nullptr;
    CTrayIcon* tray_ = nullptr;
    bool gameEndTold_ = false; // the game-end alarm went to the desktop for this game
    // "quillory.json" is written only when it was there or has something to keep, so a data
    // folder that never used these choices stays as it was.
    bool userConfigKept_ = false;
};

} // namespace quillory::ui
