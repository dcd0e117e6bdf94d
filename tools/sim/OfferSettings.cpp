#include "tools/sim/OfferSettings.h"

#include "common/AsciiCase.h"

#include <charconv>

namespace quillory::sim {

namespace {

constexpr uint32_t kMaxPriority = 10;

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Index of a server text key, or -1.
int ServerTextIndex(const std::string& key) {
    const char* named[] = {"name", "info", "admin", "teamspeak"};
    for (int i = 0; i < 4; ++i)
        if (key == named[i])
            return i;
    for (int i = 0; i < 10; ++i)
        if (key == "text" + std::to_string(i + 1))
            return i;
    return -1;
}

bool SetPackageValue(OfferedPackageSettings& p, const std::string& key, const std::string& value) {
    if (key == "priority") {
        uint32_t priority = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), priority);
        if (ec != std::errc() || end != value.data() + value.size() || priority > kMaxPriority)
            return false;
        p.priority = priority;
    } else if (key == "homepage") {
        p.homePage = value;
    } else if (key == "text3") {
        p.text3 = value;
    } else if (key == "text4") {
        p.text4 = value;
    } else {
        return false;
    }
    return true;
}

} // namespace

OfferedPackageSettings OfferSettings::ForArchive(const std::string& fileName) const {
    auto found = packages.find(LowerAscii(fileName));
    return found != packages.end() ? found->second : OfferedPackageSettings{};
}

bool ReadOfferSettings(const std::string& text, OfferSettings& settings, std::string& error) {
    OfferedPackageSettings* section = nullptr;
    size_t lineNumber = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trim(text.substr(at, end - at));
        at = end + 1;
        ++lineNumber;
        const std::string where = "offer.ini line " + std::to_string(lineNumber) + ": ";
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                error = where + "a section is [ARCHIVE.zip]";
                return false;
            }
            section = &settings.packages[LowerAscii(line.substr(1, line.size() - 2))];
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            error = where + "expected KEY = VALUE";
            return false;
        }
        const std::string key = LowerAscii(Trim(line.substr(0, eq)));
        const std::string value = Trim(line.substr(eq + 1));
        const int index = ServerTextIndex(key);
        if (section == nullptr && index >= 0) {
            settings.serverTexts[size_t(index)] = value;
        } else if (section == nullptr || !SetPackageValue(*section, key, value)) {
            error = where + "unknown key or bad value '" + key + "'";
            return false;
        }
    }
    return true;
}

} // namespace quillory::sim
