// Feeds arbitrary descriptions to ReadOfferedList over a small database: it must refuse or read
// them without harm, and what it reads must compare and suggest mods safely.
#include "gantry/db/FileDatabase.h"

#include <cstdint>
#include <cstdlib>

namespace {

using namespace quillory;

void FillDatabase(CFileDatabase& db) {
    db.SetGamePath("C:\\Game\\");
    db.SetRoot(std::make_shared<CFileNode>());
    db.Root()->name = db.GamePath();
    db.Root()->flags = NF_FOLDER;
    db.Root()->bindCount = ROOT_BIND_COUNT;
    auto addons = db.Root()->AddChild("addons\\", NF_FOLDER | NF_CORE);
    auto a = addons->AddChild("a.pbo", 0);
    a->size = 1;
    a->crc = 2;
    auto mod = db.Root()->AddChild("@mod\\", NF_FOLDER);
    auto modAddons = mod->AddChild("addons\\", NF_FOLDER);
    auto b = modAddons->AddChild("b.pbo", 0);
    b->size = 3;
    b->crc = 4;
    db.LocateAddonFolders();
    db.CollectModFolders();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFileDatabase db;
    FillDatabase(db);
    CMemoryStream description(data, size);
    if (!db.ReadOfferedList(description)) {
        if (!db.OfferedPackages().empty())
            std::abort(); // a refused description leaves nothing behind
        return 0;
    }
    for (const auto& package : db.OfferedPackages()) {
        if (package->members.size() != package->described.size())
            std::abort();
        package->OfferedStatusText();
    }
    db.ModSuggestion();
    GantryAlert alert;
    db.CheckOfferedPackages(alert);
    return 0;
}
