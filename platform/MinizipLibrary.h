#pragma once
// minizip, loaded when the first archive is opened instead of when the program starts, as
// zlib is (see CZlibLibrary). Its header still gives the types.

#include "platform/SharedLibrary.h"

#include <minizip/unzip.h>

#include <string>

namespace quillory::platform {

class CMinizipLibrary final {
public:
    // The shared object of minizip's stable interface, as the runtime package installs it.
    static constexpr const char* kName = "libminizip.so.1";

    // Loads `name` and looks up every function; see Loaded.
    explicit CMinizipLibrary(const std::string& name);
    CMinizipLibrary(const CMinizipLibrary&) = delete;
    CMinizipLibrary& operator=(const CMinizipLibrary&) = delete;

    // The process's copy of kName, loaded on the first call (thread-safely, once).
    static const CMinizipLibrary& Shared();

    // False when the library is missing or lacks a function; Error says why. The functions
    // must not be called then.
    bool Loaded() const { return loaded_; }
    const std::string& Error() const { return error_; }

    decltype(&::unzOpen2_64) open2_64 = nullptr;
    decltype(&::unzClose) close = nullptr;
    decltype(&::unzGoToFirstFile) goToFirstFile = nullptr;
    decltype(&::unzGoToNextFile) goToNextFile = nullptr;
    decltype(&::unzGetCurrentFileInfo64) getCurrentFileInfo64 = nullptr;
    decltype(&::unzGetFilePos64) getFilePos64 = nullptr;
    decltype(&::unzGoToFilePos64) goToFilePos64 = nullptr;
    decltype(&::unzOpenCurrentFile) openCurrentFile = nullptr;
    decltype(&::unzReadCurrentFile) readCurrentFile = nullptr;
    decltype(&::unzCloseCurrentFile) closeCurrentFile = nullptr;

private:
    CSharedLibrary library_;
    bool loaded_ = false;
    std::string error_;
};

} // namespace quillory::platform
