#pragma once
// The files an offered package describes, each with its state against the installation, so a
// player can judge a package before downloading it: present (same size and CRC, maybe under
// another add-on folder), differs (a file of that name is there with other contents) or missing.

#include "common/Types.h"
#include "gantry/db/FileDatabase.h"

#include <vector>

namespace quillory {

enum class DescribedState { PRESENT, DIFFERS, MISSING };

struct DescribedFileRow {
    String path;     // as described, relative to the game folder
    String foundAt;  // where the matching file is, when present
    String sizeText; // of the described file
    String crcText;
    String statusText; // "Present", "Present, inactive", "Differs", "Missing"
    DescribedState state = DescribedState::MISSING;
};

// Compares `offered` with the database afresh and lists its described files in their order.
std::vector<DescribedFileRow> DescribedFiles(CFileDatabase& db, CPackage& offered);

} // namespace quillory
