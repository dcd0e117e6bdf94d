#pragma once
// The compact table of every saved server: one row per entry in the list's order, refreshed
// from each multi-server round. The watched server's row is bold; a double-click picks an
// entry for the full watch.

#include "watch/core/ServersTableRow.h"

#include <QTreeWidget>

#include <vector>

namespace quillory::ui {

class CServersTable final : public QTreeWidget {
    Q_OBJECT

public:
    enum Column { NAME, STATUS, PLAYERS, MAP, MISSION, PING, LOCKED, GANTRY, FRIENDS, COLUMNS };

    explicit CServersTable(QWidget* parent = nullptr);

    // One row per saved entry, in the list's order; rows are kept, so a selection stays.
    void SetRows(const std::vector<ServersTableRow>& rows);
    // The row of the watched entry, -1 for none.
    void SetCurrent(int index);
    int Current() const { return current_; }
    // The text shown in a cell, for tests.
    QString Text(int row, Column column) const;

    QSize sizeHint() const override;

signals:
    // The entry `index` was double-clicked.
    void EntryChosen(int index);

private:
    void SetUpColumns();
    void WriteRow(QTreeWidgetItem* item, const ServersTableRow& row);
    void MarkCurrent();

    int current_ = -1;
};

} // namespace quillory::ui
