#include "watch/core/FriendTracker.h"

#include <algorithm>

namespace quillory {

namespace {

// Folds one character of Windows-1252 to lower case: A-Z, the accented capitals 0xC0-0xDE
// (but the multiplication sign 0xD7), and S, OE and Z with caron, Y with diaeresis.
unsigned char FoldCase(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<unsigned char>(c + 0x20);
    switch (c) {
    case 0x8A:
    case 0x8C:
    case 0x8E:
        return static_cast<unsigned char>(c + 0x10);
    case 0x9F:
        return 0xFF;
    default:
        return c;
    }
}

bool SameLetter(char a, char b) {
    return FoldCase(static_cast<unsigned char>(a)) == FoldCase(static_cast<unsigned char>(b));
}

// Wildcard matching that returns to the last `*` on a mismatch: linear in practice, and never
// worse than the product of the lengths, whatever the pattern.
bool MatchesPattern(const String& pattern, const String& text) {
    size_t p = 0, t = 0;
    size_t starAt = String::npos, resumeAt = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = t;
        } else if (p < pattern.size() && SameLetter(pattern[p], text[t])) {
            ++p;
            ++t;
        } else if (starAt != String::npos) {
            p = starAt + 1;
            t = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool Contains(const std::vector<String>& names, const String& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

bool MatchesFriend(const std::vector<String>& patterns, const String& player) {
    return std::any_of(patterns.begin(), patterns.end(), [&player](const String& pattern) {
        return !pattern.empty() && MatchesPattern(pattern, player);
    });
}

CFriendTracker::CFriendTracker(std::vector<String> patterns) : patterns_(std::move(patterns)) {}

void CFriendTracker::SetFriends(std::vector<String> patterns) {
    patterns_ = std::move(patterns);
    for (auto& [address, players] : players_)
        friends_[address] = FriendsAmong(players);
}

std::vector<FriendEvent> CFriendTracker::Update(const String& address,
                                                const std::vector<String>& players) {
    std::vector<String> now = FriendsAmong(players);
    const std::vector<String>& before = friends_[address];
    std::vector<FriendEvent> events;
    for (const String& name : before)
        if (!Contains(now, name))
            events.push_back({name, address, false});
    for (const String& name : now)
        if (!Contains(before, name))
            events.push_back({name, address, true});
    friends_[address] = std::move(now);
    players_[address] = players;
    return events;
}

std::vector<FriendEvent> CFriendTracker::Update(const String& address,
                                                const HandleArray<PlayerInfo>& players) {
    std::vector<String> names;
    names.reserve(players.size());
    for (const auto& player : players)
        if (player)
            names.push_back(player->name);
    return Update(address, names);
}

std::vector<String> CFriendTracker::FriendsOn(const String& address) const {
    const auto found = friends_.find(address);
    return found == friends_.end() ? std::vector<String>() : found->second;
}

void CFriendTracker::Forget(const String& address) {
    players_.erase(address);
    friends_.erase(address);
}

// Each name once, though a server may list a name twice.
std::vector<String> CFriendTracker::FriendsAmong(const std::vector<String>& players) const {
    std::vector<String> found;
    for (const String& name : players)
        if (MatchesFriend(patterns_, name) && !Contains(found, name))
            found.push_back(name);
    return found;
}

} // namespace quillory
