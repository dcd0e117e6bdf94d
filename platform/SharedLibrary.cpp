#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace quillory::platform {

bool CSharedLibrary::Open(const std::string& name) {
    Close();
    handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = ::dlerror();
        error_ = reason != nullptr ? reason : "not found";
        return false;
    }
    error_.clear();
    return true;
}

void CSharedLibrary::Close() {
    if (handle_ != nullptr)
        ::dlclose(handle_);
    handle_ = nullptr;
}

void* CSharedLibrary::Symbol(const char* symbol) const {
    return handle_ != nullptr ? ::dlsym(handle_, symbol) : nullptr;
}

} // namespace quillory::platform
