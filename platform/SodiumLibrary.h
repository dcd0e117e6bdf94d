#pragma once
// libsodium, loaded when the first signature is checked instead of when the program starts: a
// query never checks one, and loading it was a fifth of a query's start-up. It stays a shared
// object so that the system's security updates reach the signature checks. The functions are
// reached through this table; libsodium's header still gives the types and sizes.

#include "platform/SharedLibrary.h"

#include <sodium.h>

#include <string>

namespace quillory::platform {

class CSodiumLibrary final {
public:
    // The shared object of libsodium's stable interface, as the runtime package installs it.
    static constexpr const char* kName = "libsodium.so.23";

    // Loads `name`, looks up every function and initialises the library; see Loaded.
    explicit CSodiumLibrary(const std::string& name);
    CSodiumLibrary(const CSodiumLibrary&) = delete;
    CSodiumLibrary& operator=(const CSodiumLibrary&) = delete;

    // The process's copy of kName, loaded on the first call (thread-safely, once).
    static const CSodiumLibrary& Shared();

    // False when the library is missing, lacks a function or does not start; Error says why.
    // The functions must not be called then.
    bool Loaded() const { return loaded_; }
    const std::string& Error() const { return error_; }

    decltype(&::sodium_base642bin) sodium_base642bin = nullptr;
    decltype(&::crypto_generichash_init) crypto_generichash_init = nullptr;
    decltype(&::crypto_generichash_update) crypto_generichash_update = nullptr;
    decltype(&::crypto_generichash_final) crypto_generichash_final = nullptr;
    decltype(&::crypto_sign_verify_detached) crypto_sign_verify_detached = nullptr;

private:
    CSharedLibrary library_;
    bool loaded_ = false;
    std::string error_;
};

} // namespace quillory::platform
