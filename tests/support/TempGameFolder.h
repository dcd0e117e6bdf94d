#pragma once
// A game folder under the system's temporary folder, removed with everything in it, and the
// helpers a test needs to lay files out in it and look at them afterwards.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::test {

class TempGameFolder final {
public:
    TempGameFolder();
    ~TempGameFolder();
    TempGameFolder(const TempGameFolder&) = delete;
    TempGameFolder& operator=(const TempGameFolder&) = delete;

    // The folder, native, with its trailing separator (as the game folder is kept).
    const std::string& Path() const { return path_; }
    // Native path of `relative`, written with "\" or "/".
    std::string operator/(std::string_view relative) const;

    // Writes a file, creating its folders; a failure fails the running test.
    void Write(std::string_view relative, std::string_view content) const;
    void MakeFolder(std::string_view relative) const;
    // The file's content; empty when it cannot be read.
    std::string Read(std::string_view relative) const;
    // Whether the entry exists with exactly this letter case.
    bool Exists(std::string_view relative) const;
    // Sets the last-write time.
    void SetTime(std::string_view relative, int64_t unixSeconds, long nanoseconds = 0) const;
    void Remove(std::string_view relative) const;
    void Move(std::string_view from, std::string_view to) const;
    // Takes every permission away from a folder; given back before the folder is removed.
    void Lock(std::string_view relative);
    // The names in a folder, sorted.
    std::vector<std::string> List(std::string_view relative) const;

    // A small installation: core files, "AddOns\", "Res\AddOns\", a mod folder with its own
    // "addons\", the left-out "Users\" and "tmp\" at the top and a "Users\" deeper down,
    // hidden entries and an unreadable folder. See InstallationLayout for the names.
    void BuildInstallation();

private:
    std::string path_;
    std::vector<std::string> locked_;
};

// What BuildInstallation lays out, for tests that check classification.
struct InstallationLayout {
    // Paths of the game's own list, written in other letter cases than the list has them.
    static constexpr const char* kCoreFiles[] = {"Ironvale.exe", "ADDONS\\Weapons.pbo",
                                                 "Res\\AddOns\\config.pbo"};
    static constexpr const char* kCoreFolders[] = {"ADDONS\\", "Res\\", "Res\\AddOns\\"};
    // Inactive on disk: ".pbx" from another tool, ".aab" as this system names them.
    static constexpr const char* kUnknownAddons[] = {
        "ADDONS\\mymod_tank.pbo", "ADDONS\\old_gun.pbx", "Res\\AddOns\\trees.pbo.0badf00d.aab"};
    static constexpr const char* kUnknownFiles[] = {
        "notes.txt", "@Mod\\mod.cpp", "@Mod\\addons\\mod_units.pbo", "@Mod\\Users\\keep.txt"};
    static constexpr const char* kUnknownFolders[] = {"@Mod\\", "@Mod\\addons\\", "@Mod\\Users\\",
                                                      "Locked\\"};
    static constexpr const char* kLeftOut[] = {"Users\\Player\\profile.cfg", "tmp\\x.tmp",
                                               "MPMissionsCache\\m.pbo", "Ironvale.cfg"};
    static constexpr const char* kHidden[] = {".hidden.pbo", "ADDONS\\.cache\\c.pbo"};
    // Its one file stays out of the tree while the folder cannot be listed.
    static constexpr const char* kUnreadable = "Locked\\";
    static constexpr const char* kUnreadableFile = "Locked\\secret.pbo";
};

} // namespace quillory::test
