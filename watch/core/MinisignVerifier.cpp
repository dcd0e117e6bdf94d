#include "watch/core/MinisignVerifier.h"

#include "platform/SodiumLibrary.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace quillory {

namespace {

using Sodium = platform::CSodiumLibrary;

constexpr char UNTRUSTED_PREFIX[] = "untrusted comment: ";
constexpr char TRUSTED_PREFIX[] = "trusted comment: ";
constexpr size_t ALGORITHM_SIZE = 2;
constexpr size_t SIGNATURE_SIZE = crypto_sign_BYTES;
constexpr size_t KEY_BLOB_SIZE =
    ALGORITHM_SIZE + CMinisignVerifier::kKeyIdSize + CMinisignVerifier::kPublicKeySize;
constexpr size_t SIGNATURE_BLOB_SIZE =
    ALGORITHM_SIZE + CMinisignVerifier::kKeyIdSize + SIGNATURE_SIZE;
constexpr size_t PREHASH_SIZE = crypto_generichash_BYTES_MAX; // BLAKE2b-512

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The lines of a text without their line ends ("\n" or "\r\n").
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

// Standard base64 of exactly `size` bytes; nothing else is accepted.
std::optional<std::vector<uint8_t>> DecodeBase64(const Sodium& sodium, std::string_view text,
                                                 size_t size) {
    std::vector<uint8_t> bytes(size);
    size_t length = 0;
    const char* end = nullptr;
    if (sodium.sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr,
                                 &length, &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        length != size || end != text.data() + text.size())
        return std::nullopt;
    return bytes;
}

bool ReadWholeFile(const String& path, std::vector<uint8_t>& bytes) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    uint8_t block[65536];
    for (;;) {
        const size_t n = std::fread(block, 1, sizeof block, file.get());
        if (bytes.size() + n > CMinisignVerifier::kMaxWholeFile)
            return false;
        bytes.insert(bytes.end(), block, block + n);
        if (n < sizeof block)
            return std::ferror(file.get()) == 0;
    }
}

bool HashFile(const Sodium& sodium, const String& path, uint8_t (&hash)[PREHASH_SIZE]) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    crypto_generichash_state state;
    sodium.crypto_generichash_init(&state, nullptr, 0, PREHASH_SIZE);
    uint8_t block[65536];
    for (;;) {
        const size_t n = std::fread(block, 1, sizeof block, file.get());
        sodium.crypto_generichash_update(&state, block, n);
        if (n < sizeof block)
            break;
    }
    if (std::ferror(file.get()) != 0)
        return false;
    sodium.crypto_generichash_final(&state, hash, PREHASH_SIZE);
    return true;
}

bool Refuse(String* why, const char* reason) {
    if (why != nullptr)
        *why = reason;
    return false;
}

} // namespace

std::optional<CMinisignVerifier> CMinisignVerifier::FromKeyText(std::string_view text) {
    const Sodium& sodium = Sodium::Shared();
    if (!sodium.Loaded())
        return std::nullopt;
    for (const std::string_view line : Lines(text)) {
        if (line.empty() || line.starts_with(UNTRUSTED_PREFIX))
            continue;
        const auto blob = DecodeBase64(sodium, line, KEY_BLOB_SIZE);
        if (!blob || (*blob)[0] != 'E' || (*blob)[1] != 'd')
            return std::nullopt;
        CMinisignVerifier verifier;
        std::copy_n(blob->begin() + ALGORITHM_SIZE, kKeyIdSize, verifier.keyId_.begin());
        std::copy_n(blob->begin() + ALGORITHM_SIZE + kKeyIdSize, kPublicKeySize,
                    verifier.key_.begin());
        return verifier;
    }
    return std::nullopt;
}

bool CMinisignVerifier::VerifyFile(const String& path, std::string_view signatureText,
                                   String* why) const {
    if (signatureText.size() > kMaxSignatureText)
        return Refuse(why, "the signature file is too long");
    const std::vector<std::string_view> lines = Lines(signatureText);
    if (lines.size() < 4 || !lines[0].starts_with(UNTRUSTED_PREFIX) ||
        !lines[2].starts_with(TRUSTED_PREFIX))
        return Refuse(why, "not a minisign signature");
    const Sodium& sodium = Sodium::Shared();
    if (!sodium.Loaded())
        return Refuse(why, "libsodium cannot be loaded");
    const auto blob = DecodeBase64(sodium, lines[1], SIGNATURE_BLOB_SIZE);
    const auto global = DecodeBase64(sodium, lines[3], SIGNATURE_SIZE);
    if (!blob || !global)
        return Refuse(why, "not a minisign signature");
    const bool prehashed = (*blob)[0] == 'E' && (*blob)[1] == 'D';
    if ((*blob)[0] != 'E' || (!prehashed && (*blob)[1] != 'd'))
        return Refuse(why, "an unknown signature algorithm");
    if (!std::equal(keyId_.begin(), keyId_.end(), blob->begin() + ALGORITHM_SIZE))
        return Refuse(why, "signed with another key");
    const uint8_t* signature = blob->data() + ALGORITHM_SIZE + kKeyIdSize;

    bool good = false;
    if (prehashed) {
        uint8_t hash[PREHASH_SIZE];
        if (!HashFile(sodium, path, hash))
            return Refuse(why, "the file cannot be read");
        good = sodium.crypto_sign_verify_detached(signature, hash, sizeof hash, key_.data()) == 0;
    } else {
        std::vector<uint8_t> whole;
        if (!ReadWholeFile(path, whole))
            return Refuse(why, "the file cannot be read");
        good = sodium.crypto_sign_verify_detached(signature, whole.data(), whole.size(),
                                                  key_.data()) == 0;
    }
    if (!good)
        return Refuse(why, "the signature does not match the file");

    // The trusted comment is signed together with the file's signature.
    const std::string_view comment = lines[2].substr(sizeof TRUSTED_PREFIX - 1);
    std::vector<uint8_t> signedComment(signature, signature + SIGNATURE_SIZE);
    signedComment.insert(signedComment.end(), comment.begin(), comment.end());
    if (sodium.crypto_sign_verify_detached(global->data(), signedComment.data(),
                                           signedComment.size(), key_.data()) != 0)
        return Refuse(why, "the trusted comment's signature does not match");
    return true;
}

} // namespace quillory
