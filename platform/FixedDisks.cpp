#include "platform/FixedDisks.h"

#include "common/FileHandle.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace quillory::platform {

namespace {

// File systems that keep their data on a local disk; everything else (network, pseudo, optical,
// overlay, memory) is never searched.
constexpr std::array<std::string_view, 16> DISK_FILE_SYSTEMS = {
    "ext2", "ext3",  "ext4",  "xfs",  "btrfs", "f2fs",    "jfs",     "reiserfs",
    "vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk", "hfsplus", "nilfs2",
};

// Mount points in the table write blank, tab, newline and backslash as three octal digits.
String DecodeOctal(std::string_view field) {
    String out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += char((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        size_t end = pos;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            ++end;
        if (end > pos)
            fields.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return fields;
}

String ReadSmallFile(const String& path) {
    String text;
    if (!ReadWholeFile(path, text))
        return String();
    return text;
}

} // namespace

std::vector<MountEntry> ParseMountTable(std::string_view text) {
    std::vector<MountEntry> table;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        auto fields = Fields(text.substr(start, end - start));
        start = end + 1;
        if (fields.size() < 3)
            continue;
        table.push_back({DecodeOctal(fields[0]), DecodeOctal(fields[1]), String(fields[2])});
    }
    return table;
}

std::vector<MountEntry> ReadMountTable() {
    String text;
    if (!ReadWholeFile("/proc/self/mounts", text))
        return {};
    return ParseMountTable(text);
}

bool IsLocalDiskFileSystem(const MountEntry& entry) {
    if (!entry.device.starts_with("/dev/"))
        return false;
    return std::find(DISK_FILE_SYSTEMS.begin(), DISK_FILE_SYSTEMS.end(), entry.type) !=
           DISK_FILE_SYSTEMS.end();
}

bool IsRemovableDevice(const String& device) {
    std::error_code error;
    const auto real = std::filesystem::canonical(device, error);
    if (error)
        return false;
    const String name = real.filename().string();
    const std::filesystem::path block = std::filesystem::path("/sys/class/block") / name;
    // A partition has no "removable" of its own: its disk is the folder above in /sys.
    String flag = ReadSmallFile((block / "removable").string());
    if (flag.empty()) {
        const auto resolved = std::filesystem::canonical(block, error);
        if (!error)
            flag = ReadSmallFile((resolved.parent_path() / "removable").string());
    }
    return !flag.empty() && flag[0] == '1';
}

std::vector<String> FixedDiskRoots(const std::vector<MountEntry>& table) {
    std::vector<String> roots;
    std::vector<String> devices;
    for (const MountEntry& entry : table) {
        if (!IsLocalDiskFileSystem(entry) || IsRemovableDevice(entry.device))
            continue;
        if (std::find(devices.begin(), devices.end(), entry.device) != devices.end())
            continue;
        std::error_code error;
        // Single files bound into place (a container's /etc/hosts) are not disks.
        if (!std::filesystem::is_directory(entry.mountPoint, error))
            continue;
        devices.push_back(entry.device);
        String root = entry.mountPoint;
        if (root.empty() || root.back() != '/')
            root += '/';
        roots.push_back(root);
    }
    return roots;
}

std::optional<uint64_t> DeviceOf(const String& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    return uint64_t(st.st_dev);
}

} // namespace quillory::platform
