#include "gantry/db/FileDatabase.h"

#include "common/AsciiCase.h"

#include <utility>

namespace quillory {

namespace {

Handle<CPackage> MakePseudoPackage(const char* name) {
    auto package = std::make_shared<CPackage>();
    package->name = name;
    return package;
}

} // namespace

CFileDatabase::CFileDatabase(String folder)
    : coreFiles(MakePseudoPackage("<Core files>")),
      unknownFiles(MakePseudoPackage("<Unknown files>")),
      unknownAddons(MakePseudoPackage("<Unknown addons>")), packages{coreFiles, unknownFiles,
                                                                     unknownAddons},
      databaseFolder(std::move(folder)) {}

CFileDatabase::~CFileDatabase() = default;

} // namespace quillory
