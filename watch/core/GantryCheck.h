#pragma once
// Before the game starts: the packages the server's Gantry description calls for must be
// installed, and are activated so that the game loads them.

#include "common/Types.h"
#include "gantry/db/FileDatabase.h"

#include <vector>

namespace quillory {

struct GantryCheckResult {
    // The first offered package with files missing or none installed; the user must be asked
    // before the game starts. Empty when every package looked at is installed.
    Handle<CPackage> missing;
    // The packages before it that were inactive (and activated unless only checking).
    HandleArray<CPackage> activated;
};

// Statuses above "installed under another path" mean files the game needs are not there.
bool IsMissing(const CPackage& package);

// Takes the offered packages in order: compares each with the database, stops at the first one
// with files missing, and activates the inactive ones before it. With `activate` false nothing
// is changed. Call only when the database is ready.
GantryCheckResult CheckRequiredPackages(CFileDatabase& database, bool activate = true);

// Every offered package with files missing or none installed, compared afresh; for a listing.
HandleArray<CPackage> MissingOfferedPackages(CFileDatabase& database);

// The offered packages with files missing as their last comparison found them; nothing changes.
HandleArray<CPackage> PackagesFoundMissing(const CFileDatabase& database);

} // namespace quillory
