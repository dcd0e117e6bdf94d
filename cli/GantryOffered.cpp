// quillory-cli gantry offered: fetches the packages a Gantry server offers and compares them
// with the installation, as the manager's server view shows them.
#include "cli/CommandLine.h"
#include "cli/GantryContext.h"
#include "common/PrintableText.h"

#include "gantry/db/ViewRows.h"
#include "net/ServerAddress.h"
#include "net/ServerQuery.h"
#include "net/ServerWatch.h"
#include "watch/core/WatchRules.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <mutex>
#include <optional>

namespace quillory::cli {

namespace {

// Two hello cycles, two re-request rounds and slow loopback machines fit well inside this.
constexpr uint32_t OFFERED_WAIT_MS = 60000;

void PrintText(const CFileDatabase& db, const OfferedView& view) {
    const char* labels[] = {"Name", "Info", "Admin", "Teamspeak"};
    for (int i = 0; i < 4; ++i)
        std::printf("%s: %s\n", labels[i], PrintableText(db.ServerText(size_t(i))).c_str());
    std::printf("\n%-30s %-12s %-22s %12s  %s\n", "Package", "Priority", "Status", "Zip size",
                "Action");
    for (const OfferedRow& row : view.rows) {
        std::printf("%-30s %-12s %-22s %12s  %s\n", PrintableText(row.name).c_str(),
                    row.priorityText.c_str(), row.statusText.c_str(), row.zipSizeText.c_str(),
                    row.action.c_str());
    }
    std::printf("\nMods: %s\n%s to download\n", PrintableText(db.ModSuggestion()).c_str(),
                MegabyteText(view.bytesToDownload).c_str());
}

void PrintViewJson(const CFileDatabase& db, const OfferedView& view) {
    const uint64_t bytes = view.bytesToDownload;
    nlohmann::json packages = nlohmann::json::array();
    for (const OfferedRow& row : view.rows) {
        const CPackage& p = *row.package;
        packages.push_back({{"name", row.name},
                            {"priority", p.priority},
                            {"priorityText", row.priorityText},
                            {"status", p.status},
                            {"statusText", row.statusText},
                            {"zipSize", p.archiveSize},
                            {"zipSizeText", row.zipSizeText},
                            {"action", row.action},
                            {"homePage", p.homePage},
                            {"archive", p.archivePath}});
    }
    nlohmann::json out = {
        {"server",
         {{"name", db.ServerText(0)},
          {"info", db.ServerText(1)},
          {"admin", db.ServerText(2)},
          {"teamspeak", db.ServerText(3)}}},
        {"packages", packages},
        {"mods", db.ModSuggestion()},
        {"toDownload", bytes},
        {"toDownloadText", MegabyteText(bytes) + " to download"},
    };
    PrintJson(out, 2);
}

} // namespace

int RunGantryOffered(GantryContext& context, const GantryArgs& args) {
    const String& address = args.words.front();
    CServerWatch watch;
    watch.SetCacheFolder(context.dataFolder);
    // On before the first poll cycle, so the hello goes out with the first probes.
    watch.SetGantryFeature(true);
    if (watch.Select(address, PasswordFor(context, args, address)) == SelectResult::BAD_ADDRESS) {
        std::fputs("quillory-cli: Bad address error\n", stderr);
        return 2;
    }
    if (!watch.Open()) {
        std::fputs("quillory-cli: cannot open a UDP socket\n", stderr);
        return 1;
    }
    auto outcome = watch.State().WaitForGantryOutcome(OFFERED_WAIT_MS);
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
    const OfferedView view = FillOfferedView(db);
    if (args.json)
        PrintViewJson(db, view);
    else
        PrintText(db, view);
    return 0;
}

} // namespace quillory::cli
