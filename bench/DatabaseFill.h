#pragma once
// The database the load benchmarks read: 100,000 nodes and 200 packages in which every file is
// bound to a package, so that Save prunes nothing and Load reads all 100,000 nodes.

#include "gantry/db/FileDatabase.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quillory::bench {

constexpr int TOP_FOLDERS = 100;
constexpr int SUB_FOLDERS = 10;
constexpr int FILES_PER_SUB = 98; // 100 + 1,000 + 98,000 + 900 = 100,000 nodes
constexpr int EXTRA_FILES = 900;
constexpr int PACKAGES = 200;

inline void FillDatabase(CFileDatabase& db) {
    db.SetGamePath("C:\\Games\\Ironvale\\");
    db.SetRoot(std::make_shared<CFileNode>());
    db.Root()->name = db.GamePath();
    db.Root()->flags = NF_FOLDER;
    db.Root()->bindCount = ROOT_BIND_COUNT;
    HandleArray<CFileNode> files;
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int t = 0; t < TOP_FOLDERS; ++t) {
        auto top = db.Root()->AddChild("@mod" + std::to_string(t) + "\\", NF_FOLDER);
        for (int s = 0; s < SUB_FOLDERS; ++s) {
            auto sub = top->AddChild("addons" + std::to_string(s) + "\\", NF_FOLDER);
            int count = FILES_PER_SUB + (t * SUB_FOLDERS + s < EXTRA_FILES ? 1 : 0);
            for (int f = 0; f < count; ++f) {
                auto file = sub->AddChild("texture_" + std::to_string(f) + ".paa", 0);
                file->diskName = file->name;
                file->size = next() % 5000000;
                file->crc = next();
                file->modified = 0x01D9000000000000ull + next();
                files.push_back(file);
            }
        }
    }
    // Half the files in real packages (file i in package i % 400 when that is below 200), the
    // other half unknown add-ons: nothing is left for Save to prune.
    for (size_t i = 0; i < files.size(); ++i)
        if (i % (PACKAGES * 2) >= size_t(PACKAGES))
            db.UnknownAddons()->AddMember(files[i]);
    for (int p = 0; p < PACKAGES; ++p) {
        auto package = std::make_shared<CPackage>();
        package->name = "Package " + std::to_string(p);
        package->homePage = "http://example.invalid/" + std::to_string(p);
        for (size_t i = size_t(p); i < files.size(); i += PACKAGES * 2)
            package->AddMember(files[i]);
        db.AddPackage(package);
    }
}

} // namespace quillory::bench
