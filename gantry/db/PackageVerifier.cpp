#include "gantry/db/PackageVerifier.h"

#include "common/AsciiCase.h"
#include "common/NumberText.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_set>

namespace quillory {

namespace {

constexpr size_t kFirstRealPackage = CFileDatabase::PSEUDO_PACKAGE_COUNT;

String Hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// The names another tool or this system gives the file when it deactivates it: ours
// (x.pbo.0012abcd.aab), and the foreign x.pbx and x.pbo.0012abcd.aax.
void AddInactiveNames(const CFileNode& node, std::vector<String>& names) {
    const String ours = node.InactiveName();
    String candidates[] = {ours, ours.substr(0, ours.size() - 1) + "x", String()};
    if (EndsWithNoCase(node.name, ".pbo"))
        candidates[2] = node.name.substr(0, node.name.size() - 1) + "x";
    for (String& name : candidates) {
        if (name.empty() || EqualsNoCase(name, node.diskName))
            continue;
        names.push_back(std::move(name));
    }
}

} // namespace

String VerifyFinding::DetailText() const {
    if (kind == VerifyKind::CHANGED)
        return "stored " + std::to_string(storedSize) + " bytes, CRC " + Hex8(storedCrc) +
               "; found " + std::to_string(foundSize) + " bytes, CRC " + Hex8(foundCrc);
    if (!foundName.empty())
        return "present as " + foundName;
    return String();
}

String VerifyReport::SummaryText() const {
    return "Verified " + CountOf(files, "file", "files") + " of " +
           CountOf(packages, "package", "packages") + ": " + std::to_string(matched) + " match, " +
           std::to_string(findings.size()) + " differ" + (cancelled ? " (stopped)" : "");
}

const char* VerifyFinding::KindText() const {
    switch (kind) {
    case VerifyKind::MISSING:
        return "Missing";
    case VerifyKind::CHANGED:
        return "Changed";
    case VerifyKind::INACTIVE_ONLY:
        return "Inactive only";
    case VerifyKind::ACTIVE_ONLY:
        return "Active only";
    case VerifyKind::UNREADABLE:
        return "Unreadable";
    }
    return "";
}

const char* VerifyFinding::KindKey() const {
    switch (kind) {
    case VerifyKind::MISSING:
        return "missing";
    case VerifyKind::CHANGED:
        return "changed";
    case VerifyKind::INACTIVE_ONLY:
        return "inactiveOnly";
    case VerifyKind::ACTIVE_ONLY:
        return "activeOnly";
    case VerifyKind::UNREADABLE:
        return "unreadable";
    }
    return "";
}

CPackageVerifier::CPackageVerifier(CFileDatabase& database) : database_(database) {}

CPackageVerifier::~CPackageVerifier() {
    Cancel();
    Join();
}

HandleArray<CPackage> CPackageVerifier::Select(const std::vector<String>& names,
                                               std::vector<String>& unknown) const {
    const HandleArray<CPackage>& all = database_.Packages();
    if (names.empty())
        return HandleArray<CPackage>(all.begin() + std::min(all.size(), kFirstRealPackage),
                                     all.end());
    HandleArray<CPackage> chosen;
    for (const String& name : names) {
        const auto found = std::find_if(all.begin(), all.end(), [&](const Handle<CPackage>& p) {
            return EqualsNoCase(p->name, name);
        });
        if (found == all.end())
            unknown.push_back(name);
        else if (std::find(chosen.begin(), chosen.end(), *found) == chosen.end())
            chosen.push_back(*found);
    }
    return chosen;
}

VerifyReport CPackageVerifier::Verify(const HandleArray<CPackage>& packages) {
    QUILLORY_ASSERT_DB_OWNER(database_);
    VerifyReport report;
    report.packages = static_cast<uint32_t>(packages.size());
    // A file shared by several packages is read once, reported under the first.
    std::unordered_set<const CFileNode*> seen;
    for (const Handle<CPackage>& package : packages) {
        for (const Handle<CFileNode>& member : package->members) {
            if (!member || member->IsFolder() || !member->parent ||
                !seen.insert(member.get()).second)
                continue;
            if (database_.Progress().CancelRequested())
                report.cancelled = true;
            else
                CheckFile(*package, *member, report);
            if (report.cancelled) {
                database_.Progress().ClearCancelRequest();
                return report;
            }
        }
    }
    return report;
}

// Reads the file where the database says it is; only when it is not there are the other names
// looked at, so a sound installation costs one open and the reads per file.
void CPackageVerifier::CheckFile(const CPackage& package, const CFileNode& node,
                                 VerifyReport& report) {
    const String folder = node.FolderPath();
    const bool wantsActive = node.status != NS_INACTIVE;
    String expected = wantsActive ? node.name : node.diskName;
    if (expected.empty())
        expected = node.InactiveName();
    VerifyFinding finding;
    finding.package = package.name;
    finding.path = node.RelativeFolderPath() + expected;
    finding.storedSize = node.size;
    finding.storedCrc = node.crc;

    ++report.files;
    database_.PublishScanText(folder + expected);
    uint32_t crc = 0;
    uint64_t size = 0;
    switch (database_.ReadCrc32(folder + expected, crc, size)) {
    case CFileDatabase::CRC_DONE:
        report.bytes += size;
        // The database keeps the low 32 bits of the size, as the directory listing gives it.
        if (static_cast<uint32_t>(size) == node.size && crc == node.crc) {
            ++report.matched;
            return;
        }
        finding.kind = VerifyKind::CHANGED;
        finding.foundSize = static_cast<uint32_t>(size);
        finding.foundCrc = crc;
        break;
    case CFileDatabase::CRC_CANCELLED:
        --report.files;
        report.cancelled = true;
        return;
    case CFileDatabase::CRC_UNREADABLE:
        finding.kind = VerifyKind::UNREADABLE;
        break;
    case CFileDatabase::CRC_NOT_FOUND: {
        std::vector<String> others;
        if (wantsActive) {
            if (!EqualsNoCase(node.diskName, node.name) && !node.diskName.empty())
                others.push_back(node.diskName);
            AddInactiveNames(node, others);
        } else {
            others.push_back(node.name);
        }
        finding.kind = VerifyKind::MISSING;
        for (const String& other : others) {
            if (!platform::PathExists(folder + other))
                continue;
            finding.kind = wantsActive ? VerifyKind::INACTIVE_ONLY : VerifyKind::ACTIVE_ONLY;
            finding.foundName = other;
            break;
        }
        break;
    }
    }
    report.findings.push_back(std::move(finding));
}

bool CPackageVerifier::Start(HandleArray<CPackage> packages) {
    if (thread_.joinable())
        return false;
    finished_ = false;
    database_.Owner().Lend();
    try {
        thread_ = std::thread([this, packages = std::move(packages)] {
            database_.Owner().Take();
            VerifyReport report = Verify(packages);
            database_.Owner().GiveBack();
            std::lock_guard guard(mutex_);
            report_ = std::move(report);
            // A stop asked for after the last file is void; left set it would stop a later scan.
            database_.Progress().ClearCancelRequest();
            finished_ = true;
            done_.notify_all();
        });
    } catch (const std::system_error&) {
        database_.Owner().GiveBack();
        return false;
    }
    return true;
}

bool CPackageVerifier::WaitFor(std::chrono::milliseconds timeout) {
    {
        std::unique_lock guard(mutex_);
        if (!done_.wait_for(guard, timeout, [this] { return finished_.load(); }))
            return false;
    }
    Join();
    return true;
}

void CPackageVerifier::Cancel() {
    std::lock_guard guard(mutex_);
    if (thread_.joinable() && !finished_)
        database_.Progress().RequestCancel();
}

String CPackageVerifier::ProgressText() const {
    return database_.Progress().Text();
}

void CPackageVerifier::Join() {
    if (thread_.joinable())
        thread_.join();
}

} // namespace quillory
