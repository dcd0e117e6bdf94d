#pragma once
// zlib, loaded when the first checksum, database or description needs it instead of when the
// program starts: a query never does, and loading it was a measurable part of its start-up.
// The functions are reached through this table; zlib's header still gives the types.

#include "platform/SharedLibrary.h"

#include <zlib.h>

#include <string>

namespace quillory::platform {

class CZlibLibrary final {
public:
    // The shared object of zlib's stable interface, as the runtime package installs it.
    static constexpr const char* kName = "libz.so.1";

    // Loads `name` and looks up every function; see Loaded.
    explicit CZlibLibrary(const std::string& name);
    CZlibLibrary(const CZlibLibrary&) = delete;
    CZlibLibrary& operator=(const CZlibLibrary&) = delete;

    // The process's copy of kName, loaded on the first call (thread-safely, once).
    static const CZlibLibrary& Shared();

    // False when the library is missing or lacks a function; Error says why. The functions
    // must not be called then.
    bool Loaded() const { return loaded_; }
    const std::string& Error() const { return error_; }

    // zlib's inflateInit, a macro over inflateInit_ that passes the header's version.
    int InflateInit(z_stream& stream) const {
        return inflateInit_(&stream, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
    }

    decltype(&::crc32) crc32 = nullptr;
    decltype(&::compressBound) compressBound = nullptr;
    decltype(&::compress) compress = nullptr;
    decltype(&::uncompress) uncompress = nullptr;
    decltype(&::inflateInit_) inflateInit_ = nullptr;
    decltype(&::inflate) inflate = nullptr;
    decltype(&::inflateEnd) inflateEnd = nullptr;

private:
    CSharedLibrary library_;
    bool loaded_ = false;
    std::string error_;
};

} // namespace quillory::platform
