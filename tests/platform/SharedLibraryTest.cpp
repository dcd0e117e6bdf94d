// The libraries loaded on first use: what they give when present, and a clear error when not.

#include "platform/MinizipLibrary.h"
#include "platform/SodiumLibrary.h"
#include "platform/ZlibLibrary.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillory::platform;

namespace {

struct Loaded {
    bool loaded;
    std::string error;
};

template <typename Library> Loaded LoadAs(const std::string& name) {
    const Library library(name);
    return {library.Loaded(), library.Error()};
}

} // namespace

TEST(SharedLibrary, TheInstalledLibrariesLoadAndWork) {
    const CZlibLibrary& zlib = CZlibLibrary::Shared();
    ASSERT_TRUE(zlib.Loaded()) << zlib.Error();
    const char* check = "123456789"; // the CRC-32 check value of this text is CBF43926
    EXPECT_EQ(zlib.crc32(0, reinterpret_cast<const Bytef*>(check), 9), 0xCBF43926u);

    const CMinizipLibrary& minizip = CMinizipLibrary::Shared();
    EXPECT_TRUE(minizip.Loaded()) << minizip.Error();

    const CSodiumLibrary& sodium = CSodiumLibrary::Shared();
    ASSERT_TRUE(sodium.Loaded()) << sodium.Error();
    const char text[] = "UXVpbGxvcnk="; // "Quillory"
    unsigned char decoded[16] = {};
    size_t length = 0;
    ASSERT_EQ(sodium.sodium_base642bin(decoded, sizeof decoded, text, sizeof text - 1, nullptr,
                                       &length, nullptr, sodium_base64_VARIANT_ORIGINAL),
              0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(decoded), length), "Quillory");
}

TEST(SharedLibrary, AMissingOrWrongLibraryIsAClearError) {
    struct Case {
        Loaded got;
        std::string expected;
    };
    const Case cases[] = {
        {LoadAs<CZlibLibrary>("libquillory-absent-z.so.1"),
         "cannot load libquillory-absent-z.so.1 (is zlib installed?): "},
        {LoadAs<CMinizipLibrary>("libquillory-absent-minizip.so.1"),
         "cannot load libquillory-absent-minizip.so.1 (is minizip installed?): "},
        // A library that is there but is not the one asked for.
        {LoadAs<CZlibLibrary>("libm.so.6"), "libm.so.6 lacks a function the program needs"},
        {LoadAs<CMinizipLibrary>("libz.so.1"), "libz.so.1 lacks a function the program needs"},
        {LoadAs<CSodiumLibrary>("libquillory-absent-sodium.so.23"),
         "cannot load libquillory-absent-sodium.so.23 (is libsodium installed?): "},
        {LoadAs<CSodiumLibrary>("libz.so.1"), "libz.so.1 lacks a function the program needs"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.got.loaded) << c.expected;
        EXPECT_EQ(c.got.error.compare(0, c.expected.size(), c.expected), 0) << c.got.error;
    }
}
