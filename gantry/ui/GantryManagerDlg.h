#pragma once
// The Gantry manager: three views of the database on one list ("Gantry Server" with the offered
// packages, "Packages", "Advanced" with single files), the selected server's Gantry texts and
// mod settings, six tool buttons that change with the view, context menus, and the blinking
// "Download && Install" button. Every command runs on the shared package commands and refills
// the view; the list is a model over rows filled once per refill.

#include "gantry/db/DescribedFiles.h"
#include "gantry/db/FileDatabase.h"
#include "gantry/db/PackageCommands.h"
#include "gantry/db/PackageVerifier.h"
#include "gantry/ui/GantryViewModel.h"
#include "ui/ToolTipDialog.h"

#include <QTimer>

#include <array>
#include <functional>
#include <map>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabBar;
class QTableView;

namespace quillory::ui {

class CGantryQuestions;

// The watched server's mod settings that the manager shows and lets the player change.
struct ManagerModSettings {
    bool automaticMods = true;
    String startupParameters; // its "-mod=" value is shown as the custom mods
};

class CGantryManagerDlg final : public CToolTipDialog {
    Q_OBJECT

public:
    static constexpr int TIMER_PERIOD_MS = 1000;
    static constexpr int TOOL_COUNT = 6;

    // `mods` are the watched server's (none without one); `questions` asks and tells on the
    // manager's behalf.
    CGantryManagerDlg(CFileDatabase& db, std::optional<ManagerModSettings> mods,
                      CGantryQuestions& questions, QWidget* parent = nullptr);
    ~CGantryManagerDlg() override;

    // The tab shown when the dialog opens (1, "Packages", unless set).
    void SetStartTab(int tab) { startTab_ = tab; }
    int StartTab() const { return startTab_; }

    // Runs the download dialog; the default shows CGantryClientDlg. Tests give their own.
    std::function<void(CFileDatabase&)> runDownload;
    // Shows the outcome of "Verify files"; the default tells that everything matches, or shows
    // the differences in CVerifyResultDlg.
    std::function<void(const VerifyReport&)> showVerifyReport;
    // Opens a folder in the desktop shell; the default uses QDesktopServices.
    std::function<void(const QString& path)> openFolder;
    // Shows the described files of an offered package (its name, the rows); the default shows
    // COfferedFilesDlg.
    std::function<void(const QString& package, const std::vector<DescribedFileRow>& rows)>
        showOfferedFiles;

    // Refills, also used after every command.
    void FillServerView();
    void FillPackageView();
    void FillFileView(const CPackage* filter);

    // The command of a menu entry or tool button, by its id (see GantryControlIds.h); null for
    // an id without one. Created once; enabled as the selection allows.
    QAction* Action(int id) const;
    // Runs what tool button 1047..1061 does in the current view.
    void PressTool(int index);
    // The context menu of the current view for the selection now; null when nothing is
    // selected. The caller owns it.
    QMenu* BuildContextMenu();
    // "Bind to": "<new package>" and the first 200 packages.
    void FillBindMenu(QMenu* menu);

    // Selection keys of the list.
    void SelectAllRows();
    void InvertSelection();

    int CurrentView() const { return model_->CurrentView(); }
    CGantryViewModel* Model() const { return model_; }
    QTableView* List() const { return list_; }
    QTabBar* Tabs() const { return tabs_; }
    QPushButton* DownloadButton() const { return download_; }
    QPushButton* Tool(int index) const { return tools_[size_t(index)]; }
    QPushButton* VerifyButton() const { return verify_; }
    QLabel* SizeText() const { return sizeText_; }
    QLabel* Title() const { return title_; }
    QComboBox* Filter() const { return filter_; }
    QRadioButton* AutomaticMods() const { return automatic_; }
    QRadioButton* CustomMods() const { return custom_; }
    QLineEdit* CustomModValue() const { return customValue_; }
    QLineEdit* ModSuggestion() const { return suggestion_; }
    QLineEdit* ServerText(int index) const { return serverTexts_[size_t(index)]; }
    // Runs the 1000 ms timer's work once.
    void Tick();

    // The rows selected now, in list order.
    std::vector<int> SelectedRows() const;
    // The automatic-mods choice that "Close" stored for the watched server; nothing when the
    // dialog was left otherwise or had no server.
    std::optional<bool> StoredAutomaticMods() const { return storedAutomaticMods_; }

public slots:
    void CloseStoring();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QString ToolTipCallback(int controlId) const override;

private:
    void CreateActions();
    QAction* AddAction(int id, const char* text, void (CGantryManagerDlg::*command)());
    // Commands that read one row are disabled while several are selected.
    void UpdateActions();
    void BuildControls();
    void SetUpView(int view, const CPackage* filter = nullptr);
    // The controls of one view, without filling its rows.
    void ShowControlsOf(int view);
    // Opens at the size the largest view needs, so that switching views never resizes.
    void FitAllViews();
    void ApplyColumnWidths();
    // The selected rows by what they show, to select them again once the view is refilled.
    struct KeptSelection {
        int view = -1;
        std::vector<CGantryViewModel::RowKey> keys;
        std::vector<CGantryViewModel::RowKey> current;
    };
    KeptSelection KeepSelection() const;
    void RestoreSelection(const KeptSelection& kept);
    // The package the Advanced view is filtered by; null for all.
    const CPackage* CurrentFilter() const;
    void ShowContextMenu(const QPoint& pos);
    void DoubleClicked();

    HandleArray<CFileNode> SelectedNodes() const;
    std::vector<ListedNode> SelectedListed() const;
    HandleArray<CPackage> SelectedPackages() const;
    HandleArray<CPackage> SelectedOffered() const;

    void ActivateFiles();
    void DeactivateFiles();
    void UnbindFiles();
    void ActivatePackages();
    void FlagOffered();
    void DeflagOffered();
    void ShowOfferedFiles();
    void DissolvePackages();
    void UninstallPackages();
    void SelectChildren();
    void OpenFolder();
    void BindTo(size_t index);
    void BindToNewPackage();
    void DeactivatePackages();
    void EditPackage();
    void ShowPackageFiles();
    void RemovePackages(bool uninstall);
    void TellFailure(const CommandResult& result, bool files);
    void DownloadAndInstall();
    // "Verify files": the selected packages (Packages view) or the filter's package (Advanced
    // view), all real packages when none; on a worker, with the path in hand shown meanwhile.
    void VerifyFiles();
    void ShowVerifyReport(const VerifyReport& report);
    void Refill();

    CFileDatabase& db_;
    std::optional<ManagerModSettings> mods_;
    std::optional<bool> storedAutomaticMods_;
    CGantryQuestions& questions_;
    CPackageCommands commands_;
    int startTab_ = CGantryViewModel::VIEW_PACKAGES;
    bool anyFlagged_ = false;
    uint32_t blinkCounter_ = 0;
    uint64_t seenChanges_ = 0;
    bool opened_ = false;
    QTimer timer_;

    CGantryViewModel* model_;
    QTabBar* tabs_;
    QLabel* title_;
    QTableView* list_;
    QRadioButton* automatic_;
    QRadioButton* custom_;
    QLineEdit* suggestion_;
    QLineEdit* customValue_;
    std::array<QLabel*, 4> serverLabels_{};
    std::array<QLineEdit*, 4> serverTexts_{};
    QLabel* sizeText_;
    std::array<QPushButton*, TOOL_COUNT> tools_{};
    QComboBox* filter_;
    QPushButton* download_;
    QPushButton* close_;
    QPushButton* verify_;
    QWidget* serverPanel_;
    std::map<int, QAction*> actions_;
};

} // namespace quillory::ui
