#include "watch/core/GantryCheck.h"

namespace quillory {

bool IsMissing(const CPackage& package) {
    return package.status > OS_PATH_DIFFERS;
}

bool IsMissingRequired(const CPackage& package) {
    return IsMissing(package) && package.priority >= DOWNLOAD_PRIORITY;
}

GantryCheckResult CheckRequiredPackages(CFileDatabase& database, bool activate) {
    GantryCheckResult result;
    for (const Handle<CPackage>& package : database.OfferedPackages()) {
        database.CompareWithDatabase(*package);
        if (IsMissingRequired(*package)) {
            result.missing = package;
            break; // whatever follows is not looked at
        }
        if (IsMissing(*package)) {
            result.optionalMissing.push_back(package);
            continue;
        }
        if (package->allFilesActive == 0) {
            if (activate)
                database.ActivatePackage(*package);
            result.activated.push_back(package);
        }
    }
    return result;
}

HandleArray<CPackage> MissingOfferedPackages(CFileDatabase& database) {
    HandleArray<CPackage> missing;
    for (const Handle<CPackage>& package : database.OfferedPackages()) {
        database.CompareWithDatabase(*package);
        if (IsMissing(*package))
            missing.push_back(package);
    }
    return missing;
}

HandleArray<CPackage> PackagesFoundMissing(const CFileDatabase& database, bool required) {
    HandleArray<CPackage> missing;
    for (const Handle<CPackage>& package : database.OfferedPackages())
        if (IsMissing(*package) && IsMissingRequired(*package) == required)
            missing.push_back(package);
    return missing;
}

} // namespace quillory
