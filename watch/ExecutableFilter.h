#pragma once
// The file dialog's filter for the game's executables. The dialog's own name patterns match
// letter case as the file system does, and their text would show every case variant; this model
// shows folders and the two executables in any letter case, under a plain filter text.

#include <QSortFilterProxyModel>

class QFileDialog;

namespace quillory::ui {

class CExecutableFilter final : public QSortFilterProxyModel {
    Q_OBJECT

public:
    static constexpr const char* FILTER_TEXT =
        "Ironvale executable (IRONVALE.EXE, IRONVALEUPRISING.EXE)";

    using QSortFilterProxyModel::QSortFilterProxyModel;

    // Puts a new filter on `dialog`, with FILTER_TEXT as the one filter it offers.
    static void Install(QFileDialog& dialog);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
};

} // namespace quillory::ui
