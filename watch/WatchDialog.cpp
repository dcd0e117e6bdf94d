#include "watch/WatchDialog.h"

#include "common/Version.h"
#include "gantry/ui/GantryManagerDlg.h"
#include "gantry/ui/GantryQuestions.h"
#include "net/BrowserReply.h"
#include "platform/FileSystem.h"
#include "platform/HostResolve.h"
#include "ui/ControlIds.h"
#include "ui/MessageBoxes.h"
#include "ui/QueuedTarget.h"
#include "ui/TextConversion.h"
#include "watch/BrowserDialog.h"
#include "watch/BrowserLink.h"
#include "watch/ConfigDialog.h"
#include "watch/DesktopNotifier.h"
#include "watch/Launcher.h"
#include "watch/NewsLink.h"
#include "watch/Notifier.h"
#include "watch/PlayersPlot.h"
#include "watch/ScanWaitDialog.h"
#include "watch/ServerDialog.h"
#include "watch/ServerWatchSource.h"
#include "watch/ServersOverview.h"
#include "watch/ServersTable.h"
#include "watch/SoundNotifier.h"
#include "watch/TrayIcon.h"
#include "watch/core/BrowsedServer.h"
#include "watch/core/BrowserFilter.h"
#include "watch/core/FriendTracker.h"
#include "watch/core/GantryCheck.h"
#include "watch/core/ProgramCommandLine.h"
#include "watch/core/ServerList.h"
#include "watch/core/ServersTableRow.h"
#include "watch/core/UpgradeWorker.h"
#include "watch/core/WatchRules.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace quillory::ui {

namespace {

constexpr int kNoReplyNoticeMs = 8000;
// How the saved servers' box is first shared between the table and the plot, in pixels
// at the window's first size.
constexpr int kTableShare = 620;
constexpr int kPlotShare = 300;

QPlainTextEdit* ReadOnlyEdit(QWidget* parent, int lines) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    const int lineHeight = edit->fontMetrics().lineSpacing();
    edit->setMinimumHeight(lineHeight * lines + 10);
    edit->setMaximumHeight(lineHeight * lines + 10);
    return edit;
}

// The program's icon, drawn here in its big and small sizes: a quill over a round shield.
QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x2b, 0x4c, 0x7e));
        painter.setPen(QPen(QColor(0xd8, 0xb0, 0x4a), size / 12.0));
        painter.drawEllipse(QRectF(size * 0.06, size * 0.06, size * 0.88, size * 0.88));
        QPainterPath quill;
        quill.moveTo(size * 0.28, size * 0.78);
        quill.cubicTo(size * 0.35, size * 0.45, size * 0.55, size * 0.25, size * 0.78, size * 0.2);
        quill.cubicTo(size * 0.7, size * 0.45, size * 0.5, size * 0.62, size * 0.28, size * 0.78);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xf4, 0xf1, 0xe8));
        painter.drawPath(quill);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QString CWatchDialog::Caption() {
    return QStringLiteral("Quillory Gantry ") + QString::fromLatin1(PROGRAM_VERSION);
}

CWatchDialog::CWatchDialog(const Parts& parts, QWidget* parent)
    : CToolTipDialog(parent), parts_(parts), database_(parts.dataFolder), descriptionStream_(0),
      queued_(std::make_shared<CQueuedTarget>(this)), timer_(new QTimer(this)),
      configFile_(parts.unixNow) {
    if (parts_.notifier == nullptr)
        ownNotifier_ = std::make_unique<CSoundNotifier>(
            this, [this](const QString& text) { ShowNotice(text); });
    if (!parts_.openUrl)
        parts_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    notifier_ = parts_.notifier != nullptr ? parts_.notifier : ownNotifier_.get();
    if (!parts_.tick)
        parts_.tick = quillory::TickCount;

    // Opening, step 1: the tooltips; step 2: the display state.
    setWindowTitle(Caption());
    setWindowIcon(ProgramIcon());
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    CreateWidgets();
    newsLink_ = std::make_unique<CNewsLink>(
        parts_.watch, parts_.browser, parts_.browserEndpoint, news_, link_, this,
        [this](const QUrl& url) { return OpenPage(url.toString()); });
    CreateLayout();
    ConnectWidgets();
    InitToolTips();
    ResetDisplay();
    CreateDesktopParts();
}

CWatchDialog::~CWatchDialog() {
    queued_->Drop();
    CloseDown();
}

// ----------------------------------------------------------------------------------------------
// Building the window

QLabel* CWatchDialog::CreateField(QWidget* parent, int id, const char* name) {
    auto* field = new QLabel(parent);
    field->setTextFormat(Qt::PlainText);
    field->setMinimumWidth(60);
    SetControlId(field, id, QString::fromLatin1(name));
    return field;
}

void CWatchDialog::AddField(QGridLayout* grid, int row, int column, const char* caption,
                            QLabel* field, int columnSpan) {
    grid->addWidget(new QLabel(QString::fromLatin1(caption), field->parentWidget()), row, column);
    grid->addWidget(field, row, column + 1, 1, columnSpan);
}

void CWatchDialog::CreateWidgets() {
    // Server selection.
    selectionBox_ = new QGroupBox(QStringLiteral("Server selection"), this);
    serverList_ = new QComboBox(selectionBox_);
    SetControlId(serverList_, IDC_SERVER_LIST, QStringLiteral("serverList"));
    serverList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    serverList_->setMinimumContentsLength(24);
    add_ = new QPushButton(QStringLiteral("Add"), selectionBox_);
    SetControlId(add_, IDC_ADD, QStringLiteral("addButton"));
    edit_ = new QPushButton(QStringLiteral("Edit"), selectionBox_);
    SetControlId(edit_, IDC_EDIT, QStringLiteral("editButton"));
    delete_ = new QPushButton(QStringLiteral("Del"), selectionBox_);
    SetControlId(delete_, IDC_DELETE, QStringLiteral("deleteButton"));
    browser_ = new QPushButton(QStringLiteral("Gantry browser"), selectionBox_);
    SetControlId(browser_, IDC_BROWSER, QStringLiteral("browserButton"));
    addressLabel_ = new QLabel(selectionBox_);
    SetControlId(addressLabel_, IDC_ADDRESS_LABEL, QStringLiteral("addressLabel"));
    passwordLabel_ = new QLabel(selectionBox_);
    SetControlId(passwordLabel_, IDC_PASSWORD_LABEL, QStringLiteral("passwordLabel"));
    addressLabel_->setTextFormat(Qt::PlainText);
    passwordLabel_->setTextFormat(Qt::PlainText);

    CreateServerWidgets();
    CreatePlayerWidgets();

    // Notifications and the buttons.
    notify_ = new QCheckBox(QStringLiteral("Notify me when status changes"), this);
    SetControlId(notify_, IDC_NOTIFY, QStringLiteral("notifyBox"));
    launchWhenEnds_ = new QCheckBox(QStringLiteral("Launch IVL when this game ends"), this);
    SetControlId(launchWhenEnds_, IDC_LAUNCH_WHEN_ENDS, QStringLiteral("launchWhenEndsBox"));
    alarm_ = new QCheckBox(QStringLiteral("Alarm when this game ends"), this);
    SetControlId(alarm_, IDC_ALARM, QStringLiteral("alarmBox"));
    about_ = new QPushButton(QStringLiteral("About"), this);
    SetControlId(about_, IDC_ABOUT, QStringLiteral("aboutButton"));
    config_ = new QPushButton(QStringLiteral("Config"), this);
    SetControlId(config_, IDC_CONFIG, QStringLiteral("configButton"));
    playNow_ = new QPushButton(QStringLiteral("Play Now"), this);
    SetControlId(playNow_, IDC_PLAY_NOW, QStringLiteral("playNowButton"));
    close_ = new QPushButton(QStringLiteral("Close"), this);
    SetControlId(close_, IDC_OK, QStringLiteral("closeButton"));
    // Enter typed in the window must not end it: Close is never the default button.
    close_->setAutoDefault(false);
    close_->setDefault(false);
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("noticeLine"));
    notice_->setTextFormat(Qt::PlainText);
    notice_->setWordWrap(true);
    slotWaitText_ = new QLabel(this);
    slotWaitText_->setObjectName(QStringLiteral("slotWaitText"));
    slotWaitText_->setTextFormat(Qt::PlainText);
    cancelSlotWait_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelSlotWait_->setObjectName(QStringLiteral("cancelSlotWaitButton"));
    cancelSlotWait_->setAutoDefault(false);
    CreateOverviewWidgets();
}

