// quillory-cli gantry sync: downloads and installs the packages a Gantry server offers and the
// installation lacks, showing the three progress bars, the names and the rate.
#include "cli/GantryContext.h"
#include "common/PrintableText.h"

#include "gantry/client/GantryClient.h"
#include "gantry/db/FileDatabase.h"
#include "platform/StopSignals.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace quillory::cli {

// The offered steps, from the offered subcommand.
int RunGantryOffered(GantryContext& context, const GantryArgs& args);

namespace {

constexpr uint32_t kTickMs = 500; // as the download window's timer; the end does not wait for it
constexpr int kBarWidth = 20;

String Bar(uint64_t done, uint64_t size) {
    int filled = size == 0 ? 0 : static_cast<int>(std::min(done, size) * kBarWidth / size);
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
        bool found = std::any_of(db.OfferedPackages().begin(), db.OfferedPackages().end(),
                                 [&](const auto& p) { return p->name == name; });
        if (!found) {
            std::fprintf(stderr, "quillory-cli: the server offers no package named \"%s\"\n",
                         name.c_str());
            ok = false;
        }
    }
    if (!ok)
        return false;
    for (const auto& package : db.OfferedPackages())
        package->needsDownload =
            std::find(only.begin(), only.end(), package->name) != only.end() ? 1 : 0;
    return true;
}

void ShowProgress(const CGantryClient& client, String& shown, bool terminal) {
    String line = ProgressLine(client.Progress());
    if (line == shown)
        return;
    shown = line;
    std::printf(terminal ? "\r%s" : "%s\n", PrintableText(line).c_str());
    std::fflush(stdout);
}

// Runs the engine to its end; an interrupt acts as the Cancel button.
void RunEngine(CGantryClient& client, CStopSignals& stop) {
    const bool terminal = isatty(fileno(stdout)) != 0;
    String shown;
    client.Begin();
    while (!client.Finished()) {
        if (stop.Wait(kTickMs, client.FinishedEvent()) && !client.CancelRequested()) {
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
            std::printf("Installed %s\n", PrintableText(o.name).c_str());
            continue;
        }
        ++failed;
        std::fprintf(stderr, "quillory-cli: %s: %s (%s)\n", PrintableText(o.name).c_str(),
                     o.error.empty() ? "not downloaded" : PrintableText(o.error).c_str(),
                     PrintableText(o.url).c_str());
    }
    if (outcomes.empty() && !cancelled)
        std::puts("Nothing to download");
    if (cancelled)
        return kExitCancelled;
    return failed == 0 ? 0 : 1;
}

// Downloads and installs the flagged packages of the offered list (only the named ones when
// `only` is not empty).
int SyncOfferedPackages(CFileDatabase& db, const std::vector<String>& only, CStopSignals& stop) {
    if (!only.empty() && !FlagOnly(db, only))
        return 2;
    CGantryClient client(db, db.DatabaseFolder());
    RunEngine(client, stop);
    if (!client.SessionValid())
        std::fprintf(stderr, "quillory-cli: %s (%s)\n", CGantryClient::kSessionFailedText,
                     client.SessionError().c_str());
    return Report(client.Outcomes(), client.CancelRequested());
}

} // namespace

// The offered steps (the server's description read and compared), then the downloads. The
// dispatcher saves the database afterwards.
int RunGantrySync(GantryContext& context, const GantryArgs& args) {
    CStopSignals stop; // before any thread starts, so every thread leaves the signals to it
    GantryArgs offeredArgs;
    offeredArgs.words = args.words;
    offeredArgs.password = args.password;
    int offered = RunGantryOffered(context, offeredArgs);
    if (offered != 0)
        return offered;
    std::fputs("\n", stdout);
    return SyncOfferedPackages(context.database, args.only, stop);
}

} // namespace quillory::cli
