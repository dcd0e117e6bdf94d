#pragma once
// Friends: player names looked for on every saved server, and the changes worth telling the
// player about, each once.

#include "common/Types.h"
#include "net/PlayerInfo.h"

#include <map>
#include <vector>

namespace quillory {

// Whether `player` matches one of `patterns`: letters in any case (those of the system code
// page, not only A-Z), `*` standing for any run of characters, even none. Empty patterns match
// nothing.
bool MatchesFriend(const std::vector<String>& patterns, const String& player);

struct FriendEvent {
    String name;    // as the server lists the player
    String address; // the server, as given to Update
    bool joined = false;
};

class CFriendTracker final {
public:
    explicit CFriendTracker(std::vector<String> patterns = {});

    // Takes a new friends list. Friends already seen on a server are then counted as there
    // without an event, so editing the list does not announce everyone at once.
    void SetFriends(std::vector<String> patterns);

    // The players `address` lists now (call it only with a reply: a silent server's players
    // are unknown, not gone). Returns who of the friends joined or left since the last call
    // for that server; the first call reports the friends found there as joined.
    std::vector<FriendEvent> Update(const String& address, const std::vector<String>& players);
    std::vector<FriendEvent> Update(const String& address, const HandleArray<PlayerInfo>& players);

    // The friends on `address` at the last Update, in the order the server listed them.
    std::vector<String> FriendsOn(const String& address) const;

    // Stops following `address` (it left the list), without events.
    void Forget(const String& address);

private:
    std::vector<String> FriendsAmong(const std::vector<String>& players) const;

    std::vector<String> patterns_;
    std::map<String, std::vector<String>> players_; // the last list of each server
    std::map<String, std::vector<String>> friends_; // the friends among them
};

} // namespace quillory
