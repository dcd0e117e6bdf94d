#pragma once
// The data folder's "quillory.json": the window's choices (UserConfig) and the player history.
// Texts are kept in the system code page in memory and as UTF-8 in the file.

#include "common/Types.h"
#include "platform/SaveResult.h"
#include "watch/core/PlayerHistory.h"
#include "watch/core/UserConfig.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quillory {

constexpr const char* USER_CONFIG_FILE = "quillory.json";
// Where a damaged file is moved, so the player's data is not overwritten by the defaults.
constexpr const char* USER_CONFIG_BAD_FILE = "quillory.json.bad";

struct UserConfigLoad {
    UserConfig config;
    CPlayerHistory history;
    bool movedAside = false; // the file was damaged and is now "quillory.json.bad"
    String notice;           // to tell the player once; empty when all went well
};

class CUserConfigFile final {
public:
    // Larger files are taken as damaged: ours stays far below (MAX_SERVERS days of samples).
    static constexpr size_t MAX_FILE_BYTES = 16u << 20;
    static constexpr size_t MAX_FRIENDS = 500;
    static constexpr size_t MAX_FRIEND_BYTES = 128;

    // `nowUnix` gives the time the loaded history is trimmed to (the system clock when empty).
    explicit CUserConfigFile(std::function<int64_t()> nowUnix = {});

    // Reads "quillory.json" in `folder` (empty: the current directory). No file gives the
    // defaults and no notice. A damaged file is moved to "quillory.json.bad" and the defaults
    // are used; a field of the wrong type gives that field's default.
    UserConfigLoad Load(const String& folder);

    // Writes "quillory.json" in `folder` through the one save helper. Keys this program does
    // not know, read by the last Load, are kept. Refused when the last Load found a file it
    // could neither read nor move aside, so that it is not overwritten.
    platform::SaveResult Save(const String& folder, const UserConfig& config,
                              const CPlayerHistory& history);

private:
    void MoveAside(const std::string& path, const String& folder, UserConfigLoad& load);

    std::function<int64_t()> nowUnix_;
    std::string kept_;     // the last file read, without its history, as JSON text
    String unreplaceable_; // a file Save must not overwrite, and why
    String unreplaceableReason_;
};

} // namespace quillory