void CWatchDialog::CreateOverviewWidgets() {
    overviewBox_ = new QGroupBox(QStringLiteral("Saved servers"), this);
    serversTable_ = new CServersTable(overviewBox_);
    plot_ = new CPlayersPlot(overviewBox_);
    plot_->setToolTip(QStringLiteral("Players of the selected server over the last hours; "
                                     "orange marks are new rounds"));
    CServersOverview::Parts overview;
    overview.table = serversTable_;
    overview.plot = plot_;
    overview.history = &history_;
    overview.friendSeen = [this](const FriendEvent& event, const String& serverName) {
        OnFriendSeen(event, serverName);
    };
    overview.refresh = parts_.refreshServers;
    overview.now = parts_.unixNow;
    overview_ = std::make_unique<CServersOverview>(std::move(overview));
}

void CWatchDialog::CreateDesktopParts() {
    if (parts_.desktopBus)
        desktop_ = new CDesktopNotifier(
            *parts_.desktopBus, [this] { OnPlayNowClicked(); },
            [this](const QString& text) { ShowNotice(text); }, this);
    if (!CTrayIcon::Available())
        return;
    CTrayIcon::Actions actions;
    actions.show = [this] { ShowFromTray(); };
    actions.playNow = [this] { OnPlayNowClicked(); };
    actions.quit = [this] { accept(); };
    tray_ = new CTrayIcon(windowIcon(), std::move(actions), this);
}

void CWatchDialog::CreateServerWidgets() {
    serverBox_ = new QGroupBox(QStringLiteral("Server"), this);
    description_ = ReadOnlyEdit(serverBox_, 2);
    SetControlId(description_, IDC_DESCRIPTION, QStringLiteral("descriptionEdit"));
    type_ = CreateField(serverBox_, IDC_TYPE, "typeField");
    version_ = CreateField(serverBox_, IDC_VERSION, "versionField");
    required_ = CreateField(serverBox_, IDC_REQUIRED, "requiredField");
    ping_ = CreateField(serverBox_, IDC_PING, "pingField");
    locked_ = CreateField(serverBox_, IDC_LOCKED, "lockedField");
    port_ = CreateField(serverBox_, IDC_PORT, "portField");
    impl_ = CreateField(serverBox_, IDC_IMPL, "implField");
    platform_ = CreateField(serverBox_, IDC_PLATFORM, "platformField");
    gantry_ = CreateField(serverBox_, IDC_GANTRY, "gantryField");
    manager_ = new QPushButton(QStringLiteral("Manager"), serverBox_);
    SetControlId(manager_, IDC_MANAGER, QStringLiteral("managerButton"));
    manager_->setEnabled(false);

    newsBox_ = new QGroupBox(QStringLiteral("News && messages"), this);
    news_ = ReadOnlyEdit(newsBox_, 3);
    news_->setMaximumHeight(QWIDGETSIZE_MAX);
    SetControlId(news_, IDC_NEWS, QStringLiteral("newsEdit"));
    link_ = new QPushButton(QStringLiteral("Link"), newsBox_);
    SetControlId(link_, IDC_LINK, QStringLiteral("linkButton"));
    link_->setEnabled(false);
    cancelUpgrade_ = new QPushButton(QStringLiteral("Cancel"), newsBox_);
    cancelUpgrade_->setObjectName(QStringLiteral("cancelUpgradeButton"));
    cancelUpgrade_->setVisible(false);
}

void CWatchDialog::CreatePlayerWidgets() {
    playersBox_ = new QGroupBox(QStringLiteral("Players"), this);
    loggedOn_ = CreateField(playersBox_, IDC_LOGGED_ON, "loggedOnField");
    players_ = new QTreeWidget(playersBox_);
    SetControlId(players_, IDC_PLAYERS, QStringLiteral("playersList"));
    players_->setRootIsDecorated(false);
    players_->setUniformRowHeights(true);
    players_->setSelectionMode(QAbstractItemView::SingleSelection);
    map_ = CreateField(playersBox_, IDC_MAP, "mapField");
    mission_ = ReadOnlyEdit(playersBox_, 2);
    SetControlId(mission_, IDC_MISSION, QStringLiteral("missionEdit"));
    statusText_ = CreateField(playersBox_, IDC_STATUS, "statusField");
    timeLeft_ = CreateField(playersBox_, IDC_TIME_LEFT, "timeLeftField");
    param_ = CreateField(playersBox_, IDC_PARAM, "paramField");
    SizePlayerColumns();
}

void CWatchDialog::SizePlayerColumns() {
    // Opening, step 12: the players list's columns.
    players_->setColumnCount(3);
    players_->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Score"), QStringLiteral("Deaths")});
    players_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    players_->header()->setStretchLastSection(false);
    // The widths are what the list was laid out for; a larger font still shows the titles.
    const int widths[] = {110, 35, 35};
    int total = 24;
    for (int column = 0; column < 3; ++column) {
        const int width = std::max(widths[column], players_->header()->sectionSizeHint(column));
        players_->setColumnWidth(column, width);
        total += width;
    }
    players_->setMinimumWidth(total);
}

