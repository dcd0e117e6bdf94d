#pragma once
// Checks a detached minisign signature (Ed25519) of a file against one trusted public key: the
// key id must match, the signature must cover the file (whole for "Ed", its BLAKE2b-512 for the
// prehashed "ED"), and the global signature must cover the trusted comment.

#include "common/Types.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillory {

class CMinisignVerifier final {
public:
    static constexpr size_t kKeyIdSize = 8;
    static constexpr size_t kPublicKeySize = 32;
    // A signature file is a few hundred bytes; anything far longer is not one.
    static constexpr size_t kMaxSignatureText = 8192;
    // "Ed" signs the whole file, so it is held in memory: bounded like the upgrade download.
    static constexpr uint64_t kMaxWholeFile = uint64_t(64) << 20;

    // The key of a public key file (its comment line and its key line) or of the key line
    // alone; nothing when the text holds no Ed25519 minisign key.
    static std::optional<CMinisignVerifier> FromKeyText(std::string_view text);

    // Whether `signatureText` (the text of a .minisig file) is a good signature of the file at
    // `path` by this key. `why`, when given, receives the reason of a refusal.
    bool VerifyFile(const String& path, std::string_view signatureText,
                    String* why = nullptr) const;

    const std::array<uint8_t, kKeyIdSize>& KeyId() const { return keyId_; }

private:
    CMinisignVerifier() = default;

    std::array<uint8_t, kKeyIdSize> keyId_{};
    std::array<uint8_t, kPublicKeySize> key_{};
};

} // namespace quillory
