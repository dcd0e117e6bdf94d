#include "gantry/client/PackageArchive.h"

#include "common/AsciiCase.h"
#include "common/Tokenizer.h"
#include "gantry/client/EntryPlacement.h"
#include "platform/MinizipLibrary.h"

#include <algorithm>
#include <utility>

namespace quillory {

namespace {

constexpr std::string_view kDescriptionName = "gantry.txt";
constexpr std::string_view kStartMarker = "GANTRY_START";
constexpr std::string_view kEndMarker = "GANTRY_END";

String WithBackslashes(String text) {
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

Handle<PackageDirective> MakeDirective(DirectiveKind kind, String pattern, String target = {}) {
    auto directive = std::make_shared<PackageDirective>();
    directive->kind = kind;
    directive->pattern = WithBackslashes(std::move(pattern));
    directive->target = WithBackslashes(std::move(target));
    return directive;
}

struct Keyword {
    std::string_view word;
    bool isDirective;
    DirectiveKind kind;
    size_t arguments;
};

constexpr Keyword kKeywords[] = {
    {"PACKAGE", false, DirectiveKind::Ignore, 1},
    {"INFOURL", false, DirectiveKind::Ignore, 1},
    {"INSTALL", true, DirectiveKind::Install, 2},
    {"INSTALLPATH", true, DirectiveKind::InstallPath, 1},
    {"EXTRACT", true, DirectiveKind::Extract, 2},
    {"EXTRACTPATH", true, DirectiveKind::ExtractPath, 1},
    {"IGNORE", true, DirectiveKind::Ignore, 1},
};

} // namespace

PackageArchive::PackageArchive(String archivePath) : archivePath_(std::move(archivePath)) {}

PackageArchive::~PackageArchive() = default;

bool PackageArchive::Parse() {
    String text;
    Found found = ReadDescriptionText(text);
    if (found == Found::Error)
        return false;
    if (found == Found::Description) {
        size_t start = FindNoCase(text, kStartMarker);
        if (start != String::npos) {
            // The character right after the marker (normally the line break) is not part of it.
            size_t blockStart = start + kStartMarker.size() + 1;
            size_t end = FindNoCase(text, kEndMarker);
            if (end == String::npos || end < blockStart)
                return Refuse("gantry.txt has GANTRY_START without GANTRY_END after it");
            if (!ParseBlock(std::string_view(text).substr(blockStart, end - blockStart)))
                return false;
            hasDescription_ = true;
        }
    }
    Finish();
    if (!AllEntriesStayInside()) {
        zip_.Close();
        return false;
    }
    return true;
}

PackageArchive::Found PackageArchive::ReadDescriptionText(String& text) {
    if (!zip_.Open(archivePath_)) {
        const auto& minizip = platform::CMinizipLibrary::Shared();
        Refuse(minizip.Loaded() ? "not a zip archive, or it cannot be read" : minizip.Error());
        return Found::Error;
    }
    if (!zip_.ListEntries()) {
        Refuse("the archive holds no entries");
        return Found::Error;
    }
    // Only a description at the root counts: the whole path must be the name.
    const auto& entries = zip_.Entries();
    const auto description = std::find_if(entries.begin(), entries.end(), [](const auto& entry) {
        return !entry.pathTooLong && EqualsNoCase(entry.path, kDescriptionName);
    });
    if (description == entries.end()) {
        if (!zip_.ListDamaged())
            return Found::None;
        Refuse("the archive's list of entries is damaged");
        return Found::Error;
    }
    const ZipEntryInfo& info = *description;
    if (info.size > kMaxDescriptionSize) {
        Refuse("gantry.txt is larger than " + std::to_string(kMaxDescriptionSize) + " bytes");
        return Found::Error;
    }
    if (!zip_.OpenEntry(info)) {
        Refuse("gantry.txt cannot be opened");
        return Found::Error;
    }
    text.assign(static_cast<size_t>(info.size), '\0');
    size_t got = 0;
    while (got < text.size()) {
        int64_t n = zip_.ReadCurrent(text.data() + got, text.size() - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    bool intact = zip_.CloseCurrent();
    if (got != text.size() || !intact) {
        Refuse("gantry.txt is damaged (it does not match its CRC-32)");
        return Found::Error;
    }
    // The description is plain text: a zero byte ends it, so that no name or address read
    // from it carries one into the database file.
    if (size_t zero = text.find('\0'); zero != String::npos)
        text.resize(zero);
    return Found::Description;
}

bool PackageArchive::ParseBlock(std::string_view block) {
    for (size_t lineNumber = 1; !block.empty(); ++lineNumber) {
        size_t lineEnd = block.find('\n');
        size_t cut = lineEnd == std::string_view::npos ? block.size() : lineEnd + 1;
        if (!ParseLine(block.substr(0, cut), lineNumber))
            return false;
        block.remove_prefix(cut);
    }
    return true;
}

bool PackageArchive::ParseLine(std::string_view line, size_t lineNumber) {
    std::vector<String> tokens = TokenizeCommandLine(line);
    if (tokens.empty())
        return true;
    auto keyword = std::find_if(std::begin(kKeywords), std::end(kKeywords),
                                [&](const Keyword& k) { return EqualsNoCase(tokens[0], k.word); });
    if (keyword == std::end(kKeywords))
        return true; // not a keyword: skipped
    if (tokens.size() < keyword->arguments + 1)
        return Refuse("gantry.txt, line " + std::to_string(lineNumber) + " of its block: " +
                      String(keyword->word) + " needs " + std::to_string(keyword->arguments) +
                      (keyword->arguments == 1 ? " argument" : " arguments"));
    if (!keyword->isDirective) {
        // Name and home page are kept exactly as written.
        (keyword->word == "PACKAGE" ? packageName_ : infoUrl_) = tokens[1];
        return true;
    }
    directives_.push_back(
        MakeDirective(keyword->kind, tokens[1], keyword->arguments > 1 ? tokens[2] : String()));
    return true;
}

void PackageArchive::Finish() {
    if (packageName_.empty())
        packageName_ = NameFromPath(archivePath_);
    if (!hasDescription_) {
        directives_.push_back(MakeDirective(DirectiveKind::Install, "*.pbo", "addons\\"));
        directives_.push_back(MakeDirective(DirectiveKind::Extract, "*", "addons\\"));
    }
    // The description itself is never installed.
    directives_.insert(directives_.begin(),
                       MakeDirective(DirectiveKind::Ignore, String(kDescriptionName)));
}

bool PackageArchive::AllEntriesStayInside() {
    for (const ZipEntryInfo& info : zip_.Entries()) {
        if (info.pathTooLong)
            return Refuse("the entry \"" + info.path + "...\" has a name longer than " +
                          std::to_string(CZipReader::kMaxEntryPath) + " characters");
        EntryPlacement placement = PlaceEntry(directives_, info.path);
        if (placement.fate == EntryFate::Refused)
            return Refuse(RefusalText(placement));
    }
    if (zip_.ListDamaged())
        return Refuse("the archive's list of entries is damaged");
    return true;
}

bool PackageArchive::Refuse(String why) {
    if (refusal_.empty())
        refusal_ = std::move(why);
    return false;
}

String PackageArchive::NameFromPath(std::string_view archivePath) {
    std::vector<String> pieces = SplitPathPieces(archivePath);
    if (pieces.empty())
        return String();
    const String& last = pieces.back();
    size_t dot = last.rfind('.');
    return dot != String::npos && dot > 0 ? last.substr(0, dot) : last;
}

} // namespace quillory
