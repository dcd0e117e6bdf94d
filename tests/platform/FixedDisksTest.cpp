#include "platform/FixedDisks.h"

#include "tests/support/TempGameFolder.h"

#include <gtest/gtest.h>

using namespace quillory::platform;
using quillory::test::TempGameFolder;

TEST(FixedDisks, ParsesTheMountTableWithItsEscapes) {
    auto table = ParseMountTable("/dev/sda1 / ext4 rw,relatime 0 0\n"
                                 "/dev/sdb1 /mnt/My\\040Games ntfs3 rw 0 0\n"
                                 "broken-line\n"
                                 "server:/export /net nfs4 rw 0 0\n");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].device, "/dev/sda1");
    EXPECT_EQ(table[0].mountPoint, "/");
    EXPECT_EQ(table[0].type, "ext4");
    EXPECT_EQ(table[1].mountPoint, "/mnt/My Games");
    EXPECT_EQ(table[2].type, "nfs4");
}

TEST(FixedDisks, OnlyLocalDiskFileSystemsAreSearched) {
    struct Case {
        MountEntry entry;
        bool local;
    } cases[] = {
        {{"/dev/sda1", "/", "ext4"}, true},
        {{"/dev/nvme0n1p2", "/home", "btrfs"}, true},
        {{"/dev/sdb1", "/win", "ntfs3"}, true},
        {{"/dev/sr0", "/media/cd", "iso9660"}, false},
        {{"/dev/sr0", "/media/dvd", "udf"}, false},
        {{"server:/export", "/net", "nfs"}, false},
        {{"//server/share", "/smb", "cifs"}, false},
        {{"tmpfs", "/tmp", "tmpfs"}, false},
        {{"proc", "/proc", "proc"}, false},
        {{"overlay", "/", "overlay"}, false},
        {{"/dev/loop3", "/snap/core/1", "squashfs"}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsLocalDiskFileSystem(c.entry), c.local) << c.entry.mountPoint;
}

TEST(FixedDisks, RootsInTableOrderEachDeviceOnce) {
    TempGameFolder first, second, third;
    first.Write("hosts", "bound file");
    const std::vector<MountEntry> table = {
        {"tmpfs", third.Path(), "tmpfs"},
        {"/dev/quillory-test-a", second.Path(), "ext4"},
        {"/dev/quillory-test-b", first / "hosts", "ext4"}, // a single file bound into place
        {"/dev/quillory-test-b", first.Path(), "xfs"},
        {"/dev/quillory-test-a", third.Path(), "ext4"}, // the same disk again
        {"/dev/quillory-test-c", first / "absent", "ext4"},
    };
    EXPECT_EQ(FixedDiskRoots(table), (std::vector<std::string>{second.Path(), first.Path()}));
}

TEST(FixedDisks, UnknownDevicesAreNotRemovableAndDevicesHaveNumbers) {
    EXPECT_FALSE(IsRemovableDevice("/dev/quillory-no-such-device"));
    TempGameFolder folder;
    EXPECT_TRUE(DeviceOf(folder.Path()));
    EXPECT_FALSE(DeviceOf(folder / "absent"));
}
