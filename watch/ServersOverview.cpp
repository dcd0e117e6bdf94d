#include "watch/ServersOverview.h"

#include "ui/QueuedTarget.h"
#include "watch/PlayersPlot.h"
#include "watch/ServersTable.h"
#include "watch/core/ServerList.h"
#include "watch/core/WatchRules.h"

#include <chrono>

namespace quillory::ui {

CServersOverview::CServersOverview(Parts parts, QObject* parent)
    : QObject(parent), parts_(std::move(parts)), queued_(std::make_shared<CQueuedTarget>(this)) {
    if (!parts_.refresh)
        return;
    std::shared_ptr<CQueuedTarget> queued = queued_;
    // The rounds end on the refresh's thread; the table is filled on the window's.
    refresh_ = std::make_unique<CServersRefresh>([this, queued](std::vector<ServerRow> rows) {
        queued->Post([this, rows = std::move(rows)] { TakeRows(rows); });
    });
    refresh_->Start();
}

CServersOverview::~CServersOverview() {
    queued_->Drop();
    Stop();
}

void CServersOverview::Stop() {
    if (refresh_)
        refresh_->Stop();
}

int64_t CServersOverview::Now() const {
    if (parts_.now)
        return parts_.now();
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void CServersOverview::SetEntries(const HandleArray<ServerEntry>& entries) {
    addresses_.clear();
    for (const Handle<ServerEntry>& entry : entries)
        addresses_.push_back(entry->address);
    names_ = ListLabels(entries);
    Refill();
    if (refresh_) {
        refresh_->SetAddresses(addresses_);
        refresh_->RefreshNow();
    }
}

void CServersOverview::SetSelected(int index) {
    // The watch has left the server it was asking: a question it left under way is no answer.
    if (index != selected_ && selected_ >= 0 && size_t(selected_) < addresses_.size()) {
        const auto gantry = gantry_.find(addresses_[size_t(selected_)]);
        if (gantry != gantry_.end() && !IsGantryOutcome(gantry->second)) {
            gantry_.erase(gantry);
            Refill();
        }
    }
    selected_ = index;
    if (parts_.table != nullptr)
        parts_.table->SetCurrent(index);
    ShowPlot();
}

void CServersOverview::SetFriends(const std::vector<String>& patterns) {
    friends_.SetFriends(patterns);
    // Who is where is asked again, so the table and the news follow the new list.
    if (refresh_)
        refresh_->RefreshNow();
}

void CServersOverview::SetIntervalSeconds(int seconds) {
    if (refresh_)
        refresh_->SetInterval(seconds);
}

void CServersOverview::SetGantry(const String& address, const String& text) {
    String& known = gantry_[address];
    if (known == text)
        return;
    known = text;
    Refill();
}

// Only the row's texts follow the watch: friends and history are kept from the rounds alone,
// so that two sources heard at different moments never tell one change twice.
void CServersOverview::ShowWatched(const String& address, const ServerStatus& status) {
    latest_[address] = ServerRow{address, QueryResult::REPLIED, status};
    Refill();
}

void CServersOverview::TakeRows(const std::vector<ServerRow>& rows) {
    ++rounds_;
    const int64_t now = Now();
    for (const ServerRow& row : rows) {
        latest_[row.address] = row;
        if (row.result != QueryResult::REPLIED)
            continue;
        Record(row, now);
        for (size_t i = 0; i < addresses_.size(); ++i)
            if (addresses_[i] == row.address) {
                ReportFriends(row, names_[i]);
                break;
            }
    }
    Refill();
    ShowPlot();
}

void CServersOverview::Record(const ServerRow& row, int64_t now) {
    if (parts_.history == nullptr)
        return;
    // A round begins when a game starts or the mission changes.
    Known& known = known_[row.address];
    const bool started = !IsGameInProgress(known.state) && IsGameInProgress(row.status.state);
    const bool roundChanged = known.seen && (started || known.mission != row.status.mission);
    known = {row.status.mission, row.status.state, true};
    parts_.history->Add(row.address,
                        HistorySample{now, row.status.players,
                                      ParsedMaxPlayers(row.status.maxPlayers), roundChanged});
}

void CServersOverview::ReportFriends(const ServerRow& row, const String& name) {
    const std::vector<FriendEvent> events = friends_.Update(row.address, row.status.playerList);
    if (!parts_.friendSeen)
        return;
    for (const FriendEvent& event : events)
        parts_.friendSeen(event, name);
}

void CServersOverview::Refill() {
    rows_.clear();
    for (size_t i = 0; i < addresses_.size(); ++i) {
        const String& address = addresses_[i];
        const auto latest = latest_.find(address);
        const auto gantry = gantry_.find(address);
        const String gantryText = gantry != gantry_.end() ? gantry->second : String();
        if (latest == latest_.end()) {
            rows_.push_back(AskingServersTableRow(names_[i]));
            rows_.back().gantry = gantryText;
            continue;
        }
        const ServerRow& row = latest->second;
        const std::vector<String> friends = row.result == QueryResult::REPLIED
                                                ? friends_.FriendsOn(address)
                                                : std::vector<String>();
        rows_.push_back(
            MakeServersTableRow(names_[i], row.result, row.status, gantryText, friends));
    }
    if (parts_.table != nullptr)
        parts_.table->SetRows(rows_);
}

const ServerRow* CServersOverview::LatestRow(int index) const {
    if (index < 0 || size_t(index) >= addresses_.size())
        return nullptr;
    const auto latest = latest_.find(addresses_[size_t(index)]);
    if (latest == latest_.end() || latest->second.result != QueryResult::REPLIED)
        return nullptr;
    return &latest->second;
}

void CServersOverview::ShowPlot() {
    if (parts_.plot == nullptr)
        return;
    std::vector<PlotSample> samples;
    if (parts_.history != nullptr && selected_ >= 0 && size_t(selected_) < addresses_.size())
        for (const HistorySample& s : parts_.history->Samples(addresses_[size_t(selected_)]))
            samples.push_back({s.unixSeconds, s.players, s.maxPlayers, s.roundChanged});
    parts_.plot->SetSamples(std::move(samples), Now());
}

} // namespace quillory::ui
