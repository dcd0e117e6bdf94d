#include "watch/core/UserConfigFile.h"

#include "common/FileHandle.h"
#include "common/TextCodec.h"
#include "platform/AtomicFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <system_error>

namespace quillory {

namespace {

namespace fs = std::filesystem;
// Ordered, so that keys of a newer program or of the player's own hand stay where they were.
using Json = nlohmann::ordered_json;

constexpr int FILE_VERSION = 1;
constexpr const char* HISTORY_KEY = "history";

int64_t SystemUnixSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::string PathIn(const String& folder, const char* name) {
    return folder.empty() ? std::string(name) : (fs::path(folder) / name).string();
}

// Never throws: a text that is not UTF-8 cannot come from here (every text is converted), and
// should one, it is written with replacement characters rather than not at all.
std::string Dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The readers below leave `value` alone when the key is missing or of another type.
void ReadBool(const Json& object, const char* key, bool& value) {
    const auto it = object.find(key);
    if (it != object.end() && it->is_boolean())
        value = it->get<bool>();
}

bool ReadInteger(const Json& object, const char* key, int64_t& value) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer())
        return false;
    value = it->is_number_unsigned()
                ? static_cast<int64_t>(std::min<uint64_t>(it->get<uint64_t>(), INT64_MAX))
                : it->get<int64_t>();
    return true;
}

