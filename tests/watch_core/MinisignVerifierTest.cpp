// Signatures made by the real minisign tool, checked by the program's verifier: both of the
// tool's algorithms, and every part of the signature file that must not be changed.
#include "watch/core/MinisignVerifier.h"

#include "MinisignKeys.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>

using namespace quillory;
using namespace quillory::test;
namespace fs = std::filesystem;

namespace {

class MinisignVerifierTest : public ::testing::Test {
protected:
    ScratchFolder scratch;
    MinisignKeys keys{scratch.Path() / "keys"};
    fs::path file = scratch.Path() / "release.ozp";

    void SetUp() override {
        ASSERT_TRUE(keys.Ok()) << "minisign is needed (scripts/setup.sh installs it)";
        ASSERT_TRUE(WriteFileBytes(file, std::string(100000, 'q') + "end"));
    }

    CMinisignVerifier Verifier() const {
        auto verifier = CMinisignVerifier::FromKeyText(keys.PublicKeyText());
        EXPECT_TRUE(verifier.has_value());
        return *verifier;
    }
};

// The line `index` (from 0) of a signature text, with `edit` applied.
std::string EditLine(const std::string& text, size_t index,
                     const std::function<void(std::string&)>& edit) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    edit(lines.at(index));
    std::string joined;
    for (const auto& line : lines)
        joined += line + "\n";
    return joined;
}

} // namespace

TEST_F(MinisignVerifierTest, BothAlgorithmsOfTheToolAreTaken) {
    for (const bool legacy : {false, true}) {
        SCOPED_TRACE(legacy ? "Ed" : "ED");
        const auto signature = keys.Sign(file, legacy);
        ASSERT_TRUE(signature);
        String why;
        EXPECT_TRUE(Verifier().VerifyFile(file.string(), *signature, &why)) << why;
        // Windows line ends read the same.
        std::string crlf;
        for (const char c : *signature)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        EXPECT_TRUE(Verifier().VerifyFile(file.string(), crlf));
    }
}

TEST_F(MinisignVerifierTest, ChangesAnywhereAreRefused) {
    const auto signature = keys.Sign(file);
    ASSERT_TRUE(signature);
    struct Case {
        const char* what;
        std::string signature;
    } cases[] = {
        {"trusted comment", EditLine(*signature, 2, [](std::string& l) { l += "!"; })},
        {"signature bit", EditLine(*signature, 1, [](std::string& l) { l[20] ^= 1; })},
        {"global signature", EditLine(*signature, 3, [](std::string& l) { l[20] ^= 1; })},
        {"algorithm", EditLine(*signature, 1, [](std::string& l) { l[1] = 'X'; })},
        {"cut short", signature->substr(0, signature->find("trusted"))},
        {"empty", ""},
        {"too long", *signature + std::string(10000, '\n')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(Verifier().VerifyFile(file.string(), c.signature));
    }

    ASSERT_TRUE(WriteFileBytes(file, std::string(100000, 'q') + "End"));
    EXPECT_FALSE(Verifier().VerifyFile(file.string(), *signature)) << "the file changed";
    EXPECT_FALSE(Verifier().VerifyFile((scratch.Path() / "missing").string(), *signature));
}

TEST_F(MinisignVerifierTest, AnotherKeyIsRefused) {
    MinisignKeys other(scratch.Path() / "other");
    ASSERT_TRUE(other.Ok());
    const auto signature = other.Sign(file);
    ASSERT_TRUE(signature);
    String why;
    EXPECT_FALSE(Verifier().VerifyFile(file.string(), *signature, &why));
    EXPECT_EQ(why, "signed with another key");
}

TEST_F(MinisignVerifierTest, KeyTexts) {
    const std::string text = keys.PublicKeyText();
    const std::string keyLine = text.substr(text.find('\n') + 1);
    EXPECT_TRUE(CMinisignVerifier::FromKeyText(keyLine));
    for (const std::string& bad :
         {std::string(), std::string("untrusted comment: x\n"), std::string("RWQ=\n"),
          keyLine.substr(0, 20), std::string("not base64 at all\n")})
        EXPECT_FALSE(CMinisignVerifier::FromKeyText(bad)) << bad;
}
