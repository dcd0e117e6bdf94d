#pragma once
// Before the game starts: the packages the server's Gantry description calls for must be
// installed, and are activated so that the game loads them.

#include "common/Types.h"
#include "gantry/db/FileDatabase.h"

#include <cstdint>
#include <vector>

namespace quillory {

// The lowest priority the manager flags for download: "Recommended" (4-6) and "Required"
// (7-10). Below it a package is "Optional".
constexpr uint32_t DOWNLOAD_PRIORITY = 4;

struct GantryCheckResult {
    // The first offered package flagged for download with files missing or none installed; the
    // user must be asked before the game starts. Empty when every such package is installed.
    Handle<CPackage> missing;
    // The packages before it that were inactive (and activated unless only checking).
    HandleArray<CPackage> activated;
    // Optional packages before it with files missing: they never stop the game.
    HandleArray<CPackage> optionalMissing;
};

// Statuses above "installed under another path" mean files the game needs are not there.
bool IsMissing(const CPackage& package);
// Missing, and of a priority that the manager flags for download.
bool IsMissingRequired(const CPackage& package);

// Takes the offered packages in order: compares each with the database, stops at the first one
// flagged for download with files missing, notes missing Optional ones on the way, and activates
// the inactive installed ones before it. With `activate` false nothing is changed. Call only when
// the database is ready.
GantryCheckResult CheckRequiredPackages(CFileDatabase& database, bool activate = true);

// Every offered package with files missing or none installed, compared afresh; for a listing.
HandleArray<CPackage> MissingOfferedPackages(CFileDatabase& database);

// The offered packages with files missing as their last comparison found them; nothing changes.
// `required` true: those flagged for download; false: the Optional ones.
HandleArray<CPackage> PackagesFoundMissing(const CFileDatabase& database, bool required);

} // namespace quillory
