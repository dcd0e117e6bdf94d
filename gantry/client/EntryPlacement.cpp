#include "gantry/client/EntryPlacement.h"

#include "gantry/client/Wildcard.h"

#include <algorithm>

namespace quillory {

namespace {

String WithBackslashes(std::string_view path) {
    String result(path);
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

bool IsInstallKind(DirectiveKind kind) {
    return kind == DirectiveKind::Install || kind == DirectiveKind::Extract;
}

String JoinPieces(const std::vector<String>& pieces) {
    String joined;
    for (const String& piece : pieces) {
        if (!joined.empty())
            joined += '\\';
        joined += piece;
    }
    return joined;
}

} // namespace

std::vector<String> SplitPathPieces(std::string_view path) {
    std::vector<String> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            if (i > start)
                pieces.emplace_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

bool IsSafeDestination(std::string_view destination) {
    if (destination.empty() || destination.front() == '\\' || destination.front() == '/')
        return false;
    if (destination.find(':') != std::string_view::npos)
        return false;
    std::vector<String> pieces = SplitPathPieces(destination);
    if (pieces.empty())
        return false;
    // Windows also treats a piece of dots alone as the current or a parent folder.
    return std::none_of(pieces.begin(), pieces.end(), [](const String& piece) {
        return piece.find_first_not_of('.') == String::npos;
    });
}

String DestinationFor(const PackageDirective& directive, std::string_view entryPath) {
    if (!IsInstallKind(directive.kind))
        return String(entryPath);
    const String& target = directive.target;
    if (target.empty() || target.back() != '\\')
        return target; // the entry is placed under another name
    size_t slash = entryPath.rfind('\\');
    std::string_view fileName =
        slash == std::string_view::npos ? entryPath : entryPath.substr(slash + 1);
    return target + String(fileName);
}

EntryPlacement PlaceEntry(const HandleArray<PackageDirective>& directives,
                          std::string_view entryPath) {
    EntryPlacement placement;
    placement.entryPath = WithBackslashes(entryPath);
    if (placement.entryPath.empty()) {
        // "*" would match it and place it at the target folder's own name, as a file.
        placement.fate = EntryFate::Refused;
        return placement;
    }
    if (placement.entryPath.back() == '\\') {
        placement.fate = EntryFate::Folder;
        return placement;
    }
    auto match = std::find_if(directives.begin(), directives.end(), [&](const auto& directive) {
        return directive && MatchWildcard(placement.entryPath, directive->pattern);
    });
    if (match == directives.end())
        return placement; // left out
    placement.directive = *match;
    if (placement.directive->kind == DirectiveKind::Ignore) {
        placement.fate = EntryFate::Ignored;
        return placement;
    }
    String destination = DestinationFor(*placement.directive, placement.entryPath);
    if (!IsSafeDestination(destination)) {
        placement.fate = EntryFate::Refused;
        return placement;
    }
    placement.fate = EntryFate::Placed;
    placement.destination = JoinPieces(SplitPathPieces(destination));
    return placement;
}

String RefusalText(const EntryPlacement& placement) {
    if (placement.entryPath.empty())
        return "an entry has an empty name";
    String text =
        "the entry \"" + placement.entryPath + "\" would be placed outside the game folder";
    if (placement.directive) {
        static constexpr const char* kKindNames[] = {"INSTALL", "INSTALLPATH", "EXTRACT",
                                                     "EXTRACTPATH", "IGNORE"};
        const PackageDirective& d = *placement.directive;
        text += String(" by ") + kKindNames[static_cast<size_t>(d.kind) % 5] + " " + d.pattern;
        if (!d.target.empty())
            text += " " + d.target;
    }
    return text;
}

} // namespace quillory
