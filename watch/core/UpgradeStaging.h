#pragma once
// The upgrade's staging folder: every file of the archive is written there first, under a
// number of its own so that no two names can meet, and only once all are in are they moved into
// the program folder, each by one rename. The files they replace are kept aside until the last
// rename has succeeded and are put back when one fails. The folder goes with this object.

#include "common/Types.h"
#include "platform/NameIndex.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quillory {

class CUpgradeStaging final {
public:
    // Renames `from` to `to`; false when it failed. A seam for tests of the rollback.
    using RenameFunction = std::function<bool(const String& from, const String& to)>;

    // `programFolder` is a native path ending with '/'.
    explicit CUpgradeStaging(String programFolder);
    // Removes the staging folder and whatever is left in it (the replaced files after a commit).
    ~CUpgradeStaging();
    CUpgradeStaging(const CUpgradeStaging&) = delete;
    CUpgradeStaging& operator=(const CUpgradeStaging&) = delete;

    // Makes the staging folder beside the program folder (inside it when the parent is not
    // writable or lies on another file system, where a rename could not move the files).
    bool Create();
    const String& Folder() const { return folder_; }

    // Where to write the archive's file `name` ('\' separators, already checked to stay inside
    // the program folder). `archiveMode` is the entry's Unix permissions, 0 when it has none.
    // Nothing when its folder does not exist in the program folder or it names a folder.
    // A name given twice is written twice to the same staged file: the last one counts.
    std::optional<String> Place(const String& name, uint32_t archiveMode);

    // Moves every placed file into the program folder; false (everything put back as it was)
    // when one could not be moved. The permissions of a replaced file carry over to its new one.
    bool Commit();

    void SetRenameFunction(RenameFunction rename) { rename_ = std::move(rename); }
    size_t Count() const { return items_.size(); }

private:
    struct Item {
        String target;
        String staged;
        String kept; // where the replaced file waits
        mode_t mode = 0644;
        bool replaced = false;
        bool moved = false;
    };

    bool MoveIn(Item& item, size_t number);
    void PutBack();

    String programFolder_;
    String folder_; // with its final '/'
    std::vector<Item> items_;
    std::unordered_map<String, size_t> byTarget_;
    platform::CNameIndex names_;
    RenameFunction rename_;
};

} // namespace quillory
