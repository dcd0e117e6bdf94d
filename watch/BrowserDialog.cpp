#include "watch/BrowserDialog.h"

#include "net/BrowserReply.h"
#include "net/WatchState.h"
#include "ui/ControlIds.h"
#include "ui/ElidedTipDelegate.h"
#include "ui/TextConversion.h"
#include "watch/core/LiveBrowse.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillory::ui {

namespace {

constexpr int NAME_WIDTH = 170, PLAYERS_WIDTH = 50, MAX_NAME_WIDTH = 280;
constexpr int WIDTHS[BC_COUNT] = {NAME_WIDTH, PLAYERS_WIDTH, 45, 70, 120, 80, 55, 50, 50, 110, 120};
constexpr int TITLE_POINTS = 15;
constexpr int MAX_PING_MS = 9999;

bool RightAligned(int column) {
    return column == BC_PLAYERS || column == BC_PING || column == BC_VERSION;
}

} // namespace

// A row that sorts by its server, as the core orders them.
class CBrowserDialog::CRow final : public QTreeWidgetItem {
public:
    CRow(QTreeWidget* list, const std::vector<LiveServer>& servers, size_t index)
        : QTreeWidgetItem(list), servers_(servers), index_(index) {}
    bool operator<(const QTreeWidgetItem& other) const override {
        const auto& row = static_cast<const CRow&>(other);
        return BrowserLess(servers_[index_], servers_[row.index_], treeWidget()->sortColumn());
    }

private:
    const std::vector<LiveServer>& servers_;
    size_t index_;
};

CBrowserDialog::CBrowserDialog(TakeServers takeServers, QWidget* parent)
    : CBrowserDialog(std::move(takeServers), Options{}, parent) {}

CBrowserDialog::CBrowserDialog(TakeServers takeServers, Options options, QWidget* parent)
    : CToolTipDialog(parent), takeServers_(std::move(takeServers)), options_(std::move(options)),
      choices_(options_.choices ? options_.choices : &ownChoices_) {
    if (options_.askServers)
        live_ = std::make_unique<CLiveBrowse>(options_.ports);
    setWindowTitle(QStringLiteral("Gantry Server Browser"));
    CreateControls();
    CreateLayout();
    LoadChoices();
    ConnectControls();
    InitToolTips();
    UpdateButtons();
    timer_->start(REFRESH_MS);
}

// The queries end (within a wait slice) before the rows they write to go.
CBrowserDialog::~CBrowserDialog() = default;