void ReadInt(const Json& object, const char* key, int& value) {
    int64_t read = 0;
    if (ReadInteger(object, key, read))
        value = static_cast<int>(std::clamp<int64_t>(read, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

void ReadText(const Json& object, const char* key, String& value) {
    const auto it = object.find(key);
    if (it != object.end() && it->is_string())
        value = Utf8ToCp1252(it->get_ref<const std::string&>());
}

std::vector<String> ReadFriends(const Json& doc) {
    std::vector<String> friends;
    const auto it = doc.find("friends");
    if (it == doc.end() || !it->is_array())
        return friends;
    for (const Json& name : *it) {
        if (friends.size() == CUserConfigFile::MAX_FRIENDS)
            break;
        if (!name.is_string())
            continue;
        const std::string& text = name.get_ref<const std::string&>();
        if (!text.empty() && text.size() <= CUserConfigFile::MAX_FRIEND_BYTES)
            friends.push_back(Utf8ToCp1252(text));
    }
    return friends;
}

void ReadBrowser(const Json& doc, BrowserChoices& b) {
    const auto it = doc.find("browser");
    if (it == doc.end() || !it->is_object())
        return;
    ReadInt(*it, "sortColumn", b.sortColumn);
    ReadBool(*it, "sortDescending", b.sortDescending);
    ReadBool(*it, "notEmpty", b.notEmpty);
    ReadBool(*it, "notFull", b.notFull);
    ReadBool(*it, "notLocked", b.notLocked);
    ReadInt(*it, "maxPingMs", b.maxPingMs);
    ReadBool(*it, "myVersionOnly", b.myVersionOnly);
    ReadText(*it, "search", b.search);
}

// [seconds, players, maxPlayers, roundChanged]; anything else is skipped.
bool ReadSample(const Json& item, HistorySample& sample) {
    if (!item.is_array() || item.size() != 4 || !item[0].is_number_integer() ||
        !item[1].is_number_integer() || !item[2].is_number_integer())
        return false;
    const int64_t players = item[1].get<int64_t>();
    const int64_t maxPlayers = item[2].get<int64_t>();
    if (players < 0 || maxPlayers < 0 || players > INT32_MAX || maxPlayers > INT32_MAX)
        return false;
    sample.unixSeconds = item[0].get<int64_t>();
    sample.players = static_cast<int>(players);
    sample.maxPlayers = static_cast<int>(maxPlayers);
    sample.roundChanged =
        item[3].is_boolean() ? item[3].get<bool>() : item[3].is_number_integer() && item[3] != 0;
    return true;
}

// Where the parse stands in the history. A day of samples for every server would take many
// times its size as a document, so each server's samples go into the history as soon as they
// are parsed, and leave the document.
struct HistoryStream {
    CPlayerHistory history;
    bool historyKey = false; // the top-level key read last is the history's
    bool inHistory = false;  // inside the top-level history object
    String address;          // the server whose samples come next
};

// The parse callback; false drops what was parsed from the document. Depth 1 holds the
// top-level members, depth 2 the history's servers. A key given twice counts the last time,
// as it does in the document.
bool StreamHistory(HistoryStream& stream, int depth, Json::parse_event_t event, Json& parsed) {
    using Event = Json::parse_event_t;
    if (depth == 1 && event == Event::key) {
        stream.historyKey = parsed.get_ref<const std::string&>() == HISTORY_KEY;
        stream.inHistory = false;
        if (stream.historyKey)
            stream.history.Clear();
        return true;
    }
    if (depth == 1 && (event == Event::object_start || event == Event::array_start)) {
        stream.inHistory = stream.historyKey && event == Event::object_start;
        return true;
    }
    if (!stream.inHistory || depth != 2)
        return true;
    if (event == Event::key) {
        stream.address = Utf8ToCp1252(parsed.get_ref<const std::string&>());
        stream.history.Forget(stream.address);
        return true;
    }
    if (event != Event::array_end)
        return true;
    HistorySample sample;
    for (const Json& item : parsed)
        if (ReadSample(item, sample))
            stream.history.Add(stream.address, sample);
    return false;
}

UserConfig ReadConfig(const Json& doc) {
    UserConfig config;
    config.friends = ReadFriends(doc);
    int64_t seconds = 0;
    if (ReadInteger(doc, "refreshSeconds", seconds))
        config.refreshSeconds = ClampRefreshSeconds(seconds);
    ReadBool(doc, "desktopNotifications", config.desktopNotifications);
    ReadBool(doc, "closeToTray", config.closeToTray);
    ReadBrowser(doc, config.browser);
    return config;
}

void WriteBrowser(Json& doc, const BrowserChoices& b) {
    Json& browser = doc["browser"];
    if (!browser.is_object())
        browser = Json::object();
    browser["sortColumn"] = b.sortColumn;
    browser["sortDescending"] = b.sortDescending;
    browser["notEmpty"] = b.notEmpty;
    browser["notFull"] = b.notFull;
    browser["notLocked"] = b.notLocked;
    browser["maxPingMs"] = b.maxPingMs;
    browser["myVersionOnly"] = b.myVersionOnly;
    browser["search"] = Cp1252ToUtf8(b.search);
}

void WriteConfig(Json& doc, const UserConfig& config) {
    doc["version"] = FILE_VERSION;
    Json friends = Json::array();
    for (const String& name : config.friends)
        friends.push_back(Cp1252ToUtf8(name));
    doc["friends"] = std::move(friends);
    doc["refreshSeconds"] = ClampRefreshSeconds(config.refreshSeconds);
    doc["desktopNotifications"] = config.desktopNotifications;
    doc["closeToTray"] = config.closeToTray;
    WriteBrowser(doc, config.browser);
}

// One server a line, so the file stays readable without a sample a line.
std::string HistoryText(const CPlayerHistory& history) {
    std::string text = "{";
    const char* separator = "\n";
    for (const String& address : history.Addresses()) {
        Json samples = Json::array();
        for (const HistorySample& s : history.Samples(address))
            samples.push_back(
                Json::array({s.unixSeconds, s.players, s.maxPlayers, s.roundChanged ? 1 : 0}));
        text += separator;
        text += "  " + Dump(Json(Cp1252ToUtf8(address))) + ": " + Dump(samples);
        separator = ",\n";
    }
    return text + (history.ServerCount() ? "\n }" : "}");
}

// The document one top-level key a line; the history goes last.
std::string FileText(const Json& doc, const CPlayerHistory& history) {
    std::string text = "{\n";
    for (const auto& [key, value] : doc.items())
        text += " " + Dump(Json(key)) + ": " + Dump(value) + ",\n";
    return text + " \"" + HISTORY_KEY + "\": " + HistoryText(history) + "\n}\n";
}

String Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

CUserConfigFile::CUserConfigFile(std::function<int64_t()> nowUnix)
    : nowUnix_(nowUnix ? std::move(nowUnix) : SystemUnixSeconds) {}

UserConfigLoad CUserConfigFile::Load(const String& folder) {
    UserConfigLoad load;
    kept_.clear();
    unreplaceable_.clear();
    unreplaceableReason_.clear();
    const std::string path = PathIn(folder, USER_CONFIG_FILE);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found)
        return load;
    std::string bytes;
    const bool tooLarge =
        fs::is_regular_file(status) && fs::file_size(path, error) > MAX_FILE_BYTES;
    if (!tooLarge && (!fs::is_regular_file(status) || !ReadWholeFile(path, bytes))) {
        unreplaceable_ = path;
        unreplaceableReason_ = "could not be read";
        load.notice = Quoted(path) + " could not be read; the default choices are used.";
        return load;
    }
    HistoryStream stream;
    Json doc = tooLarge ? Json(nullptr)
                        : Json::parse(
                              bytes,
                              [&stream](int depth, Json::parse_event_t event, Json& parsed) {
                                  return StreamHistory(stream, depth, event, parsed);
                              },
                              false);
    if (!doc.is_object()) {
        MoveAside(path, folder, load);
        return load;
    }
    load.config = ReadConfig(doc);
    load.history = std::move(stream.history);
    load.history.Trim(nowUnix_());
    doc.erase(HISTORY_KEY);
    kept_ = Dump(doc);
    return load;
}

void CUserConfigFile::MoveAside(const std::string& path, const String& folder,
                                UserConfigLoad& load) {
    const std::string bad = PathIn(folder, USER_CONFIG_BAD_FILE);
    std::error_code error;
    fs::rename(path, bad, error);
    if (error) {
        unreplaceable_ = path;
        unreplaceableReason_ = "is damaged and could not be moved aside";
        load.notice = Quoted(path) + " is damaged and could not be moved to " + Quoted(bad) + " (" +
                      error.message() + "); the default choices are used.";
        return;
    }
    load.movedAside = true;
    load.notice = Quoted(path) + " was damaged; it was moved to " + Quoted(bad) +
                  " and the default choices are used.";
}

platform::SaveResult CUserConfigFile::Save(const String& folder, const UserConfig& config,
                                           const CPlayerHistory& history) {
    const std::string path = PathIn(folder, USER_CONFIG_FILE);
    if (!unreplaceable_.empty() && fs::path(unreplaceable_) == fs::path(path))
        return platform::SaveResult::Failed("the file " + unreplaceableReason_ + ", so it is kept",
                                            path);
    Json doc = kept_.empty() ? Json::object() : Json::parse(kept_, nullptr, false);
    if (!doc.is_object())
        doc = Json::object();
    doc.erase(HISTORY_KEY);
    WriteConfig(doc, config);
    return platform::SaveFileAtomically(path, FileText(doc, history));
}

} // namespace quillory
