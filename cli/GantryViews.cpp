// The read-only gantry subcommands: the scan summary and the manager's package and file views.
#include "cli/CommandLine.h"
#include "cli/GantryContext.h"

#include "gantry/db/ViewRows.h"

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

} // namespace

int RunGantryScan(GantryContext& context, const GantryArgs&) {
    const ScanSummary& s = context.scan;
    std::printf("Game folder: %s\n", context.gamePath.c_str());
    std::printf("Folders: %u\nFiles: %u\nPackages: %u\nNew files: %u\nMissing files: %u\n",
                s.folders, s.files, s.packages, s.newFiles, s.missingFiles);
    return 0;
}

int RunGantryPackages(GantryContext& context, const GantryArgs& args) {
    const bool json = args.json;
    std::vector<Row> rows;
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const PackageRow& r : FillPackageRows(context.database)) {
        Row row = {r.name, r.statusText, r.sizeText, r.filesFolders, r.installDate, r.shared};
        if (json) {
            // The column texts, with the raw values under the plain names.
            out.push_back({{"package", r.name},
                           {"status", r.status},
                           {"statusText", r.statusText},
                           {"size", r.totalSize},
                           {"sizeText", r.sizeText},
                           {"filesFolders", r.filesFolders},
                           {"files", r.fileCount},
                           {"folders", r.folderCount},
                           {"installDate", r.installDate},
                           {"installed", r.installed},
                           {"shared", r.sharedCount},
                           {"homePage", r.package->homePage}});
        }
        rows.push_back(std::move(row));
    }
    if (json)
        PrintJson(out, 2);
    else
        PrintTable(kPackageColumns, rows);
    return 0;
}

int RunGantryFiles(GantryContext& context, const GantryArgs& args) {
    const bool json = args.json;
    Handle<CPackage> filter;
    if (!args.words.empty()) {
        filter = FindPackage(context.database, args.words.front());
        if (!filter)
            return 2;
    }
    std::vector<Row> rows;
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const FileRow& r : FillFileRows(context.database, filter.get())) {
        Row row = {r.name, r.statusText, r.folderPath, r.sizeText, r.crcText, r.packageName};
        if (json) {
            out.push_back({{"file", r.name},
                           {"status", r.status},
                           {"statusText", r.statusText},
                           {"path", r.node->RelativePath()},
                           {"folderPath", r.folderPath},
                           {"size", r.size},
                           {"sizeText", r.sizeText},
                           {"crc32", r.crcText},
                           {"crc", r.crcText},
                           {"package", r.packageName},
                           {"diskName", r.node->diskName},
                           {"folder", r.folder}});
        }
        rows.push_back(std::move(row));
    }
    if (json)
        PrintJson(out, 2);
    else
        PrintTable(kFileColumns, rows);
    return 0;
}

} // namespace quillory::cli
