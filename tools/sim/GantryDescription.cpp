#include "tools/sim/GantryDescription.h"

#include "common/AsciiCase.h"
#include "common/FileHandle.h"
#include "common/MemoryStream.h"
#include "gantry/client/EntryPlacement.h"
#include "gantry/client/PackageArchive.h"
#include "tools/sim/OfferSettings.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>

namespace quillory::sim {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSettingsName = "offer.ini";
constexpr uint32_t kDescriptionVersion = 1;
constexpr uint64_t kMaxU32 = std::numeric_limits<uint32_t>::max();

// One node of a described tree; folders keep their children in the order first met.
struct DescribedNode {
    std::string name; // a folder's name ends with '\'
    uint32_t size = 0;
    uint32_t crc = 0;
    std::vector<std::unique_ptr<DescribedNode>> children;

    DescribedNode* Child(const std::string& childName) {
        for (auto& child : children)
            if (EqualsNoCase(child->name, childName))
                return child.get();
        children.push_back(std::make_unique<DescribedNode>());
        children.back()->name = childName;
        return children.back().get();
    }
};

struct DescribedPackage {
    std::string fileName;
    std::string name;
    std::string homePage;
    uint64_t archiveSize = 0;
    DescribedNode root;
};

// Places a file where the installer would; a later entry for the same place replaces it, as
// it would overwrite it on disk.
void AddFile(DescribedNode& root, const std::string& destination, uint32_t size, uint32_t crc) {
    std::vector<String> pieces = SplitPathPieces(destination);
    DescribedNode* folder = &root;
    for (size_t i = 0; i + 1 < pieces.size(); ++i)
        folder = folder->Child(pieces[i] + "\\");
    DescribedNode* file = folder->Child(pieces.back());
    file->size = size;
    file->crc = crc;
}

// Reads an archive as a client would install it; false with the reason.
bool DescribeArchive(const fs::path& path, DescribedPackage& package, std::string& reason) {
    std::error_code ec;
    package.archiveSize = fs::file_size(path, ec);
    if (ec || package.archiveSize > kMaxU32) {
        reason = ec ? ec.message() : "larger than 4 GiB";
        return false;
    }
    PackageArchive archive(path.string());
    if (!archive.Parse()) {
        reason = "not an installable package archive";
        return false;
    }
    package.name = archive.PackageName();
    package.homePage = archive.InfoUrl();
    CZipReader& zip = archive.Zip();
    ZipEntryInfo info;
    for (bool more = zip.GoToFirst(); more; more = zip.GoToNext()) {
        if (!zip.CurrentInfo(info) || info.size > kMaxU32) {
            reason = "an entry cannot be read or is larger than 4 GiB";
            return false;
        }
        EntryPlacement placement = PlaceEntry(archive.Directives(), info.path);
        if (placement.fate == EntryFate::Placed)
            AddFile(package.root, placement.destination, uint32_t(info.size), info.crc);
    }
    return true;
}

void WriteNodeList(CMemoryStream& s, const DescribedNode& folder) {
    for (const auto& child : folder.children) {
        WriteText(s, child->name);
        if (child->name.back() == '\\') {
            WriteNodeList(s, *child);
        } else {
            WriteU32(s, child->size);
            WriteU32(s, child->crc);
        }
    }
    WriteU8(s, 0);
}

std::string UrlPiece(const std::string& name) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out.push_back(char(c));
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool LoadSettings(const fs::path& folder, OfferSettings& settings, std::string& error) {
    const fs::path path = folder / kSettingsName;
    std::error_code ec;
    if (!fs::exists(path, ec))
        return true;
    std::string text;
    if (!ReadWholeFile(path.string(), text)) {
        error = "cannot read " + path.string();
        return false;
    }
    return ReadOfferSettings(text, settings, error);
}

} // namespace

std::vector<std::string> GantryArchiveNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && EndsWithNoCase(name, ".zip"))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string GantryFolderFingerprint(const std::string& folder) {
    std::string print;
    std::vector<std::string> names = GantryArchiveNames(folder);
    names.push_back(kSettingsName);
    for (const std::string& name : names) {
        std::error_code ec;
        const fs::path path = fs::path(folder) / name;
        const auto size = fs::file_size(path, ec);
        const auto time = fs::last_write_time(path, ec).time_since_epoch().count();
        print += name + "|" + std::to_string(ec ? 0 : size) + "|" + std::to_string(time) + "\n";
    }
    return print;
}

DescriptionBuild BuildGantryDescription(const std::string& folder, const std::string& baseUrl,
                                        const std::string& serverName) {
    DescriptionBuild build;
    OfferSettings settings;
    settings.serverTexts[0] = serverName;
    if (!LoadSettings(folder, settings, build.error))
        return build;
    std::vector<DescribedPackage> packages;
    for (const std::string& fileName : GantryArchiveNames(folder)) {
        DescribedPackage package;
        package.fileName = fileName;
        std::string reason;
        if (DescribeArchive(fs::path(folder) / fileName, package, reason))
            packages.push_back(std::move(package));
        else
            build.warnings.push_back(fileName + " left out: " + reason);
    }
    for (const auto& [name, unused] : settings.packages)
        if (std::none_of(packages.begin(), packages.end(),
                         [&](const auto& p) { return EqualsNoCase(p.fileName, name); }))
            build.warnings.push_back(std::string(kSettingsName) + " names no archive '" + name +
                                     "'");
    CMemoryStream s;
    WriteU32(s, kDescriptionVersion);
    for (const std::string& text : settings.serverTexts)
        WriteText(s, text);
    WriteU32(s, uint32_t(packages.size()));
    for (const DescribedPackage& p : packages) {
        const OfferedPackageSettings own = settings.ForArchive(p.fileName);
        WriteText(s, baseUrl + UrlPiece(p.fileName));
        WriteU32(s, uint32_t(p.archiveSize));
        WriteText(s, p.name);
        WriteText(s, own.homePage.value_or(p.homePage));
        WriteText(s, own.text3);
        WriteText(s, own.text4);
        WriteU32(s, own.priority);
        WriteNodeList(s, p.root);
    }
    build.bytes.assign(s.Data(), s.Data() + s.Size());
    build.packages = packages.size();
    return build;
}

} // namespace quillory::sim
