#pragma once
// libcurl, loaded when the first transfer needs it instead of when the program starts: query
// and watch never download, and loading libcurl with its TLS and compression libraries is most
// of their start-up. The functions are reached through this table; curl's headers still give
// the types.

#include "platform/SharedLibrary.h"

#include <curl/curl.h>

#include <string>

namespace quillory::platform {

class CCurlLibrary final {
public:
    // The shared object of libcurl's stable interface, as the runtime package installs it.
    static constexpr const char* kName = "libcurl.so.4";

    // Loads `name`, looks up every function and sets the library up; see Loaded.
    explicit CCurlLibrary(const std::string& name);
    // A library that could not be set up is unloaded at once; a set-up one stays loaded.
    ~CCurlLibrary() = default;
    CCurlLibrary(const CCurlLibrary&) = delete;
    CCurlLibrary& operator=(const CCurlLibrary&) = delete;

    // The process's copy of kName, loaded on the first call. The library is process-wide by
    // nature, and its set-up must run once: a function-local static gives both, thread-safely.
    static const CCurlLibrary& Shared();

    // False when the library is missing, lacks a function or failed to set up; Error says why.
    bool Loaded() const { return loaded_; }
    const std::string& Error() const { return error_; }

    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&curl_easy_setopt) easy_setopt = nullptr;
    decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&curl_easy_perform) easy_perform = nullptr;
    decltype(&curl_easy_strerror) easy_strerror = nullptr;
    decltype(&curl_slist_append) slist_append = nullptr;
    decltype(&curl_slist_free_all) slist_free_all = nullptr;

private:
    bool Load(const std::string& name);

    CSharedLibrary library_;
    bool loaded_ = false;
    std::string error_;
};

} // namespace quillory::platform
