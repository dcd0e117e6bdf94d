// quillory-cli gantry offered: fetches the packages a Gantry server offers and compares them
// with the installation, as the manager's server view shows them.
#include "cli/GantryContext.h"

#include "common/NumberText.h"

#include "net/ServerAddress.h"
#include "net/ServerQuery.h"
#include "net/ServerWatch.h"
#include "net/WatchRules.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <mutex>
#include <optional>

namespace quillory::cli {

namespace {

// Two hello cycles, two re-request rounds and slow loopback machines fit well inside this.
constexpr uint32_t GANTRY_WAIT_MS = 60000;

struct OfferedOptions {
    String password;
    bool json = false;
    String address;
};

int Usage(const char* message) {
    std::fprintf(stderr, "quillory-cli: %s\n", message);
    std::fputs("usage: quillory-cli gantry offered [--password PW] [--json] ADDRESS[:PORT]\n",
               stderr);
    return 2;
}

std::optional<OfferedOptions> ParseOfferedOptions(const Args& args) {
    OfferedOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const String& a = args[i];
        if (a == "--json") {
            options.json = true;
        } else if (a == "--password") {
            if (++i >= args.size())
                return std::nullopt;
            options.password = args[i];
        } else if (a.size() > 1 && a[0] == '-') {
            return std::nullopt;
        } else if (options.address.empty()) {
            options.address = a;
        } else {
            return std::nullopt;
        }
    }
    if (options.address.empty())
        return std::nullopt;
    return options;
}

String PriorityText(uint32_t priority) {
    if (priority <= 3)
        return "Optional";
    return priority <= 6 ? "Recommended" : "Required";
}

// Hundredths of a megabyte of 10,485 bytes, "," between thousands, as the manager shows it.
String MegabyteText(uint64_t bytes) {
    String text = std::to_string(bytes / 10485);
    while (text.size() < 3)
        text.insert(0, "0");
    const size_t whole = text.size() - 2;
    return GroupThousands(text.substr(0, whole)) + "." + text.substr(whole) + " MB";
}

struct OfferedRow {
    const CPackage* package;
    String action;
};

std::vector<OfferedRow> Rows(CFileDatabase& db, uint64_t& toDownload) {
    std::vector<OfferedRow> rows;
    toDownload = 0;
    for (const auto& package : db.offeredPackages) {
        db.CompareWithDatabase(*package);
        bool download = package->needsDownload != 0;
        if (download)
            toDownload += package->archiveSize;
        rows.push_back({package.get(), download ? "Download" : ""});
    }
    return rows;
}

void PrintText(const CFileDatabase& db, const std::vector<OfferedRow>& rows, uint64_t bytes) {
    const char* labels[] = {"Name", "Info", "Admin", "Teamspeak"};
    for (int i = 0; i < 4; ++i)
        std::printf("%s: %s\n", labels[i], db.serverTexts[size_t(i)].c_str());
    std::printf("\n%-30s %-12s %-22s %12s  %s\n", "Package", "Priority", "Status", "Zip size",
                "Action");
    for (const auto& row : rows) {
        const CPackage& p = *row.package;
        std::printf("%-30s %-12s %-22s %12s  %s\n", p.name.c_str(),
                    PriorityText(p.priority).c_str(), p.OfferedStatusText().c_str(),
                    CFileNode::SizeTextOf(p.archiveSize).c_str(), row.action.c_str());
    }
    std::printf("\nMods: %s\n%s to download\n", db.ModSuggestion().c_str(),
                MegabyteText(bytes).c_str());
}

void PrintJson(const CFileDatabase& db, const std::vector<OfferedRow>& rows, uint64_t bytes) {
    nlohmann::json packages = nlohmann::json::array();
    for (const auto& row : rows) {
        const CPackage& p = *row.package;
        packages.push_back({{"name", p.name},
                            {"priority", p.priority},
                            {"priorityText", PriorityText(p.priority)},
                            {"status", p.status},
                            {"statusText", p.OfferedStatusText()},
                            {"zipSize", p.archiveSize},
                            {"zipSizeText", CFileNode::SizeTextOf(p.archiveSize)},
                            {"action", row.action},
                            {"homePage", p.homePage},
                            {"archive", p.archivePath}});
    }
    nlohmann::json out = {
        {"server",
         {{"name", db.serverTexts[0]},
          {"info", db.serverTexts[1]},
          {"admin", db.serverTexts[2]},
          {"teamspeak", db.serverTexts[3]}}},
        {"packages", packages},
        {"mods", db.ModSuggestion()},
        {"toDownload", bytes},
        {"toDownloadText", MegabyteText(bytes) + " to download"},
    };
    // Server texts are code-page bytes, not UTF-8: replace what does not decode.
    std::puts(out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

} // namespace

int RunGantryOffered(GantryContext& context, const Args& args) {
    auto options = ParseOfferedOptions(args);
    if (!options)
        return Usage("offered needs an address and takes --password PW and --json");
    CServerWatch watch;
    watch.SetCacheFolder(context.dataFolder);
    // On before the first poll cycle, so the hello goes out with the first probes.
    watch.SetGantryFeature(true);
    if (watch.Select(options->address, options->password) == SelectResult::BAD_ADDRESS)
        return Usage("Bad address error");
    if (!watch.Open()) {
        std::fputs("quillory-cli: cannot open a UDP socket\n", stderr);
        return 1;
    }
    auto outcome = watch.State().WaitForGantryOutcome(GANTRY_WAIT_MS);
    if (outcome && outcome->state == GANTRY_ANSWERED && !outcome->description) {
        std::fputs("quillory-cli: the Gantry server's description does not unpack\n", stderr);
        return 1;
    }
    if (!outcome || outcome->state != GANTRY_ANSWERED) {
        const WatchSnapshot seen = watch.State().Snapshot();
        std::fprintf(stderr, "quillory-cli: Gantry: %s\n",
                     GantryStateText(seen.status, true).c_str());
        return 1;
    }
    const auto& bytes = *outcome->description;
    CMemoryStream description(bytes.data(), bytes.size());
    CFileDatabase& db = context.database;
    db.ClearOfferedList();
    if (!db.ReadOfferedList(description)) {
        std::fputs("quillory-cli: the Gantry server's description is damaged\n", stderr);
        return 1;
    }
    uint64_t toDownload = 0;
    auto rows = Rows(db, toDownload);
    if (options->json)
        PrintJson(db, rows, toDownload);
    else
        PrintText(db, rows, toDownload);
    return 0;
}

} // namespace quillory::cli
