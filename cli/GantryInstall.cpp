// quillory-cli gantry install ARCHIVE...: installs local package archives as new packages.
#include "cli/GantryContext.h"
#include "common/PrintableText.h"

#include "gantry/client/Installer.h"
#include "gantry/db/FileDatabase.h"
#include "platform/StopSignals.h"

#include <atomic>
#include <cstdio>

namespace quillory::cli {

namespace {

void PrintList(const char* what, const std::vector<String>& paths) {
    for (const String& path : paths)
        std::printf("  %-9s %s\n", what, PrintableText(path).c_str());
}

// Installs one archive and tells what became of each entry; true when it installed whole. An
// install that failed part-way was undone: only the error and what could not be put back show.
bool InstallOne(CFileDatabase& db, const String& archive,
                const CInstaller::CancelCheck& cancelled) {
    std::atomic<uint64_t> done{0}, total{0};
    InstallReport report;
    bool ok = InstallPackage(db, archive, done, total, nullptr, &report, cancelled);
    if (report.package) {
        std::printf("%s \"%s\" from %s\n", ok ? "Installed" : "Partly installed",
                    PrintableText(report.package->name).c_str(), archive.c_str());
    }
    PrintList("written", report.written);
    PrintList("reused", report.reused);
    PrintList("ignored", report.ignored);
    PrintList("left out", report.leftOut);
    PrintList("inactive", report.inactive);
    if (ok)
        return true;
    std::fprintf(stderr, "quillory-cli: %s: %s%s\n", archive.c_str(),
                 PrintableText(report.error).c_str(),
                 report.rolledBack ? "; the install was undone" : "");
    for (const String& path : report.notRestored)
        std::fprintf(stderr, "quillory-cli: could not put back %s\n", PrintableText(path).c_str());
    return false;
}

} // namespace

// The dispatcher saves the database afterwards. Ctrl-C or SIGTERM stops after the entry in hand:
// that archive's install is undone, those installed before it stay, and the exit code is 130.
int RunGantryInstall(GantryContext& context, const GantryArgs& args) {
    if (args.words.empty()) {
        std::fputs("usage: quillory-cli gantry install ARCHIVE...\n", stderr);
        return 2;
    }
    CStopSignals stop;
    bool stopped = false;
    const CInstaller::CancelCheck cancelled = [&] { return stopped || (stopped = stop.Wait(0)); };
    bool allOk = true;
    for (const String& archive : args.words) {
        allOk = InstallOne(context.database, archive, cancelled) && allOk;
        if (stopped)
            return kExitCancelled;
    }
    return allOk ? 0 : 1;
}

} // namespace quillory::cli
