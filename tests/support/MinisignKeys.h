#pragma once
// A minisign key pair made by the real `minisign` tool in a folder of the test's, and
// signatures made with it: the format the program reads is checked against that tool.

#include <filesystem>
#include <optional>
#include <string>

namespace quillory::test {

class MinisignKeys final {
public:
    // Makes a key pair without a password in `folder` (created when missing).
    explicit MinisignKeys(const std::filesystem::path& folder);

    // False when the tool is missing or failed.
    bool Ok() const { return ok_; }
    const std::filesystem::path& PublicKeyFile() const { return publicKey_; }
    std::string PublicKeyText() const;

    // The text of a .minisig of `file`: prehashed ("ED", the tool's default) or, with
    // `legacy`, over the whole file ("Ed"). Nothing when the tool failed.
    std::optional<std::string> Sign(const std::filesystem::path& file, bool legacy = false,
                                    const std::string& trustedComment = "release") const;

private:
    std::filesystem::path folder_;
    std::filesystem::path publicKey_;
    std::filesystem::path secretKey_;
    bool ok_ = false;
};

} // namespace quillory::test