void CBrowserDialog::CreateControls() {
    list_ = new QTreeWidget(this);
    CElidedTipDelegate::Install(list_);
    list_->setColumnCount(BC_COUNT);
    QStringList titles;
    for (int c = 0; c < BC_COUNT; ++c)
        titles << QString::fromLatin1(BrowserColumnTitle(c));
    list_->setHeaderLabels(titles);
    for (int c = 0; c < BC_COUNT; ++c) {
        list_->setColumnWidth(c, WIDTHS[c]);
        if (RightAligned(c))
            list_->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setSortIndicatorShown(true);
    list_->header()->setSectionsClickable(true);
    int width = 0;
    for (int w : WIDTHS)
        width += w;
    list_->setMinimumSize(width + 30, 300);
    SetControlId(list_, IDC_BROWSER_LIST, QStringLiteral("serverList"));

    uprising_ = new QCheckBox(QStringLiteral("Ironvale Uprising"), this);
    ironvale_ = new QCheckBox(QStringLiteral("Ironvale"), this);
    uprising_->setChecked(true);
    ironvale_->setChecked(false);
    SetControlId(uprising_, IDC_BROWSER_UPRISING, QStringLiteral("uprisingCheck"));
    SetControlId(ironvale_, IDC_BROWSER_IRONVALE, QStringLiteral("ironvaleCheck"));

    search_ = new QLineEdit(this);
    search_->setPlaceholderText(QStringLiteral("Search name, map, mission"));
    search_->setClearButtonEnabled(true);
    search_->setObjectName(QStringLiteral("searchEdit"));
    notEmpty_ = new QCheckBox(QStringLiteral("Not empty"), this);
    notEmpty_->setObjectName(QStringLiteral("notEmptyCheck"));
    notFull_ = new QCheckBox(QStringLiteral("Not full"), this);
    notFull_->setObjectName(QStringLiteral("notFullCheck"));
    notLocked_ = new QCheckBox(QStringLiteral("Not locked"), this);
    notLocked_->setObjectName(QStringLiteral("notLockedCheck"));
    myVersion_ = new QCheckBox(QStringLiteral("My game version"), this);
    myVersion_->setObjectName(QStringLiteral("myVersionCheck"));
    maxPing_ = new QSpinBox(this);
    maxPing_->setRange(0, MAX_PING_MS);
    maxPing_->setSingleStep(10);
    maxPing_->setSuffix(QStringLiteral(" ms"));
    maxPing_->setSpecialValueText(QStringLiteral("any"));
    maxPing_->setObjectName(QStringLiteral("maxPingSpin"));

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("summaryLabel"));
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("noticeLabel"));
    full_ = new QLabel(QString::fromLatin1(FULL_TEXT), this);
    full_->setObjectName(QStringLiteral("fullLabel"));
    full_->hide();
    refresh_ = new QPushButton(QStringLiteral("Refresh"), this);
    refresh_->setObjectName(QStringLiteral("refreshButton"));
    refresh_->setAutoDefault(false);
    add_ = new QPushButton(QStringLiteral("Add to my servers"), this);
    add_->setObjectName(QStringLiteral("addButton"));
    add_->setAutoDefault(false);
    add_->setVisible(bool(options_.addServer));
    play_ = new QPushButton(QStringLiteral("Play Now"), this);
    play_->setObjectName(QStringLiteral("playNowButton"));
    play_->setAutoDefault(false);
    play_->setVisible(options_.playNow);
    select_ = new QPushButton(QStringLiteral("Select"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    SetControlId(select_, IDC_OK, QStringLiteral("selectButton"));
    SetControlId(cancel_, IDC_CANCEL, QStringLiteral("cancelButton"));
    select_->setDefault(true);
    timer_ = new QTimer(this);
}

void CBrowserDialog::CreateLayout() {
    auto* title = new QLabel(QString::fromLatin1(TITLE), this);
    QFont titleFont(QStringLiteral("Arial Black"), TITLE_POINTS);
    titleFont.setWeight(QFont::Black);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    SetControlId(title, IDC_BROWSER_TITLE, QStringLiteral("titleLabel"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(search_, 1);
    for (QWidget* w : {static_cast<QWidget*>(notEmpty_), static_cast<QWidget*>(notFull_),
                       static_cast<QWidget*>(notLocked_), static_cast<QWidget*>(myVersion_)})
        filters->addWidget(w);
    filters->addWidget(new QLabel(QStringLiteral("Ping at most"), this));
    filters->addWidget(maxPing_);
    auto* games = new QHBoxLayout;
    games->addWidget(uprising_);
    games->addWidget(ironvale_);
    games->addStretch();
    games->addWidget(summary_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh_);
    buttons->addWidget(add_);
    buttons->addWidget(play_);
    buttons->addWidget(notice_, 1);
    buttons->addWidget(select_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(filters);
    layout->addWidget(list_);
    layout->addWidget(full_);
    layout->addLayout(games);
    layout->addLayout(buttons);
}

void CBrowserDialog::ConnectControls() {
    const auto refill = [this] { Refill(true); };
    connect(uprising_, &QCheckBox::clicked, this, refill);
    connect(ironvale_, &QCheckBox::clicked, this, refill);
    const auto changed = [this] {
        SaveChoices();
        Refill(true);
    };
    for (QCheckBox* box : {notEmpty_, notFull_, notLocked_, myVersion_})
        connect(box, &QCheckBox::toggled, this, changed);
    connect(search_, &QLineEdit::textChanged, this, changed);
    connect(maxPing_, &QSpinBox::valueChanged, this, changed);
    connect(list_->header(), &QHeaderView::sortIndicatorChanged, this,
            [this](int, Qt::SortOrder) { SaveChoices(); });
    connect(refresh_, &QPushButton::clicked, this, &CBrowserDialog::AskAgain);
    connect(add_, &QPushButton::clicked, this, &CBrowserDialog::AddToMyServers);
    connect(play_, &QPushButton::clicked, this, [this] { Choose(true); });
    connect(select_, &QPushButton::clicked, this, [this] { Choose(false); });
    connect(cancel_, &QPushButton::clicked, this, &CBrowserDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { Choose(false); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CBrowserDialog::UpdateButtons);
    connect(timer_, &QTimer::timeout, this, &CBrowserDialog::Refresh);
}

void CBrowserDialog::LoadChoices() {
    const BrowserChoices& c = *choices_;
    notEmpty_->setChecked(c.notEmpty);
    notFull_->setChecked(c.notFull);
    notLocked_->setChecked(c.notLocked);
    myVersion_->setChecked(c.myVersionOnly);
    maxPing_->setValue(std::clamp(c.maxPingMs, 0, MAX_PING_MS));
    search_->setText(FromLocal(c.search));
    const int column = c.sortColumn >= 0 && c.sortColumn < BC_COUNT ? c.sortColumn : BC_NAME;
    list_->header()->setSortIndicator(column,
                                      c.sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
    list_->setSortingEnabled(true);
}

void CBrowserDialog::SaveChoices() {
    BrowserChoices& c = *choices_;
    c.notEmpty = notEmpty_->isChecked();
    c.notFull = notFull_->isChecked();
    c.notLocked = notLocked_->isChecked();
    c.myVersionOnly = myVersion_->isChecked();
    c.maxPingMs = maxPing_->value();
    c.search = ToLocal(search_->text());
    c.sortColumn = list_->header()->sortIndicatorSection();
    c.sortDescending = list_->header()->sortIndicatorOrder() == Qt::DescendingOrder;
}

void CBrowserDialog::Refresh() {
    bool changed = false;
    if (takeServers_) {
        const size_t before = taken_.size();
        takeServers_(taken_);
        for (size_t i = before; i < taken_.size(); ++i) {
            const QString address = QString::fromStdString(PublicServerAddress(*taken_[i]));
            indexOf_.insert(address, servers_.size());
            servers_.push_back(LiveServer{*taken_[i], std::nullopt});
            rowOf_.push_back(nullptr);
        }
        if (taken_.size() != before) {
            AskServers(before);
            changed = true;
        }
        // The engine keeps no more than this; a browser server that lists more is told once.
        if (taken_.size() >= CWatchState::PUBLIC_SERVERS_MAX)
            full_->show();
    }
    TakeAnswers();
    if (changed)
        Refill(false);
    UpdateButtons();
    UpdateSummary();
}

void CBrowserDialog::AskServers(size_t from) {
    if (!live_)
        return;
    std::vector<String> addresses;
    for (size_t i = from; i < servers_.size(); ++i)
        addresses.push_back(PublicServerAddress(servers_[i].listed));
    live_->Ask(std::move(addresses), options_.timeoutMs);
}

void CBrowserDialog::AskAgain() {
    if (!live_)
        return;
    live_->CancelAll();
    for (LiveServer& server : servers_)
        server.outcome.reset();
    AskServers(0);
    Refill(true);
    UpdateSummary();
}

void CBrowserDialog::TakeAnswers() {
    if (!live_)
        return;
    std::vector<CLiveBrowse::Answer> answers;
    live_->Take(answers);
    if (answers.empty())
        return;
    list_->setSortingEnabled(false); // one sort for the whole batch
    for (CLiveBrowse::Answer& answer : answers) {
        const auto found = indexOf_.constFind(QString::fromStdString(answer.address));
        if (found == indexOf_.constEnd())
            continue;
        const size_t index = *found;
        servers_[index].outcome = std::move(answer.outcome);
        const bool visible = Visible(servers_[index]);
        if (visible)
            ShowRow(index);
        else if (rowOf_[index] != nullptr) {
            delete rowOf_[index];
            rowOf_[index] = nullptr;
        }
    }
    list_->setSortingEnabled(true);
}

bool CBrowserDialog::Visible(const LiveServer& server) const {
    const bool gameShown = server.Uprising() ? uprising_->isChecked() : ironvale_->isChecked();
    return gameShown && BrowserShows(server, *choices_, options_.games);
}

void CBrowserDialog::ShowRow(size_t index) {
    const LiveServer& server = servers_[index];
    QTreeWidgetItem* row = rowOf_[index];
    if (row == nullptr)
        row = rowOf_[index] = new CRow(list_, servers_, index);
    const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
    const QBrush normal = palette().brush(QPalette::Active, QPalette::Text);
    for (int c = 0; c < BC_COUNT; ++c) {
        row->setText(c, FromNetwork(BrowserCellText(server, c)));
        if (RightAligned(c))
            row->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        row->setForeground(c, server.Silent() ? grey : normal);
    }
}

void CBrowserDialog::Refill(bool clear) {
    list_->setSortingEnabled(false);
    if (clear) {
        list_->clear();
        std::fill(rowOf_.begin(), rowOf_.end(), nullptr);
    }
    for (size_t i = 0; i < servers_.size(); ++i) {
        if (Visible(servers_[i])) {
            if (rowOf_[i] == nullptr)
                ShowRow(i);
        } else if (rowOf_[i] != nullptr) {
            delete rowOf_[i];
            rowOf_[i] = nullptr;
        }
    }
    list_->setSortingEnabled(true);
    FitNames();
    UpdateButtons();
}

void CBrowserDialog::FitNames() {
    // The names take what they need up to a limit; a name still cut shows whole in its
    // tooltip.
    const QAbstractItemView* view = list_; // the hint is public there
    const int wanted = view->sizeHintForColumn(BC_NAME);
    list_->setColumnWidth(BC_NAME, std::clamp(wanted, NAME_WIDTH, MAX_NAME_WIDTH));
}

void CBrowserDialog::UpdateButtons() {
    const bool selected = !list_->selectedItems().isEmpty();
    select_->setEnabled(selected);
    play_->setEnabled(selected);
    add_->setEnabled(selected);
    refresh_->setEnabled(live_ != nullptr && !servers_.empty());
}

void CBrowserDialog::UpdateSummary() {
    if (!live_ || servers_.empty()) {
        summary_->clear();
        return;
    }
    size_t answered = 0, silent = 0;
    for (const LiveServer& server : servers_) {
        answered += server.Answered();
        silent += server.Silent();
    }
    const size_t total = servers_.size();
    const bool asking = answered + silent < total;
    summary_->setText(
        asking ? QStringLiteral("Asking %1 servers: %2 answered").arg(total).arg(answered)
               : QStringLiteral("%1 servers: %2 answered, %3 silent, %4 shown")
                     .arg(total)
                     .arg(answered)
                     .arg(silent)
                     .arg(list_->topLevelItemCount()));
}

void CBrowserDialog::Choose(bool playNow) {
    const auto selected = list_->selectedItems();
    if (selected.isEmpty())
        return; // "Select" without a row leaves the dialog open
    chosen_ = selected.front()->text(BC_ADDRESS);
    playNow_ = playNow;
    timer_->stop();
    accept();
}

void CBrowserDialog::AddToMyServers() {
    const auto selected = list_->selectedItems();
    if (selected.isEmpty() || !options_.addServer)
        return;
    const QString address = selected.front()->text(BC_ADDRESS);
    const QString name = selected.front()->text(BC_NAME);
    const bool added = options_.addServer(address, name);
    notice_->setText(QString::fromLatin1(added ? ADDED_TEXT : ALREADY_TEXT).arg(name));
}

} // namespace quillory::ui
