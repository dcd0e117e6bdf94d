#include "watch/ServersTable.h"

#include "ui/TextConversion.h"

#include <QHeaderView>

namespace quillory::ui {

namespace {

constexpr int kNameWidth = 130;
constexpr int kMissionWidth = 130;
constexpr int kVisibleRows = 4;

} // namespace

CServersTable::CServersTable(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("serversTable"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTextElideMode(Qt::ElideRight);
    SetUpColumns();
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        const int index = indexOfTopLevelItem(item);
        if (index >= 0)
            emit EntryChosen(index);
    });
}

void CServersTable::SetUpColumns() {
    setColumnCount(COLUMNS);
    setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Status"), QStringLiteral("Players"),
                     QStringLiteral("Map"), QStringLiteral("Mission"), QStringLiteral("Ping"),
                     QStringLiteral("Locked"), QStringLiteral("Gantry"),
                     QStringLiteral("Friends")});
    QHeaderView* top = header();
    top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    top->setStretchLastSection(true);
    top->setSectionResizeMode(QHeaderView::ResizeToContents);
    // The long texts are cut rather than pushing the short columns out of sight.
    for (const int column : {NAME, MISSION}) {
        top->setSectionResizeMode(column, QHeaderView::Interactive);
        setColumnWidth(column, column == NAME ? kNameWidth : kMissionWidth);
    }
    top->setSectionResizeMode(FRIENDS, QHeaderView::Stretch);
}

QSize CServersTable::sizeHint() const {
    const int rowHeight = fontMetrics().height() + 6;
    return {QTreeWidget::sizeHint().width(),
            header()->sizeHint().height() + rowHeight * kVisibleRows + 2 * frameWidth()};
}

void CServersTable::SetRows(const std::vector<ServersTableRow>& rows) {
    while (topLevelItemCount() > int(rows.size()))
        delete takeTopLevelItem(topLevelItemCount() - 1);
    while (topLevelItemCount() < int(rows.size()))
        addTopLevelItem(new QTreeWidgetItem);
    for (size_t i = 0; i < rows.size(); ++i)
        WriteRow(topLevelItem(int(i)), rows[i]);
    MarkCurrent();
}

void CServersTable::WriteRow(QTreeWidgetItem* item, const ServersTableRow& row) {
    const QString texts[COLUMNS] = {
        FromLocal(row.name),     FromNetwork(row.status),  FromNetwork(row.players),
        FromNetwork(row.map),    FromNetwork(row.mission), FromNetwork(row.ping),
        FromNetwork(row.locked), FromNetwork(row.gantry),  FromNetwork(row.friends)};
    for (int column = 0; column < COLUMNS; ++column) {
        if (item->text(column) != texts[column]) {
            item->setText(column, texts[column]);
            item->setToolTip(column, texts[column]);
        }
    }
    // A silent server's row is greyed, so the live ones stand out.
    const QBrush brush =
        row.replied ? palette().text() : palette().brush(QPalette::Disabled, QPalette::Text);
    for (int column = 0; column < COLUMNS; ++column)
        item->setForeground(column, brush);
}

void CServersTable::SetCurrent(int index) {
    current_ = index;
    MarkCurrent();
}

void CServersTable::MarkCurrent() {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        QFont font = item->font(0);
        if (font.bold() == (i == current_))
            continue;
        font.setBold(i == current_);
        for (int column = 0; column < COLUMNS; ++column)
            item->setFont(column, font);
    }
}

QString CServersTable::Text(int row, Column column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
}

} // namespace quillory::ui
