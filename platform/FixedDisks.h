#pragma once
// The local fixed disks, which stand in for the drive letters of type "fixed": the mount points
// of local block-device file systems, in the order the mount table lists them.

#include "common/Types.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quillory::platform {

struct MountEntry {
    String device;     // "/dev/sda1", "tmpfs", "server:/export"...
    String mountPoint; // native, octal escapes of the table decoded
    String type;       // "ext4", "nfs", "iso9660"...
};

// The entries of a table in the format of /proc/self/mounts; lines that do not parse are passed
// over.
std::vector<MountEntry> ParseMountTable(std::string_view text);

// This process's mount table; empty when it cannot be read.
std::vector<MountEntry> ReadMountTable();

// Whether the entry is a local disk file system on a block device: not a network, pseudo,
// optical or overlay file system.
bool IsLocalDiskFileSystem(const MountEntry& entry);

// Whether the block device (for example "/dev/sdb1") belongs to a disk the kernel calls
// removable. Unknown devices are not removable.
bool IsRemovableDevice(const String& device);

// The mount points of `table` that are local fixed disks and folders, each device once (its first
// mount point), in table order, each ending with "/".
std::vector<String> FixedDiskRoots(const std::vector<MountEntry>& table);

// The device number of the file system holding `path`; none when it cannot be read.
std::optional<uint64_t> DeviceOf(const String& path);

} // namespace quillory::platform
