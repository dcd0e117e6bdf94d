#include "platform/MinizipLibrary.h"

namespace quillory::platform {

CMinizipLibrary::CMinizipLibrary(const std::string& name) {
    if (!library_.Open(name)) {
        error_ = "cannot load " + name + " (is minizip installed?): " + library_.Error();
        return;
    }
    loaded_ = library_.Find("unzOpen2_64", open2_64) && library_.Find("unzClose", close) &&
              library_.Find("unzGoToFirstFile", goToFirstFile) &&
              library_.Find("unzGoToNextFile", goToNextFile) &&
              library_.Find("unzGetCurrentFileInfo64", getCurrentFileInfo64) &&
              library_.Find("unzGetFilePos64", getFilePos64) &&
              library_.Find("unzGoToFilePos64", goToFilePos64) &&
              library_.Find("unzOpenCurrentFile", openCurrentFile) &&
              library_.Find("unzReadCurrentFile", readCurrentFile) &&
              library_.Find("unzCloseCurrentFile", closeCurrentFile);
    if (!loaded_) {
        error_ = name + " lacks a function the program needs";
        library_.Close();
    }
}

const CMinizipLibrary& CMinizipLibrary::Shared() {
    static const CMinizipLibrary library(kName);
    return library;
}

} // namespace quillory::platform
