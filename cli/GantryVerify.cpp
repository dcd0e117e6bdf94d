// quillory-cli gantry verify: re-reads the files of packages and reports each one that differs
// from the database. It runs on the database as saved and changes nothing.
#include "cli/CommandLine.h"
#include "cli/GantryContext.h"

#include "gantry/db/PackageVerifier.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace quillory::cli {

namespace {

String Hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

void PrintText(const VerifyReport& report) {
    for (const VerifyFinding& f : report.findings) {
        const String detail = f.DetailText();
        std::printf("%s: %s (%s)%s%s\n", f.KindText(), f.path.c_str(), f.package.c_str(),
                    detail.empty() ? "" : ": ", detail.c_str());
    }
    std::printf("%s\n", report.SummaryText().c_str());
}

void PrintReportJson(const VerifyReport& report) {
    nlohmann::ordered_json differences = nlohmann::ordered_json::array();
    for (const VerifyFinding& f : report.findings) {
        nlohmann::ordered_json row;
        row["kind"] = f.KindKey();
        row["kindText"] = f.KindText();
        row["package"] = f.package;
        row["path"] = f.path;
        row["storedSize"] = f.storedSize;
        row["storedCrc"] = Hex8(f.storedCrc);
        if (f.kind == VerifyKind::CHANGED) {
            row["foundSize"] = f.foundSize;
            row["foundCrc"] = Hex8(f.foundCrc);
        }
        if (!f.foundName.empty())
            row["foundName"] = f.foundName;
        differences.push_back(std::move(row));
    }
    nlohmann::ordered_json out;
    out["packages"] = report.packages;
    out["files"] = report.files;
    out["matched"] = report.matched;
    out["bytes"] = report.bytes;
    out["cancelled"] = report.cancelled;
    out["differences"] = std::move(differences);
    PrintJson(out, 2);
}

} // namespace

int RunGantryVerify(GantryContext& context, const GantryArgs& args) {
    const bool json = args.json;
    CPackageVerifier verifier(context.database);
    std::vector<String> unknown;
    HandleArray<CPackage> packages = verifier.Select(args.words, unknown);
    for (const String& name : unknown)
        std::fprintf(stderr, "quillory-cli: no package named \"%s\"\n", name.c_str());
    if (!unknown.empty())
        return 2;
    if (!verifier.Start(std::move(packages))) {
        std::fputs("quillory-cli: cannot start the verify worker\n", stderr);
        return 1;
    }
    WaitShowingProgress([&](std::chrono::milliseconds t) { return verifier.WaitFor(t); },
                        [&] { return verifier.ProgressText(); }, "verifying");
    const VerifyReport& report = verifier.Report();
    if (json)
        PrintReportJson(report);
    else
        PrintText(report);
    return report.AllMatch() ? 0 : 1;
}

} // namespace quillory::cli
