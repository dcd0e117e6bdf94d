#include "tests/support/MinisignKeys.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchFolder.h"

namespace quillory::test {

MinisignKeys::MinisignKeys(const std::filesystem::path& folder)
    : folder_(folder), publicKey_(folder / "test.pub"), secretKey_(folder / "test.key") {
    std::error_code ignored;
    std::filesystem::create_directories(folder_, ignored);
    const ProgramResult made =
        RunProgram("/usr/bin/minisign",
                   {"-G", "-f", "-W", "-p", publicKey_.string(), "-s", secretKey_.string()});
    ok_ = made.exitCode == 0 && std::filesystem::exists(publicKey_);
}

std::string MinisignKeys::PublicKeyText() const {
    std::string text;
    ReadFileBytes(publicKey_, text);
    return text;
}

std::optional<std::string> MinisignKeys::Sign(const std::filesystem::path& file, bool legacy,
                                              const std::string& trustedComment) const {
    const std::filesystem::path signature = folder_ / "last.minisig";
    std::vector<std::string> args = {"-S",          "-s", secretKey_.string(), "-m",
                                     file.string(), "-x", signature.string(),  "-t",
                                     trustedComment};
    if (legacy)
        args.push_back("-l");
    if (RunProgram("/usr/bin/minisign", args).exitCode != 0)
        return std::nullopt;
    std::string text;
    if (!ReadFileBytes(signature, text))
        return std::nullopt;
    return text;
}

} // namespace quillory::test
