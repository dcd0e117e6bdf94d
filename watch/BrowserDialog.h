#pragma once
// "Gantry Server Browser": the public Gantry servers the browser server lists, filtered by
// game; the user picks one to watch.

#include "common/Types.h"
#include "net/PublicServer.h"
#include "ui/ToolTipDialog.h"

#include <QSet>
#include <QString>

#include <functional>

class QCheckBox;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillory::ui {

class CBrowserDialog final : public CToolTipDialog {
    Q_OBJECT

public:
    static constexpr int REFRESH_MS = 200;
    static constexpr const char* TITLE = "Public Gantry Servers";

    // Moves the records received since the last call to the end of the given array (under
    // the status lock, leaving out addresses and ports it already holds). Called on the
    // window's thread.
    using TakeServers = std::function<void(HandleArray<PublicServer>& into)>;

    explicit CBrowserDialog(TakeServers takeServers, QWidget* parent = nullptr);

    // One refresh, as the timer does it: take what arrived, add rows, enable "Select".
    void Refresh();

    // The "Address" text of the row taken with "Select"; empty otherwise.
    const QString& ChosenAddress() const { return chosen_; }

private:
    void Select();
    // Adds a row for each visible record without one; `clear` deletes every row first.
    void Refill(bool clear);
    void FitNames();
    bool Visible(const PublicServer& server) const;

    TakeServers takeServers_;
    HandleArray<PublicServer> servers_;
    QSet<const PublicServer*> shown_;
    QString chosen_;

    QTreeWidget* list_;
    QCheckBox* uprising_;
    QCheckBox* ironvale_;
    QPushButton* select_;
    QTimer* timer_;
};

} // namespace quillory::ui
