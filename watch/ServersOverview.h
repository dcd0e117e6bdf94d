#pragma once
// The window's view of all saved servers at once: asks them every few seconds through one
// background refresh, fills the table, keeps the player history and the plot of the selected
// entry, and reports friends appearing and leaving. Lives on the window's thread.

#include "common/Types.h"
#include "watch/core/FriendTracker.h"
#include "watch/core/PlayerHistory.h"
#include "watch/core/ServerEntry.h"
#include "watch/core/ServersRefresh.h"
#include "watch/core/ServersTableRow.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace quillory::ui {

class CPlayersPlot;
class CQueuedTarget;
class CServersTable;

class CServersOverview final : public QObject {
    Q_OBJECT

public:
    // A friend came or went; `serverName` is the entry's label.
    using FriendSeen = std::function<void(const FriendEvent& event, const String& serverName)>;

    struct Parts {
        CServersTable* table = nullptr;
        CPlayersPlot* plot = nullptr;
        CPlayerHistory* history = nullptr; // the window's, saved with its choices
        FriendSeen friendSeen;
        // Whether the servers are asked at all; tests hand rows to TakeRows() themselves.
        bool refresh = true;
        std::function<int64_t()> now; // the Unix time; null: the system clock
    };

    explicit CServersOverview(Parts parts, QObject* parent = nullptr);
    ~CServersOverview() override;
    CServersOverview(const CServersOverview&) = delete;
    CServersOverview& operator=(const CServersOverview&) = delete;

    // The saved entries changed (added, edited, deleted, renamed); asked again at once.
    void SetEntries(const HandleArray<ServerEntry>& entries);
    void SetSelected(int index);
    void SetFriends(const std::vector<String>& patterns);
    void SetIntervalSeconds(int seconds);
    // What the full watch says of the watched server's Gantry, shown in its row.
    void SetGantry(const String& address, const String& text);
    // What the full watch last heard from the watched server, shown in its row until the next
    // round: the watch asks every 2 s, the rounds far less often.
    void ShowWatched(const String& address, const ServerStatus& status);
    // Stops the background refresh; waits for it a short bounded time.
    void Stop();

    // One round's rows, on the window's thread.
    void TakeRows(const std::vector<ServerRow>& rows);
    // The latest row of the entry at `index`, if its server has replied.
    const ServerRow* LatestRow(int index) const;
    const std::vector<ServersTableRow>& Rows() const { return rows_; }
    int Rounds() const { return rounds_; }

    // The plot shows the selected entry's history up to now.
    void ShowPlot();

private:
    struct Known {
        String mission;
        int32_t state = 0;
        bool seen = false;
    };

    void Record(const ServerRow& row, int64_t now);
    void ReportFriends(const ServerRow& row, const String& name);
    void Refill();
    int64_t Now() const;

    Parts parts_;
    std::shared_ptr<CQueuedTarget> queued_;
    std::unique_ptr<CServersRefresh> refresh_;
    CFriendTracker friends_;
    std::vector<String> addresses_;
    std::vector<String> names_;
    std::vector<ServersTableRow> rows_;
    std::map<String, ServerRow> latest_;
    std::map<String, String> gantry_;
    std::map<String, Known> known_; // for the round marks
    int selected_ = -1;
    int rounds_ = 0;
};

} // namespace quillory::ui
