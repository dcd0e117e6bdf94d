#include "platform/SodiumLibrary.h"

namespace quillory::platform {

CSodiumLibrary::CSodiumLibrary(const std::string& name) {
    if (!library_.Open(name)) {
        error_ = "cannot load " + name + " (is libsodium installed?): " + library_.Error();
        return;
    }
    decltype(&::sodium_init) init = nullptr;
    loaded_ = library_.Find("sodium_init", init) &&
              library_.Find("sodium_base642bin", sodium_base642bin) &&
              library_.Find("crypto_generichash_init", crypto_generichash_init) &&
              library_.Find("crypto_generichash_update", crypto_generichash_update) &&
              library_.Find("crypto_generichash_final", crypto_generichash_final) &&
              library_.Find("crypto_sign_verify_detached", crypto_sign_verify_detached);
    if (!loaded_) {
        error_ = name + " lacks a function the program needs";
        library_.Close();
        return;
    }
    // Once, here: Shared() is made once per process, under the guard of its static.
    if (init() < 0) {
        loaded_ = false;
        error_ = name + " could not start";
        library_.Close();
    }
}

const CSodiumLibrary& CSodiumLibrary::Shared() {
    static const CSodiumLibrary library(kName);
    return library;
}

} // namespace quillory::platform
