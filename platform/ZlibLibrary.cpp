#include "platform/ZlibLibrary.h"

namespace quillory::platform {

CZlibLibrary::CZlibLibrary(const std::string& name) {
    if (!library_.Open(name)) {
        error_ = "cannot load " + name + " (is zlib installed?): " + library_.Error();
        return;
    }
    loaded_ = library_.Find("crc32", crc32) && library_.Find("compressBound", compressBound) &&
              library_.Find("compress", compress) && library_.Find("uncompress", uncompress) &&
              library_.Find("inflateInit_", inflateInit_) && library_.Find("inflate", inflate) &&
              library_.Find("inflateEnd", inflateEnd);
    if (!loaded_) {
        error_ = name + " lacks a function the program needs";
        library_.Close();
    }
}

const CZlibLibrary& CZlibLibrary::Shared() {
    static const CZlibLibrary library(kName);
    return library;
}

} // namespace quillory::platform
