// The read-only gantry subcommands: the scan summary and the manager's package and file views.
#include "cli/GantryContext.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

namespace quillory::cli {

namespace {

using Row = std::vector<String>;

struct Column {
    const char* title;
    bool rightAligned;
};

constexpr Column kPackageColumns[] = {{"Package", false},      {"Status", false},
                                      {"Size", true},          {"Files/Folders", true},
                                      {"Install date", false}, {"Shared", true}};
constexpr Column kFileColumns[] = {{"File", false}, {"Status", false}, {"Path", false},
                                   {"Size", true},  {"CRC32", false},  {"Package", false}};

template <size_t N> void PrintTable(const Column (&columns)[N], const std::vector<Row>& rows) {
    size_t widths[N];
    for (size_t c = 0; c < N; ++c) {
        widths[c] = String(columns[c].title).size();
        for (const Row& row : rows)
            widths[c] = std::max(widths[c], row[c].size());
    }
    auto print = [&](auto cell) {
        String line;
        for (size_t c = 0; c < N; ++c) {
            const String text = cell(c);
            const String pad(widths[c] - text.size(), ' ');
            line += columns[c].rightAligned ? pad + text : text + (c + 1 < N ? pad : String());
            if (c + 1 < N)
                line += "  ";
        }
        std::printf("%s\n", line.c_str());
    };
    print([&](size_t c) { return String(columns[c].title); });
    for (const Row& row : rows)
        print([&](size_t c) { return row[c]; });
}

// Names are bytes in the system code page: anything that is not UTF-8 is replaced, not thrown.
void PrintJson(const nlohmann::ordered_json& rows) {
    std::printf("%s\n",
                rows.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

bool TakeJson(Args& args) {
    return TakeFlag(args, "--json");
}

bool RefuseExtraWords(const Args& args) {
    if (args.empty())
        return false;
    std::fprintf(stderr, "quillory-cli: unexpected '%s'\n", args.front().c_str());
    return true;
}

} // namespace

int RunGantryScan(GantryContext& context, const Args& args) {
    if (RefuseExtraWords(args))
        return 2;
    const ScanSummary& s = context.scan;
    std::printf("Game folder: %s\n", context.gamePath.c_str());
    std::printf("Folders: %u\nFiles: %u\nPackages: %u\nNew files: %u\nMissing files: %u\n",
                s.folders, s.files, s.packages, s.newFiles, s.missingFiles);
    return 0;
}

int RunGantryPackages(GantryContext& context, const Args& arguments) {
    Args args = arguments;
    const bool json = TakeJson(args);
    if (RefuseExtraWords(args))
        return 2;
    std::vector<Row> rows;
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const auto& package : context.database.packages) {
        package->ComputeStatus();
        Row row = {package->name,
                   package->StatusText(),
                   package->SizeText(),
                   std::to_string(package->fileCount) + "/" + std::to_string(package->folderCount),
                   package->InstallDateText(),
                   std::to_string(package->sharedCount)};
        if (json) {
            // The column texts, with the raw values under the plain names.
            out.push_back({{"package", row[0]},
                           {"status", package->status},
                           {"statusText", row[1]},
                           {"size", package->totalSize},
                           {"sizeText", row[2]},
                           {"filesFolders", row[3]},
                           {"files", package->fileCount},
                           {"folders", package->folderCount},
                           {"installDate", row[4]},
                           {"installed", package->installed},
                           {"shared", package->sharedCount},
                           {"homePage", package->homePage}});
        }
        rows.push_back(std::move(row));
    }
    if (json)
        PrintJson(out);
    else
        PrintTable(kPackageColumns, rows);
    return 0;
}

int RunGantryFiles(GantryContext& context, const Args& arguments) {
    Args args = arguments;
    const bool json = TakeJson(args);
    if (args.size() > 1) {
        std::fprintf(stderr, "quillory-cli: unexpected '%s'\n", args[1].c_str());
        return 2;
    }
    HandleArray<CPackage> shown;
    if (args.empty()) {
        shown = context.database.packages;
    } else {
        Handle<CPackage> package = FindPackage(context.database, args.front());
        if (!package)
            return 2;
        shown.push_back(package);
    }
    std::vector<Row> rows;
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const auto& package : shown) {
        for (const auto& node : package->members) {
            Row row = {node->name,       node->StatusText(), node->RelativeFolderPath(),
                       node->SizeText(), node->CrcText(),    package->name};
            if (json) {
                out.push_back({{"file", row[0]},
                               {"status", node->status},
                               {"statusText", row[1]},
                               {"path", node->RelativePath()},
                               {"folderPath", row[2]},
                               {"size", node->size},
                               {"sizeText", row[3]},
                               {"crc32", row[4]},
                               {"crc", node->CrcText()},
                               {"package", row[5]},
                               {"diskName", node->diskName},
                               {"folder", node->IsFolder()}});
            }
            rows.push_back(std::move(row));
        }
    }
    if (json)
        PrintJson(out);
    else
        PrintTable(kFileColumns, rows);
    return 0;
}

} // namespace quillory::cli
