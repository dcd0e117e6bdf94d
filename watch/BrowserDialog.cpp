#include "watch/BrowserDialog.h"

#include "net/BrowserReply.h"
#include "ui/ControlIds.h"
#include "ui/ElidedTipDelegate.h"
#include "ui/TextConversion.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillory::ui {

namespace {

enum Column { COL_NAME = 0, COL_PLAYERS = 1, COL_ADDRESS = 2 };
constexpr int NAME_WIDTH = 170, PLAYERS_WIDTH = 50, ADDRESS_WIDTH = 80;
constexpr int TITLE_POINTS = 15;

} // namespace

CBrowserDialog::CBrowserDialog(TakeServers takeServers, QWidget* parent)
    : CToolTipDialog(parent), takeServers_(std::move(takeServers)), list_(new QTreeWidget(this)),
      uprising_(new QCheckBox(QStringLiteral("Ironvale Uprising"), this)),
      ironvale_(new QCheckBox(QStringLiteral("Ironvale"), this)),
      select_(new QPushButton(QStringLiteral("Select"), this)), timer_(new QTimer(this)) {
    setWindowTitle(QStringLiteral("Gantry Server Browser"));

    auto* title = new QLabel(QString::fromLatin1(TITLE), this);
    QFont titleFont(QStringLiteral("Arial Black"), TITLE_POINTS);
    titleFont.setWeight(QFont::Black);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    SetControlId(title, IDC_BROWSER_TITLE, QStringLiteral("titleLabel"));

    CElidedTipDelegate::Install(list_);
    list_->setColumnCount(3);
    list_->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Players"), QStringLiteral("Address")});
    list_->setColumnWidth(COL_NAME, NAME_WIDTH);
    list_->setColumnWidth(COL_PLAYERS, PLAYERS_WIDTH);
    list_->setColumnWidth(COL_ADDRESS, ADDRESS_WIDTH);
    list_->headerItem()->setTextAlignment(COL_PLAYERS, Qt::AlignRight | Qt::AlignVCenter);
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setMinimumSize(NAME_WIDTH + PLAYERS_WIDTH + ADDRESS_WIDTH + 60, 220);
    SetControlId(list_, IDC_BROWSER_LIST, QStringLiteral("serverList"));

    uprising_->setChecked(true);
    ironvale_->setChecked(false);
    SetControlId(uprising_, IDC_BROWSER_UPRISING, QStringLiteral("uprisingCheck"));
    SetControlId(ironvale_, IDC_BROWSER_IRONVALE, QStringLiteral("ironvaleCheck"));

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    SetControlId(select_, IDC_OK, QStringLiteral("selectButton"));
    SetControlId(cancel, IDC_CANCEL, QStringLiteral("cancelButton"));
    select_->setEnabled(false);
    select_->setDefault(true);

    auto* games = new QHBoxLayout;
    games->addWidget(uprising_);
    games->addWidget(ironvale_);
    games->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(select_);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(list_);
    layout->addLayout(games);
    layout->addLayout(buttons);

    connect(uprising_, &QCheckBox::clicked, this, [this] { Refill(true); });
    connect(ironvale_, &QCheckBox::clicked, this, [this] { Refill(true); });
    connect(select_, &QPushButton::clicked, this, &CBrowserDialog::Select);
    connect(cancel, &QPushButton::clicked, this, &CBrowserDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &CBrowserDialog::Select);
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { select_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(timer_, &QTimer::timeout, this, &CBrowserDialog::Refresh);
    InitToolTips();
    timer_->start(REFRESH_MS);
}

void CBrowserDialog::Refresh() {
    if (takeServers_) {
        const size_t before = servers_.size();
        takeServers_(servers_);
        if (servers_.size() != before)
            Refill(false);
    }
    select_->setEnabled(!list_->selectedItems().isEmpty());
}

bool CBrowserDialog::Visible(const PublicServer& server) const {
    const bool uprising = (server.flags & PSF_UPRISING) != 0;
    return uprising ? uprising_->isChecked() : ironvale_->isChecked();
}

void CBrowserDialog::Refill(bool clear) {
    if (clear) {
        list_->clear();
        shown_.clear();
    }
    for (const auto& server : servers_) {
        if (!Visible(*server) || shown_.contains(server.get()))
            continue;
        auto* row = new QTreeWidgetItem(list_);
        row->setText(COL_NAME, FromNetwork(server->name));
        row->setText(COL_PLAYERS, QString::number(server->players));
        row->setTextAlignment(COL_PLAYERS, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(COL_ADDRESS, QString::fromStdString(PublicServerAddress(*server)));
        shown_.insert(server.get());
    }
    FitNames();
    select_->setEnabled(!list_->selectedItems().isEmpty());
}

void CBrowserDialog::FitNames() {
    // The names take what they need, as far as "Players" and "Address" stay in sight; a name
    // still cut shows whole in its tooltip.
    const int room = list_->viewport()->width() - list_->columnWidth(COL_PLAYERS) -
                     list_->columnWidth(COL_ADDRESS);
    const QAbstractItemView* view = list_; // the hint is public there
    const int wanted = view->sizeHintForColumn(COL_NAME);
    list_->setColumnWidth(COL_NAME, std::max(NAME_WIDTH, std::min(wanted, room)));
}

void CBrowserDialog::Select() {
    const auto selected = list_->selectedItems();
    if (selected.isEmpty())
        return; // "Select" without a row leaves the dialog open
    chosen_ = selected.front()->text(COL_ADDRESS);
    timer_->stop();
    accept();
}

} // namespace quillory::ui
