#include "watch/core/UpgradeOffer.h"

#include "common/AsciiCase.h"
#include "net/BrowserReply.h"

#include <cctype>

namespace quillory {

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The first run of digits and dots in `text` that starts with a digit, without a final dot.
String VersionIn(const String& text) {
    size_t start = 0;
    while (start < text.size() && !IsDigit(text[start]))
        ++start;
    size_t end = start;
    while (end < text.size() && (IsDigit(text[end]) || text[end] == '.'))
        ++end;
    while (end > start && text[end - 1] == '.')
        --end;
    return text.substr(start, end - start);
}

} // namespace

String OfferedVersion(const String& caption, const String& link) {
    String found;
    size_t start = 0;
    while (start < caption.size()) {
        size_t end = caption.find(' ', start);
        if (end == String::npos)
            end = caption.size();
        if (end > start && IsDigit(caption[start]))
            found = VersionIn(caption.substr(start, end - start));
        start = end + 1;
    }
    if (!found.empty())
        return found;
    const size_t slash = link.find_last_of('/');
    return VersionIn(slash == String::npos ? link : link.substr(slash + 1));
}

String PackageManagerText(const String& version) {
    return "Quillory " + (version.empty() ? String("(a newer version)") : version) +
           " is available. Update it with your system's package manager.";
}

String DownloadPage(const String& link) {
    if (!IsUpgradeArchive(link))
        return link;
    const size_t slash = link.find_last_of('/');
    return slash == String::npos ? String() : link.substr(0, slash + 1);
}

bool IsBrowserLink(const String& link) {
    const String lower = LowerAscii(std::string_view(link).substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

} // namespace quillory
