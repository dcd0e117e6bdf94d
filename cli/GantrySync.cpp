// quillory-cli gantry sync: downloads and installs the packages a Gantry server offers and the
// installation lacks, showing the three progress bars, the names and the rate.
#include "cli/Commands.h"

#include "gantry/client/GantryClient.h"
#include "gantry/db/FileDatabase.h"
#include "platform/StopSignals.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace quillory::cli {

namespace {

constexpr uint32_t kTickMs = 500; // as the download window's timer
constexpr int kBarWidth = 20;

String Bar(uint64_t done, uint64_t size) {
    uint32_t range = DownloadProgress::BarUnits(size);
    uint32_t position = std::min(DownloadProgress::BarUnits(done), range);
    int filled = range == 0 ? 0 : static_cast<int>(uint64_t(position) * kBarWidth / range);
    return "[" + String(size_t(filled), '#') + String(size_t(kBarWidth - filled), '-') + "]";
}

String ProgressLine(const DownloadProgress& p) {
    return "Downloading: " + p.downloadingName + " " + Bar(p.currentDone, p.currentSize) +
           "  Installing: " + p.installingName + " " + Bar(p.installDone, p.installTotal) +
           "  Total: " + Bar(p.totalDone, p.totalSize) + "  " + CGantryClient::RateText(p.rate);
}

// Keeps only the named packages flagged; false (with a message) for a name not offered.
bool FlagOnly(CFileDatabase& db, const std::vector<String>& only) {
    bool ok = true;
    for (const String& name : only) {
        bool found = std::any_of(db.offeredPackages.begin(), db.offeredPackages.end(),
                                 [&](const auto& p) { return p->name == name; });
        if (!found) {
            std::fprintf(stderr, "quillory-cli: the server offers no package named \"%s\"\n",
                         name.c_str());
            ok = false;
        }
    }
    if (!ok)
        return false;
    for (const auto& package : db.offeredPackages)
        package->needsDownload =
            std::find(only.begin(), only.end(), package->name) != only.end() ? 1 : 0;
    return true;
}

void ShowProgress(const CGantryClient& client, String& shown, bool terminal) {
    String line = ProgressLine(client.Progress());
    if (line == shown)
        return;
    shown = line;
    std::printf(terminal ? "\r%s" : "%s\n", line.c_str());
    std::fflush(stdout);
}

// Runs the engine to its end; an interrupt acts as the Cancel button.
void RunEngine(CGantryClient& client, CStopSignals& stop) {
    const bool terminal = isatty(fileno(stdout)) != 0;
    String shown;
    client.Begin();
    while (!client.Finished()) {
        if (stop.Wait(kTickMs) && !client.CancelRequested()) {
            std::fputs("\nquillory-cli: cancelling\n", stderr);
            client.Cancel();
        }
        ShowProgress(client, shown, terminal);
    }
    client.Close();
    ShowProgress(client, shown, terminal);
    if (terminal)
        std::fputs("\n", stdout);
}

int Report(const std::vector<DownloadOutcome>& outcomes, bool cancelled) {
    int failed = 0;
    for (const DownloadOutcome& o : outcomes) {
        if (o.arrived && o.installed) {
            std::printf("Installed %s\n", o.name.c_str());
            continue;
        }
        ++failed;
        std::fprintf(stderr, "quillory-cli: %s: %s (%s)\n", o.name.c_str(),
                     o.error.empty() ? "not downloaded" : o.error.c_str(), o.url.c_str());
    }
    if (outcomes.empty() && !cancelled)
        std::puts("Nothing to download");
    return failed == 0 && !cancelled ? 0 : 1;
}

} // namespace

int SyncOfferedPackages(CFileDatabase& db, const std::vector<String>& only, CStopSignals& stop) {
    if (!only.empty() && !FlagOnly(db, only))
        return 2;
    size_t packagesBefore = db.packages.size();
    CGantryClient client(db, db.databaseFolder);
    RunEngine(client, stop);
    if (!client.SessionValid())
        std::fprintf(stderr, "quillory-cli: %s\n", CGantryClient::kSessionFailedText);
    int result = Report(client.Outcomes(), client.CancelRequested());
    if (db.packages.size() != packagesBefore && !db.Save()) {
        std::fputs("quillory-cli: the database could not be saved\n", stderr);
        return 1;
    }
    return result;
}

} // namespace quillory::cli
