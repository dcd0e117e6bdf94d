#pragma once
// The offered package list of a Gantry folder: for every archive (*.zip) the tree of files a
// client would install from it, with their sizes and CRC-32s, in the bytes clients read.

#include <cstdint>
#include <string>
#include <vector>

namespace quillory::sim {

struct DescriptionBuild {
    std::vector<uint8_t> bytes;        // the uncompressed description
    size_t packages = 0;               // archives described
    std::vector<std::string> warnings; // archives left out, and why
    std::string error;                 // set when the folder or its offer.ini cannot be read
};

// Describes the archives of `folder`, each at `baseUrl` + its file name; `serverName` is the
// first server text unless offer.ini gives one.
DescriptionBuild BuildGantryDescription(const std::string& folder, const std::string& baseUrl,
                                        const std::string& serverName);

// Names, sizes and times of what the description is built from: it changes when they do.
std::string GantryFolderFingerprint(const std::string& folder);

// The archive files of the folder (regular files ending ".zip" in any case), sorted by name.
std::vector<std::string> GantryArchiveNames(const std::string& folder);

} // namespace quillory::sim
