#include "platform/CurlLibrary.h"

#include <dlfcn.h>

namespace quillory::platform {

namespace {

template <typename Function> bool Find(void* handle, const char* symbol, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(handle, symbol));
    return function != nullptr;
}

} // namespace

CCurlLibrary::CCurlLibrary(const std::string& name) {
    loaded_ = Load(name);
    if (!loaded_ && handle_ != nullptr) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

CCurlLibrary::~CCurlLibrary() = default;

const CCurlLibrary& CCurlLibrary::Shared() {
    static const CCurlLibrary library(kName);
    return library;
}

bool CCurlLibrary::Load(const std::string& name) {
    handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = ::dlerror();
        error_ = "cannot load " + name +
                 " (is libcurl installed?): " + (reason != nullptr ? reason : "not found");
        return false;
    }
    decltype(&curl_global_init) global_init = nullptr;
    const bool found = Find(handle_, "curl_global_init", global_init) &&
                       Find(handle_, "curl_easy_init", easy_init) &&
                       Find(handle_, "curl_easy_cleanup", easy_cleanup) &&
                       Find(handle_, "curl_easy_setopt", easy_setopt) &&
                       Find(handle_, "curl_easy_getinfo", easy_getinfo) &&
                       Find(handle_, "curl_easy_perform", easy_perform) &&
                       Find(handle_, "curl_easy_strerror", easy_strerror) &&
                       Find(handle_, "curl_slist_append", slist_append) &&
                       Find(handle_, "curl_slist_free_all", slist_free_all);
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