QGridLayout* CWatchDialog::SelectionLayout() {
    auto* grid = new QGridLayout(selectionBox_);
    grid->addWidget(serverList_, 0, 0, 1, 4);
    grid->addWidget(add_, 1, 0);
    grid->addWidget(edit_, 1, 1);
    grid->addWidget(delete_, 1, 2);
    grid->addWidget(browser_, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Addr:"), selectionBox_), 2, 0);
    grid->addWidget(addressLabel_, 2, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Pw:"), selectionBox_), 3, 0);
    grid->addWidget(passwordLabel_, 3, 1, 1, 3);
    return grid;
}

QGridLayout* CWatchDialog::ServerLayout() {
    auto* grid = new QGridLayout(serverBox_);
    grid->addWidget(new QLabel(QStringLiteral("Description:"), serverBox_), 0, 0);
    grid->addWidget(description_, 0, 1, 1, 3);
    // The type has the row to itself: "Ironvale Uprising" is wider than one column.
    AddField(grid, 1, 0, "Type:", type_, 3);
    AddField(grid, 2, 0, "Version:", version_);
    AddField(grid, 2, 2, "Required:", required_);
    AddField(grid, 3, 0, "Ping:", ping_);
    AddField(grid, 3, 2, "Locked:", locked_);
    AddField(grid, 4, 0, "Port:", port_);
    AddField(grid, 4, 2, "Impl:", impl_);
    AddField(grid, 5, 0, "Platform:", platform_);
    AddField(grid, 6, 0, "Gantry Server:", gantry_);
    grid->addWidget(manager_, 6, 2, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return grid;
}

QGridLayout* CWatchDialog::PlayersLayout() {
    auto* grid = new QGridLayout(playersBox_);
    AddField(grid, 0, 0, "Logged on:", loggedOn_);
    grid->addWidget(players_, 1, 0, 1, 2);
    auto* game = new QGridLayout;
    AddField(game, 0, 0, "Map:", map_);
    game->addWidget(new QLabel(QStringLiteral("Current mission"), playersBox_), 1, 0);
    game->addWidget(mission_, 1, 1);
    AddField(game, 2, 0, "Status:", statusText_);
    AddField(game, 3, 0, "Time left:", timeLeft_);
    AddField(game, 4, 0, "Param:", param_);
    game->setColumnStretch(1, 1);
    grid->addLayout(game, 2, 0, 1, 2);
    grid->setRowStretch(1, 1);
    return grid;
}

void CWatchDialog::CreateLayout() {
    SelectionLayout();
    ServerLayout();
    PlayersLayout();
    auto* newsLayout = new QVBoxLayout(newsBox_);
    newsLayout->addWidget(news_, 1);
    auto* linkRow = new QHBoxLayout;
    linkRow->addStretch(1);
    linkRow->addWidget(cancelUpgrade_);
    linkRow->addWidget(link_);
    newsLayout->addLayout(linkRow);

    auto* waitRow = new QHBoxLayout;
    waitRow->addWidget(slotWaitText_, 1);
    waitRow->addWidget(cancelSlotWait_);
    auto* boxes = new QVBoxLayout;
    boxes->addWidget(notify_);
    boxes->addWidget(launchWhenEnds_);
    boxes->addWidget(alarm_);
    boxes->addLayout(waitRow);
    boxes->addWidget(notice_);
    auto* buttons = new QGridLayout;
    buttons->addWidget(about_, 0, 0);
    buttons->addWidget(config_, 0, 1);
    buttons->addWidget(playNow_, 1, 0);
    buttons->addWidget(close_, 1, 1);
    auto* bottom = new QHBoxLayout;
    // Fixed shares, so that the waiting line and its Cancel never squeeze the buttons.
    bottom->addLayout(boxes, 1);
    bottom->addLayout(buttons, 2);

    auto* left = new QVBoxLayout;
    left->addWidget(selectionBox_);
    left->addWidget(serverBox_);
    left->addWidget(newsBox_, 1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addWidget(playersBox_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 3);
    layout->addWidget(overviewBox_, 2);
    layout->addLayout(bottom);
    OverviewLayout();
    ShowSlotWait();
    resize(960, 780);
}

QLayout* CWatchDialog::OverviewLayout() {
    // The table beside the selected server's plot; the player may move the border.
    auto* splitter = new QSplitter(Qt::Horizontal, overviewBox_);
    splitter->addWidget(serversTable_);
    splitter->addWidget(plot_);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 1);
    // The table's nine columns need the room more than the plot does.
    splitter->setSizes({kTableShare, kPlotShare});
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(overviewBox_);
    layout->addWidget(splitter);
    return layout;
}

void CWatchDialog::ConnectWidgets() {
    connect(timer_, &QTimer::timeout, this, &CWatchDialog::Tick);
    connect(this, &CWatchDialog::ScanWaitWanted, this, &CWatchDialog::OpenScanWait,
            Qt::QueuedConnection);
    connect(this, &CWatchDialog::DescriptionReceived, this, &CWatchDialog::ReadDescription,
            Qt::QueuedConnection);
    connect(serverList_, &QComboBox::activated, this, &CWatchDialog::SelectServer);
    connect(add_, &QPushButton::clicked, this, &CWatchDialog::OnAddClicked);
    connect(edit_, &QPushButton::clicked, this, &CWatchDialog::OnEditClicked);
    connect(delete_, &QPushButton::clicked, this, &CWatchDialog::DeleteServer);
    connect(browser_, &QPushButton::clicked, this, &CWatchDialog::Browse);
    connect(manager_, &QPushButton::clicked, this, &CWatchDialog::OnManagerClicked);
    connect(link_, &QPushButton::clicked, this, &CWatchDialog::OnLinkClicked);
    connect(cancelUpgrade_, &QPushButton::clicked, this, [this] { newsLink_->CancelUpgrade(); });
    connect(about_, &QPushButton::clicked, this,
            [this] { OpenPage(QString::fromLatin1(PROGRAM_HOMEPAGE)); });
    connect(config_, &QPushButton::clicked, this, &CWatchDialog::OnConfigClicked);
    connect(playNow_, &QPushButton::clicked, this, &CWatchDialog::OnPlayNowClicked);
    connect(close_, &QPushButton::clicked, this, &CWatchDialog::accept);
    connect(alarm_, &QCheckBox::clicked, this, &CWatchDialog::OnAlarmClicked);
    connect(serversTable_, &CServersTable::EntryChosen, this, &CWatchDialog::SelectServer);
    connect(cancelSlotWait_, &QPushButton::clicked, this, &CWatchDialog::CancelSlotWait);
}

void CWatchDialog::ResetDisplay() {
    managerBlink_ = false;
    scanWait_ = nullptr;
    view_.Reset();
    statusValid_ = false;
    notify_->setChecked(true);
    launchWhenEnds_->setChecked(false);
    launchWhenEnds_->setEnabled(false);
    alarm_->setChecked(false);
}

QString CWatchDialog::DataPath(const char* name) const {
    if (parts_.dataFolder.empty())
        return QString::fromLatin1(name);
    String folder = parts_.dataFolder;
    if (folder.back() != '/')
        folder += '/';
    return FromLocal(folder) + QString::fromLatin1(name);
}

// ----------------------------------------------------------------------------------------------
// Opening and closing

void CWatchDialog::Open(const std::vector<String>& words) {
    // Step 4: settings.
    LoadSettingsFile();
    LoadUserConfig();
    FillServerList();
    // Step 5: the game folder.
    CheckGameFolder();
    // Step 6: the database worker.
    StartDatabase();
    // A stop request may have closed the window while the first-run message was up.
    if (closed_)
        return;
    // Step 7: the tick.
    timer_->start(TICK_MS);
    // Steps 8 to 11: the command line and the remembered selection.
    ApplyCommandLine(words);
    // Steps 13 and 14: the news, once the browser server's name is resolved.
    newsLink_->StartNewsLookup();
}

void CWatchDialog::LoadSettingsFile() {
    const String path = ToLocal(DataPath(SETTINGS_FILE));
    SettingsLoad load = ReadSettingsFile(path);
    settings_ = std::move(load.settings);
    if (load.state != SettingsLoad::DAMAGED)
        return;
    // Saving on close would overwrite the only copy of what the player had: it goes aside
    // first, and stays where it is when it cannot.
    String error;
    keepSettingsFile_ = !MoveSettingsAside(path, error);
    const QString text =
        keepSettingsFile_
            ? QString::fromLatin1(SETTINGS_KEPT_TEXT)
                  .arg(FromLocal(path), FromLocal(load.problem), FromLocal(error))
            : QString::fromLatin1(SETTINGS_MOVED_TEXT)
                  .arg(FromLocal(path + SETTINGS_BAD_SUFFIX), FromLocal(load.problem));
    // Once the window is up, over it.
    if (parts_.messageBoxes == nullptr)
        ShowNotice(text);
    else
        QTimer::singleShot(
            0, this, [this, text] { parts_.messageBoxes->Information(this, windowTitle(), text); });
}

void CWatchDialog::FillServerList() {
    serverList_->clear();
    for (const Handle<ServerEntry>& entry : settings_.entries)
        serverList_->addItem(FromLocal(entry->description));
    LabelServerList();
}

void CWatchDialog::LabelServerList() {
    const std::vector<String> labels = ListLabels(settings_.entries);
    for (int i = 0; i < serverList_->count() && size_t(i) < labels.size(); ++i)
        serverList_->setItemText(i, FromLocal(labels[size_t(i)]));
}

void CWatchDialog::CheckGameFolder() {
    if (parts_.launcher == nullptr) {
        gameFolderUsable_ = !settings_.gameFolder.empty();
        return;
    }
    const String checked = parts_.launcher->CheckGameFolder(settings_.gameFolder);
    gameFolderUsable_ = !checked.empty();
    // A player who cancelled the path setup keeps the folder the settings had: a disk that is
    // missing today may be back tomorrow.
    if (gameFolderUsable_)
        settings_.gameFolder = checked;
}

void CWatchDialog::StartDatabase() {
    if (settings_.gameFolder.empty() || !gameFolderUsable_)
        return; // no game folder: no worker, Gantry stays unavailable
    if (!platform::PathExists(ToLocal(DataPath(CFileDatabase::DATABASE_FILE))) &&
        parts_.messageBoxes != nullptr)
        parts_.messageBoxes->Information(this, QString::fromLatin1(FIRST_RUN_CAPTION),
                                         QString::fromLatin1(FIRST_RUN_TEXT));
    if (closed_)
        return;
    loader_ = std::make_unique<CDatabaseLoader>(database_);
    loaderRunning_ = loader_->Start(settings_.gameFolder);
    scanWaitPending_ = loaderRunning_;
}

void CWatchDialog::ApplyCommandLine(const std::vector<String>& words) {
    const ProgramCommandLine line = ParseProgramCommandLine(words);
    programPath_ = line.programPath;
    programFolder_ = line.programFolder;
    SelectFromLine(line, settings_.selectedIndex);
}

void CWatchDialog::SelectFromLine(const ProgramCommandLine& line, int32_t selected) {
    const size_t before = settings_.entries.size();
    ApplyProgramCommandLine(line, settings_.entries, selected);
    for (size_t i = before; i < settings_.entries.size(); ++i)
        serverList_->addItem(FromLocal(settings_.entries[i]->description));
    LabelServerList();
    // Step 11: the remembered selection becomes the list's; polling waits for the database.
    selected_ = selected >= 0 && selected < serverList_->count() ? selected : -1;
    serverList_->setCurrentIndex(selected_);
    const Handle<ServerEntry> entry = SelectedEntry();
    addressLabel_->setText(entry ? FromLocal(entry->address) : QString());
    passwordLabel_->setText(entry ? FromLocal(PasswordText(entry->password)) : QString());
    EntriesChanged();
    // Without a database worker nothing else starts the watch, so it starts here.
    if (!loaderRunning_ && entry)
        OnSelectionChanged();
}

void CWatchDialog::keyPressEvent(QKeyEvent* event) {
    // Escape would reject the dialog, which is the whole program, and Enter would press a
    // default button: only Close, the close box, the window menu and a stop signal end it.
    // Enter still presses the button that has the focus, as Space does.
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button != close_)
            button->click();
        event->accept();
        return;
    }
    if (key == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    CToolTipDialog::keyPressEvent(event);
}

void CWatchDialog::done(int result) {
    CloseDown();
    CToolTipDialog::done(result);
}

void CWatchDialog::CloseDown() {
    if (closed_)
        return;
    closed_ = true;
    // Step 1: the database worker stops before anything it uses goes.
    if (scanWait_ != nullptr)
        scanWait_->reject();
    if (loader_) {
        loader_->Cancel();
        loader_->Wait();
    }
    // A running upgrade is cancelled: its download stops at once, and files it has begun to
    // move are all moved or all put back.
    newsLink_->Close();
    // A waiting join never starts the game after the window has gone.
    slotWait_.Cancel();
    overview_->Stop();
    // Step 2: the tick.
    timer_->stop();
    // Step 3: the query engine.
    if (parts_.watch != nullptr)
        parts_.watch->Quit();
    SaveOnClosing();
}

void CWatchDialog::SaveOnClosing() {
    // Step 4: the settings.
    settings_.selectedIndex = selected_;
    const QString settingsPath = DataPath(SETTINGS_FILE);
    if (!keepSettingsFile_ && !SaveSettings(ToLocal(settingsPath), settings_))
        ShowSaveFailure(settingsPath);
    // The choices and the player history beside them.
    if (userConfigKept_ || history_.ServerCount() > 0) {
        const platform::SaveResult saved =
            configFile_.Save(parts_.dataFolder, userConfig_, history_);
        if (!saved)
            ShowSaveFailure(FromLocal(saved.path), FromLocal(saved.what));
    }
    // Step 5: the database, unless its file could not be read and is still in place. A worker
    // that still owns it would be saved half-way: what it has not undone yet would stay.
    const bool keepBadFile = loader_ && loader_->Finished() && loader_->Outcome().moveFailed;
    if (settings_.gameFolder.empty() || !loader_ || keepBadFile || database_.Busy())
        return;
    if (const DatabaseResult saved = database_.Save(); !saved)
        ShowSaveFailure(FromLocal(database_.DatabasePath()), FromLocal(saved.what));
}

void CWatchDialog::ShowNotice(const QString& text) {
    notice_->setText(text);
    notice_->setToolTip(text);
}

bool CWatchDialog::OpenPage(const QString& address) {
    if (parts_.openUrl(QUrl(address)))
        return true;
    ShowNotice(QString::fromLatin1(NO_BROWSER_TEXT).arg(address));
    return false;
}

void CWatchDialog::ShowSaveFailure(const QString& path, const QString& reason) {
    // The window is still up: the user learns now that what changed is lost, and why.
    QString text = QString::fromLatin1(SAVE_FAILED_TEXT).arg(path);
    if (!reason.isEmpty())
        text += QStringLiteral(": ") + reason;
    if (parts_.messageBoxes != nullptr)
        parts_.messageBoxes->Information(this, windowTitle(), text);
}

// ----------------------------------------------------------------------------------------------
// The server list

Handle<ServerEntry> CWatchDialog::SelectedEntry() const {
    return quillory::SelectedEntry(settings_.entries, selected_);
}

bool CWatchDialog::LinkBlink() const {
    return newsLink_->Blinking();
}

bool CWatchDialog::UpgradeRunning() const {
    return newsLink_->UpgradeRunning();
}

bool CWatchDialog::GantryReady() const {
    return loader_ && !loaderRunning_ && loader_->GantryReady();
}

void CWatchDialog::SelectServer(int index) {
    // The selection change reads the list's own selection; a pick made here must be in it.
    serverList_->setCurrentIndex(index);
    OnSelectionChanged();
}

void CWatchDialog::OnSelectionChanged() {
    const bool wasWatching = statusValid_;
    statusValid_ = false;
    // Step 1: the selected index.
    selected_ = serverList_->currentIndex();
    overview_->SetSelected(selected_);
    const Handle<ServerEntry> entry = SelectedEntry();
    // A join waited for on another server ends: the player has moved on.
    slotWait_.OnServerChanged(entry ? entry->address : String());
    ShowSlotWait();
    if (!entry) {
        addressLabel_->clear();
        passwordLabel_->clear();
        ClearServerFields();
        // The server that was watched may just have been deleted: it is not polled on.
        if (parts_.watch != nullptr)
            parts_.watch->Stop();
        return;
    }
    // Step 2: address and password.
    addressLabel_->setText(FromLocal(entry->address));
    passwordLabel_->setText(FromLocal(PasswordText(entry->password)));
    // Step 3: the previous server's Gantry information, while the database is the window's.
    if (!database_.Busy())
        database_.ClearOfferedList();
    managerBlink_ = false;
    // A fresh notification history for the new server, and none of the old server's fields:
    // a server that never answers must not show another one's data.
    view_.Reset();
    ClearServerFields();
    if (wasWatching) {
        launchWhenEnds_->setChecked(false);
        alarm_->setChecked(false);
        launchWhenEnds_->setEnabled(false);
    }
    // Step 4: the engine watches the new server.
    if (parts_.watch == nullptr || !parts_.watch->Select(*entry, GantryReady())) {
        statusText_->setText(QString::fromLatin1(BAD_ADDRESS_TEXT));
        return;
    }
    statusText_->clear();
    statusValid_ = true;
}

void CWatchDialog::ClearServerFields() {
    description_->clear();
    mission_->clear();
    for (QLabel* field : {type_, version_, required_, ping_, locked_, port_, impl_, platform_,
                          gantry_, loggedOn_, map_, statusText_, timeLeft_, param_})
        field->clear();
    players_->clear();
}

void CWatchDialog::AddServer(const ServerEntry& typed) {
    const size_t before = settings_.entries.size();
    int32_t selected = selected_;
    if (!quillory::AddServer(settings_.entries, selected, typed))
        return;
    for (size_t i = before; i < settings_.entries.size(); ++i)
        serverList_->addItem(FromLocal(settings_.entries[i]->description));
    LabelServerList();
    serverList_->setCurrentIndex(selected);
    EntriesChanged();
    OnSelectionChanged();
}

void CWatchDialog::EditServer(const ServerEntry& typed) {
    if (selected_ < 0) {
        AddServer(typed);
        return;
    }
    int32_t selected = selected_;
    if (!quillory::EditServer(settings_.entries, selected, typed))
        return;
    const Handle<ServerEntry> entry = quillory::SelectedEntry(settings_.entries, selected);
    if (entry) {
        // The item goes and comes back in the same place, with the new description.
        serverList_->insertItem(selected, FromLocal(entry->description));
        serverList_->removeItem(selected + 1);
    }
    LabelServerList();
    serverList_->setCurrentIndex(selected);
    EntriesChanged();
    OnSelectionChanged();
}

void CWatchDialog::DeleteServer() {
    int32_t selected = selected_;
    const int removed = selected_;
    if (!quillory::DeleteServer(settings_.entries, selected))
        return;
    serverList_->removeItem(removed);
    LabelServerList();
    serverList_->setCurrentIndex(selected);
    EntriesChanged();
    OnSelectionChanged();
}

void CWatchDialog::OnAddClicked() {
    CServerDialog dialog({}, false, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const CServerDialog::Fields& fields = dialog.Result();
    ServerEntry typed;
    typed.address = ToLocal(fields.address);
    typed.password = ToLocal(fields.password);
    typed.startupParameters = ToLocal(fields.parameters);
    AddServer(typed);
}

void CWatchDialog::OnEditClicked() {
    const Handle<ServerEntry> entry = SelectedEntry();
    if (!entry) {
        OnAddClicked();
        return;
    }
    CServerDialog dialog({FromLocal(entry->description), FromLocal(entry->address),
                          FromLocal(entry->password), FromLocal(entry->startupParameters)},
                         true, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const CServerDialog::Fields& fields = dialog.Result();
    ServerEntry typed;
    typed.description = ToLocal(fields.description);
    typed.address = ToLocal(fields.address);
    typed.password = ToLocal(fields.password);
    typed.startupParameters = ToLocal(fields.parameters);
    EditServer(typed);
}

// ----------------------------------------------------------------------------------------------
// The watch tick

void CWatchDialog::StopTimer() {
    timer_->stop();
}

void CWatchDialog::Tick() {
    // A message box or dialog opened by the tick runs its own loop; the timer must not
    // re-enter meanwhile.
    if (inTick_ || closed_)
        return;
    inTick_ = true;
    // 1. Another copy asked for this window, and may have named a server.
    RestoreIfAsked();
    TakeHandedLine();
    // 2.
    ++tickCounter_;
    // 3 and 4.
    BlinkButtons();
    // 5. The database worker.
    StepDatabase();
    // 6 and 7: the news and the status are read from one copy taken under the status lock.
    WatchSnapshot snapshot;
    if (parts_.watch != nullptr)
        snapshot = parts_.watch->Snapshot();
    // 8. The self-upgrade's progress takes the Link button.
    newsLink_->Show(snapshot.news, snapshot.upgradeProgress);
    // 9.
    if (!statusValid_) {
        inTick_ = false;
        return;
    }
    // 10.
    notifyOn_ = notify_->isChecked();
    launchOn_ = launchWhenEnds_->isChecked();
    // 11 to 18.
    const WatchFrame frame = view_.Update(std::move(snapshot.status), notifyOn_, GantryReady());
    Render(frame);
    PlayWhenAnswered();
    ShowTrayStatus(frame);
    CheckSlotWait(frame);
    ShowWatchedRow(frame);
    inTick_ = false;
}

void CWatchDialog::RestoreIfAsked() {
    if (!restoreRequested_)
        return;
    restoreRequested_ = false;
    if (isMinimized() || isHidden())
        showNormal();
    raise();
    activateWindow();
    // A dialog open over the window must stay above it, or the player cannot reach it.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
    notifier_->Flash();
}

void CWatchDialog::HandOver(const std::vector<String>& words) {
    restoreRequested_ = true;
    handedLine_ = words;
}

void CWatchDialog::TakeHandedLine() {
    if (!handedLine_)
        return;
    // A dialog over the window (server editor, manager, download) or a running upgrade works
    // on the selected server: the line waits until the window is the player's again.
    QWidget* modal = QApplication::activeModalWidget();
    if ((modal != nullptr && modal != this) || !isEnabled())
        return;
    const ProgramCommandLine line = ParseProgramCommandLine(*handedLine_);
    handedLine_.reset();
    // Only a line naming a server changes the selection.
    if (!line.host.empty())
        SelectFromLine(line, selected_);
}

void CWatchDialog::BlinkButtons() {
    // The manager button blinks while an offered package is missing.
    if (managerBlink_)
        manager_->setText(tickCounter_ % 2 != 0 ? QStringLiteral("Download")
                                                : QStringLiteral("Gantry"));
    else
        manager_->setText(QStringLiteral("Manager"));
    // The link button blinks while an upgrade is offered.
    newsLink_->Blink(tickCounter_);
}

void CWatchDialog::Render(const WatchFrame& frame) {
    if (frame.answered) {
        WriteFields(frame);
        Notify(frame);
        if (frame.playersChanged)
            ShowPlayers();
    }
    WriteGantry(frame);
    launchWhenEnds_->setEnabled(frame.gameEndAllowed);
    HandleGameOver(frame);
    RenameAfterServer();
}

void CWatchDialog::StepDatabase() {
    if (!loaderRunning_)
        return;
    if (loader_->Finished()) {
        loaderRunning_ = false;
        scanWaitPending_ = false;
        manager_->setEnabled(loader_->GantryReady());
        if (scanWait_ != nullptr)
            scanWait_->accept();
        const DatabaseLoadOutcome outcome = loader_->Outcome();
        if (outcome.movedAside && parts_.messageBoxes != nullptr) {
            const QString text = QStringLiteral("quillory.dat moved aside to %1 (%2)")
                                     .arg(FromLocal(outcome.badPath), FromLocal(outcome.loadError));
            QTimer::singleShot(0, this, [this, text] {
                parts_.messageBoxes->Information(this, QString::fromLatin1(FIRST_RUN_CAPTION),
                                                 text);
            });
        }
        // The selected server is looked at again, now with Gantry.
        OnSelectionChanged();
        return;
    }
    if (scanWaitPending_ && TicksSince(parts_.tick(), loader_->StartTick()) > SCAN_WAIT_DELAY_MS) {
        scanWaitPending_ = false;
        emit ScanWaitWanted();
    }
}

namespace {

void SetIfGiven(QLabel* field, const std::optional<String>& text) {
    if (text)
        field->setText(FromNetwork(*text));
}

} // namespace

void CWatchDialog::WriteFields(const WatchFrame& frame) {
    if (frame.descriptionChanged)
        description_->setPlainText(FromNetwork(frame.description));
    if (frame.missionChanged)
        mission_->setPlainText(FromNetwork(frame.mission));
    SetIfGiven(type_, frame.type);
    loggedOn_->setText(FromNetwork(frame.loggedOn));
    SetIfGiven(timeLeft_, frame.timeLeft);
    map_->setText(FromNetwork(frame.map));
    SetIfGiven(param_, frame.param);
    SetIfGiven(platform_, frame.platform);
    version_->setText(FromNetwork(frame.version));
    required_->setText(FromNetwork(frame.required));
    ping_->setText(FromNetwork(frame.ping));
    port_->setText(FromNetwork(frame.port));
    locked_->setText(FromNetwork(frame.locked));
    impl_->setText(FromNetwork(frame.implementation));
}

void CWatchDialog::Notify(const WatchFrame& frame) {
    statusText_->setText(FromNetwork(frame.status));
    if (frame.notification.notify)
        Tell(frame.notification.sound, SelectedName(), FromNetwork(frame.status), true);
}

void CWatchDialog::ShowPlayers() {
    // Rows are updated in place, so a selected player stays selected while listed.
    QSet<QString> listed;
    for (const PlayerRow& player : view_.Players()) {
        const QString name = FromNetwork(player.name);
        listed.insert(name);
        QTreeWidgetItem* row = nullptr;
        for (int i = 0; i < players_->topLevelItemCount() && row == nullptr; ++i)
            if (players_->topLevelItem(i)->text(0) == name)
                row = players_->topLevelItem(i);
        if (row == nullptr) {
            row = new QTreeWidgetItem(players_);
            row->setText(0, name);
        }
        row->setText(1, FromNetwork(player.score));
        row->setText(2, FromNetwork(player.deaths));
    }
    for (int i = players_->topLevelItemCount() - 1; i >= 0; --i)
        if (!listed.contains(players_->topLevelItem(i)->text(0)))
            delete players_->takeTopLevelItem(i);
}

void CWatchDialog::WriteGantry(const WatchFrame& frame) {
    if (!frame.gantry.empty()) {
        gantry_->setText(FromNetwork(frame.gantry));
        if (const Handle<ServerEntry> entry = SelectedEntry())
            overview_->SetGantry(entry->address, frame.gantry);
    }
    // The description goes to the database only while the window owns it.
    if (!frame.descriptionComplete || loaderRunning_ || database_.Busy() || parts_.watch == nullptr)
        return;
    std::optional<std::vector<uint8_t>> description = parts_.watch->TakeDescription();
    if (!description)
        return;
    descriptionStream_.Seek(0, 0);
    descriptionStream_.Clear();
    descriptionStream_.Write(description->data(), description->size());
    descriptionStream_.Seek(0, 0);
    emit DescriptionReceived();
}

void CWatchDialog::ReadDescription() {
    if (database_.Busy() || closed_)
        return;
    database_.ReadOfferedList(descriptionStream_);
    GantryAlert alert;
    database_.CheckOfferedPackages(alert);
    managerBlink_ = alert.managerBlink;
}

void CWatchDialog::HandleGameOver(const WatchFrame& frame) {
    if (!frame.gameOver) {
        if (frame.answered)
            gameEndTold_ = false;
        return;
    }
    if (launchOn_) {
        launchWhenEnds_->setChecked(false);
        launchOn_ = false;
        OnPlayNowClicked();
    }
    if (tickCounter_ % 4 == 0 && alarm_->isChecked())
        notifier_->Play(SND_ALARM);
    // The alarm sounds on; the desktop hears of the game's end once.
    if (alarm_->isChecked() && !gameEndTold_ && desktop_ != nullptr)
        desktop_->Show(SelectedName(), QString::fromLatin1(GAME_ENDED_TEXT), true);
    gameEndTold_ = gameEndTold_ || alarm_->isChecked();
}

void CWatchDialog::RenameAfterServer() {
    const Handle<ServerEntry> entry = SelectedEntry();
    if (!entry || view_.ShownDescription().empty())
        return;
    // The server's name arrives in its own code page; the list keeps local text.
    const std::optional<String> renamed = RenamedDescription(*entry, view_.ShownDescription());
    if (!renamed)
        return;
    entry->description = ToLocal(FromNetwork(*renamed));
    const int index = selected_;
    serverList_->insertItem(index, FromLocal(entry->description));
    serverList_->removeItem(index + 1);
    LabelServerList();
    serverList_->setCurrentIndex(index);
    EntriesChanged();
}

// ----------------------------------------------------------------------------------------------
// Buttons and queued messages

void CWatchDialog::OpenScanWait() {
    if (!loaderRunning_ || closed_ || scanWait_ != nullptr)
        return;
    CDatabaseLoader* loader = loader_.get();
    CScanWaitDialog dialog([loader] { return ShownPath(loader->ScanText()); },
                           [loader] { loader->Cancel(); }, this);
    scanWait_ = &dialog;
    dialog.exec();
    scanWait_ = nullptr;
}

void CWatchDialog::UncheckGameEndBoxes() {
    launchWhenEnds_->setChecked(false);
    alarm_->setChecked(false);
}

void CWatchDialog::OnManagerClicked() {
    launchWhenEnds_->setChecked(false);
    alarm_->setChecked(false);
    OpenManager(managerBlink_ ? CGantryViewModel::VIEW_SERVER : CGantryViewModel::VIEW_PACKAGES);
}

void CWatchDialog::OpenManager(int startTab) {
    // The manager reads the tree: never while the start-up worker owns the database.
    if (GantryReady() && !database_.Busy()) {
        CGantryQuestions questions;
        Handle<ServerEntry> entry = SelectedEntry();
        std::optional<ManagerModSettings> mods;
        if (entry)
            mods = ManagerModSettings{entry->automaticMods, entry->startupParameters};
        CGantryManagerDlg dialog(database_, mods, questions, this);
        dialog.SetStartTab(startTab);
        if (parts_.runManager)
            parts_.runManager(dialog);
        else
            dialog.exec();
        if (auto automatic = dialog.StoredAutomaticMods(); automatic && entry)
            entry->automaticMods = *automatic;
    }
    GantryAlert alert;
    if (GantryReady() && !database_.Busy())
        database_.CheckOfferedPackages(alert);
    managerBlink_ = alert.managerBlink;
}

void CWatchDialog::OnConfigClicked() {
    CConfigDialog dialog(FromLocal(settings_.gameFolder), this);
    CConfigDialog::Choices choices;
    for (const String& name : userConfig_.friends)
        choices.friends << FromNetwork(name);
    choices.refreshSeconds = userConfig_.refreshSeconds;
    choices.desktopNotifications = userConfig_.desktopNotifications;
    choices.closeToTray = userConfig_.closeToTray;
    dialog.SetChoices(choices);
    if (dialog.exec() != QDialog::Accepted || closed_)
        return;
    const CConfigDialog::Choices& chosen = dialog.ChosenChoices();
    // Friends are matched against the names servers send, in the game's code page.
    userConfig_.friends.clear();
    for (const QString& name : chosen.friends)
        userConfig_.friends.push_back(ToNetwork(name));
    userConfig_.refreshSeconds = ClampRefreshSeconds(chosen.refreshSeconds);
    userConfig_.desktopNotifications = chosen.desktopNotifications;
    userConfig_.closeToTray = chosen.closeToTray;
    userConfigKept_ = true;
    ApplyUserConfig();
    // Only a new game folder needs the program to start again.
    const String folder = ToLocal(dialog.GameFolder());
    if (folder == settings_.gameFolder)
        return;
    settings_.gameFolder = folder;
    restartRequested_ = true;
    accept();
}

// ----------------------------------------------------------------------------------------------
// The saved servers, friends, the slot wait, the desktop and the tray

void CWatchDialog::LoadUserConfig() {
    userConfigKept_ = platform::PathExists(ToLocal(DataPath(USER_CONFIG_FILE)));
    UserConfigLoad load = configFile_.Load(parts_.dataFolder);
    userConfig_ = std::move(load.config);
    history_ = std::move(load.history);
    // A damaged file was moved aside: said once, where the player looks.
    if (!load.notice.empty())
        ShowNotice(FromLocal(load.notice));
    ApplyUserConfig();
}

void CWatchDialog::ApplyUserConfig() {
    overview_->SetFriends(userConfig_.friends);
    overview_->SetIntervalSeconds(userConfig_.refreshSeconds);
    if (desktop_ != nullptr)
        desktop_->SetEnabled(userConfig_.desktopNotifications);
}

void CWatchDialog::EntriesChanged() {
    overview_->SetEntries(settings_.entries);
    overview_->SetSelected(selected_);
}

QString CWatchDialog::SelectedName() const {
    const std::vector<String> labels = ListLabels(settings_.entries);
    if (selected_ < 0 || size_t(selected_) >= labels.size())
        return Caption();
    return FromLocal(labels[size_t(selected_)]);
}

void CWatchDialog::Tell(int sound, const QString& summary, const QString& body, bool playNow) {
    notifier_->Play(sound);
    notifier_->Flash();
    if (desktop_ != nullptr)
        desktop_->Show(summary, body, playNow);
}

void CWatchDialog::OnFriendSeen(const FriendEvent& event, const String& serverName) {
    if (closed_)
        return;
    const QString text = QString::fromLatin1(event.joined ? FRIEND_JOINED_TEXT : FRIEND_LEFT_TEXT)
                             .arg(FromNetwork(event.name));
    // Play Now is offered only where it would start the game on that very server.
    const Handle<ServerEntry> entry = SelectedEntry();
    const bool watched = entry && entry->address == event.address;
    Tell(event.joined ? SND_WAITING : SND_DEBRIEFING, FromLocal(serverName), text, watched);
    // The line under the check boxes keeps the latest, for a desktop without notifications.
    ShowNotice(QString::fromLatin1(event.joined ? FRIEND_JOINED_NOTICE : FRIEND_LEFT_NOTICE)
                   .arg(FromNetwork(event.name), FromLocal(serverName)));
}

bool CWatchDialog::OfferSlotWait() {
    const Handle<ServerEntry> entry = SelectedEntry();
    const ServerStatus& status = view_.Status();
    const int maximum = ParsedMaxPlayers(status.maxPlayers);
    if (!entry || !statusValid_ || maximum <= 0 || status.players < maximum)
        return false;
    const QString count = FromNetwork(LoggedOnText(status.players, status.maxPlayers));
    if (parts_.messageBoxes == nullptr ||
        !parts_.messageBoxes->Offer(this, windowTitle(),
                                    QString::fromLatin1(SERVER_FULL_TEXT).arg(count),
                                    QString::fromLatin1(JOIN_WHEN_FREE_BUTTON)))
        return true;
    // The window may have closed while the box was up.
    if (!closed_)
        slotWait_.Start(entry->address);
    ShowSlotWait();
    return true;
}

void CWatchDialog::CheckSlotWait(const WatchFrame& frame) {
    const Handle<ServerEntry> entry = SelectedEntry();
    if (!slotWait_.Waiting() || !frame.answered || !entry)
        return;
    const ServerStatus& status = view_.Status();
    if (!slotWait_.OnStatus(entry->address, status.players, ParsedMaxPlayers(status.maxPlayers)))
        return;
    ShowSlotWait();
    if (desktop_ != nullptr)
        desktop_->Show(SelectedName(), QString::fromLatin1(SLOT_FREE_TEXT), false);
    Launch();
}

void CWatchDialog::ShowWatchedRow(const WatchFrame& frame) {
    const Handle<ServerEntry> entry = SelectedEntry();
    if (!frame.answered || !entry)
        return;
    // The table is refilled only when what its row shows has changed.
    const String shown = entry->address + '\n' + frame.status + '\n' + frame.loggedOn + '\n' +
                         frame.map + '\n' + frame.mission + '\n' + frame.ping + '\n' + frame.locked;
    if (shown == watchedRowShown_)
        return;
    watchedRowShown_ = shown;
    overview_->ShowWatched(entry->address, view_.Status());
}

void CWatchDialog::CancelSlotWait() {
    slotWait_.Cancel();
    ShowSlotWait();
}

void CWatchDialog::ShowSlotWait() {
    const bool waiting = slotWait_.Waiting();
    slotWaitText_->setVisible(waiting);
    cancelSlotWait_->setVisible(waiting);
    slotWaitText_->setText(waiting ? QString::fromLatin1(WAITING_FOR_SLOT_TEXT).arg(SelectedName())
                                   : QString());
}

void CWatchDialog::ShowTrayStatus(const WatchFrame& frame) {
    if (tray_ == nullptr)
        return;
    QString text = SelectedName();
    CTrayIcon::Mark mark = CTrayIcon::Mark::NO_REPLY;
    if (frame.answered) {
        text += QStringLiteral(": ") + FromNetwork(frame.status) + QStringLiteral(", ") +
                FromNetwork(frame.loggedOn);
        mark = IsGameInProgress(view_.Status().state) ? CTrayIcon::Mark::PLAYING
                                                      : CTrayIcon::Mark::WAITING;
    }
    if (slotWait_.Waiting())
        text += QStringLiteral("\n") + slotWaitText_->text();
    tray_->SetStatus(text, mark);
}

void CWatchDialog::ShowFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void CWatchDialog::closeEvent(QCloseEvent* event) {
    if (tray_ != nullptr && userConfig_.closeToTray && !closed_) {
        hide();
        event->ignore();
        return;
    }
    CToolTipDialog::closeEvent(event);
}

void CWatchDialog::OnAlarmClicked(bool checked) {
    if (checked)
        notifier_->Play(SND_ALARM);
}

void CWatchDialog::OnPlayNowClicked() {
    if (parts_.launcher == nullptr || closed_)
        return;
    // Play Now pressed while a join waits: the player acts now, the wait is over.
    slotWait_.OnManualLaunch();
    ShowSlotWait();
    if (OfferSlotWait())
        return;
    Launch();
}

void CWatchDialog::Launch() {
    const bool gantry = GantryReady();
    // The Gantry check activates what the server needs and compares its packages afresh.
    if (gantry && !database_.OfferedPackages().empty())
        CheckRequiredPackages(database_);
    const Handle<ServerEntry> entry = SelectedEntry();
    const HostResolver resolve = parts_.resolve ? parts_.resolve : HostResolver(&ResolveHostDotted);
    const LaunchRequest request =
        BuildLaunchRequest(entry ? *entry : ServerEntry{}, view_.Status(), settings_.gameFolder,
                           gantry ? &database_ : nullptr, resolve);
    const LaunchOutcome outcome = parts_.launcher->PlayNow(request, this);
    // A press that does nothing would leave the player guessing.
    if (outcome.kind == LaunchOutcome::Kind::NOTHING) {
        const QString text = QString::fromLatin1(NO_REPLY_YET_TEXT);
        ShowNotice(text);
        // It answers this press only; a lasting notice (no sound, no browser) stays.
        QTimer::singleShot(kNoReplyNoticeMs, this, [this, text] {
            if (notice_->text() == text)
                ShowNotice(QString());
        });
    }
    ActOnLaunch(outcome);
}

void CWatchDialog::ActOnLaunch(const LaunchOutcome& outcome) {
    using Kind = LaunchOutcome::Kind;
    if (outcome.kind == Kind::NEEDS_MANAGER) {
        // The missing packages are on the server view, whether or not the button blinks.
        UncheckGameEndBoxes();
        OpenManager(CGantryViewModel::VIEW_SERVER);
    }
    const bool tried = outcome.kind == Kind::FAILED || outcome.kind == Kind::STARTED;
    const bool refused = outcome.kind == Kind::REFUSED || outcome.kind == Kind::FAILED;
    if (refused && parts_.messageBoxes != nullptr)
        parts_.messageBoxes->Information(this, windowTitle(), QString::fromStdString(outcome.text));
    if (tried)
        UncheckGameEndBoxes();
    if (outcome.kind == Kind::STARTED)
        accept(); // closing saves the settings and ends the program
}

void CWatchDialog::OnLinkClicked() {
    using Outcome = CNewsLink::ClickOutcome;
    switch (newsLink_->Click(programPath_, [this] { FinishUpgrade(); })) {
    case Outcome::UPGRADE_STARTED:
        ShowUpgradeRunning(true);
        break;
    case Outcome::PACKAGE_MANAGER:
        if (parts_.messageBoxes != nullptr &&
            parts_.messageBoxes->Offer(this, QString::fromLatin1(UPGRADE_CAPTION),
                                       newsLink_->PackageManagerOffer(),
                                       QString::fromLatin1(DOWNLOAD_PAGE_BUTTON)))
            newsLink_->OpenDownloadPage();
        break;
    case Outcome::REFUSED:
        if (parts_.messageBoxes != nullptr)
            parts_.messageBoxes->Information(
                this, windowTitle(),
                QString::fromLatin1(LINK_REFUSED_TEXT).arg(newsLink_->Address()));
        break;
    case Outcome::OPENED:
    case Outcome::NOTHING:
        break;
    }
}

// ----------------------------------------------------------------------------------------------
// The browser server

void CWatchDialog::Browse() {
    // One browse at a time: a second click while the name is looked up does nothing.
    if (parts_.browser == nullptr || browsing_)
        return;
    browsing_ = true;
    parts_.browser->ClearPublicServers();
    std::shared_ptr<CQueuedTarget> queued = queued_;
    parts_.browser->ResolveHost(parts_.browserEndpoint.host, [this, queued](uint32_t address) {
        queued->Post([this, address] { BrowseAt(address); });
    });
}

void CWatchDialog::BrowseAt(uint32_t address) {
    ShowServerBrowser(address);
    // Only now, so that the server browser never opens twice.
    browsing_ = false;
}

void CWatchDialog::ShowServerBrowser(uint32_t address) {
    if (closed_)
        return;
    if (address == ADDRESS_NONE) {
        if (parts_.messageBoxes != nullptr)
            parts_.messageBoxes->Information(this, Caption(),
                                             QString::fromLatin1(BROWSER_RESOLVE_TEXT));
        return;
    }
    parts_.browser->QueryServerList(address, parts_.browserEndpoint.port);
    IBrowserLink* browser = parts_.browser;
    CBrowserDialog::Options options;
    // The sorting and filters the player leaves are kept in quillory.json.
    options.choices = &userConfig_.browser;
    userConfigKept_ = true;
    options.games = FindInstalledGames(settings_.gameFolder);
    options.addServer = [this](const QString& address, const QString& name) {
        return KeepServer(address, name);
    };
    CBrowserDialog dialog(
        [browser](HandleArray<PublicServer>& into) { browser->TakePublicServers(into); },
        std::move(options), this);
    // A window closed meanwhile (SIGTERM closes the dialog first) selects nothing.
    if (dialog.exec() != QDialog::Accepted || dialog.ChosenAddress().isEmpty() || closed_)
        return;
    SelectChosenServer(dialog.ChosenAddress());
    if (dialog.PlayNowChosen())
        playNowTicksLeft_ = PLAY_NOW_WAIT_TICKS;
}

bool CWatchDialog::KeepServer(const QString& address, const QString& name) {
    if (!KeepBrowsedServer(settings_.entries, ToLocal(address), ToLocal(name)))
        return false;
    serverList_->addItem(FromLocal(settings_.entries.back()->description));
    LabelServerList();
    serverList_->setCurrentIndex(selected_);
    return true;
}

// Play Now from the browser waits for the server's answer and, with Gantry, for its
// description, so that the launch and its package check see what the server runs.
void CWatchDialog::PlayWhenAnswered() {
    if (playNowTicksLeft_ < 0)
        return;
    const ServerStatus status = view_.Status();
    const bool answered = status.implementation != IMPL_NONE;
    const bool gantrySettled = !GantryReady() || status.gantryState != GANTRY_UNKNOWN;
    // One more tick once settled: a description read then is handed over on the next.
    if (answered && gantrySettled && !playNowSettled_) {
        playNowSettled_ = true;
        return;
    }
    if ((answered && gantrySettled) || --playNowTicksLeft_ <= 0) {
        playNowTicksLeft_ = -1;
        playNowSettled_ = false;
        OnPlayNowClicked(); // says so in the window when the server never answered
    }
}

void CWatchDialog::SelectChosenServer(const QString& address) {
    int32_t selected = selected_;
    if (SelectBrowsedServer(settings_.entries, selected, ToLocal(address)) == BrowsedServer::ADDED)
        serverList_->addItem(FromLocal(settings_.entries.back()->description));
    LabelServerList();
    serverList_->setCurrentIndex(selected);
    EntriesChanged();
    OnSelectionChanged();
}

// ----------------------------------------------------------------------------------------------
// The self-upgrade

void CWatchDialog::FinishUpgrade() {
    if (!newsLink_->UpgradeRunning() || closed_)
        return;
    const int result = newsLink_->TakeUpgradeResult();
    ShowUpgradeRunning(false);
    if (result != CUpgradeWorker::RESULT_OK)
        return; // the error stays on the Link button
    if (parts_.messageBoxes != nullptr)
        parts_.messageBoxes->Information(this, QString::fromLatin1(UPGRADE_CAPTION),
                                         QString::fromLatin1(UPGRADE_TEXT));
    // The new program now lies at the old one's path: closing saves as "OK" does, and the
    // application starts that file again.
    restartRequested_ = true;
    done(QDialog::Accepted);
}

void CWatchDialog::ShowUpgradeRunning(bool running) {
    for (QWidget* widget : std::initializer_list<QWidget*>{selectionBox_, serverBox_, playersBox_,
                                                           news_, link_, notify_, launchWhenEnds_,
                                                           alarm_, about_, config_, playNow_})
        widget->setEnabled(!running);
    cancelUpgrade_->setVisible(running);
    if (running)
        cancelUpgrade_->setFocus();
}

} // namespace quillory::ui
