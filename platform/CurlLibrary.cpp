#include "platform/CurlLibrary.h"

namespace quillory::platform {

CCurlLibrary::CCurlLibrary(const std::string& name) {
    loaded_ = Load(name);
    if (!loaded_)
        library_.Close();
}

const CCurlLibrary& CCurlLibrary::Shared() {
    static const CCurlLibrary library(kName);
    return library;
}

bool CCurlLibrary::Load(const std::string& name) {
    if (!library_.Open(name)) {
        error_ = "cannot load " + name + " (is libcurl installed?): " + library_.Error();
        return false;
    }
    decltype(&curl_global_init) global_init = nullptr;
    const bool found = library_.Find("curl_global_init", global_init) &&
                       library_.Find("curl_easy_init", easy_init) &&
                       library_.Find("curl_easy_cleanup", easy_cleanup) &&
                       library_.Find("curl_easy_setopt", easy_setopt) &&
                       library_.Find("curl_easy_getinfo", easy_getinfo) &&
                       library_.Find("curl_easy_perform", easy_perform) &&
                       library_.Find("curl_easy_strerror", easy_strerror) &&
                       library_.Find("curl_slist_append", slist_append) &&
                       library_.Find("curl_slist_free_all", slist_free_all);
    if (!found) {
        error_ = name + " lacks a function the downloads need";
        return false;
    }
    if (global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        error_ = name + " could not be set up";
        return false;
    }
    return true;
}

} // namespace quillory::platform
