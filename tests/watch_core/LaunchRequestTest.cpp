#include "OfferedDescription.h"
#include "TempGameFolder.h"

#include "common/MemoryStream.h"
#include "watch/core/GantryCheck.h"
#include "watch/core/LaunchRequest.h"

#include <gtest/gtest.h>

namespace quillory {
namespace {

std::optional<String> Loopback(const String&) {
    return String("127.0.0.1");
}

// A scanned game folder with one mod folder, its database offering what a case asks for.
class LaunchRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.Write("IRONVALEUPRISING.EXE", "MZ");
        game.Write("@beta/addons/beta.pbo", "beta");
        db.SetGamePath(game.Path());
        ASSERT_TRUE(db.Scan());
    }

    void OfferAndCheck(const std::vector<test::Offer>& offers) {
        const String bytes = test::Description(offers);
        CMemoryStream stream(bytes.data(), bytes.size());
        db.ClearOfferedList();
        ASSERT_TRUE(db.ReadOfferedList(stream));
        CheckRequiredPackages(db);
    }

    test::TempGameFolder game;
    CFileDatabase db{game.Path()};
};

TEST_F(LaunchRequestTest, RequestTable) {
    struct Case {
        const char* what;
        bool locked;
        const char* password;
        const char* parameters;
        bool automaticMods;
        bool offerAbsent; // the server also offers a package nobody has
        bool withGameFolder;
        LaunchState state;
        const char* switches; // after "-nosplash -connect=127.0.0.1 -port=2400"
        size_t missing;
    } cases[] = {
        {"locked with a password", true, "pw", "", true, false, true, LaunchState::READY,
         " -password=pw -mod=@beta", 0},
        {"unlocked: the password stays home", false, "pw", "", true, false, true,
         LaunchState::READY, " -mod=@beta", 0},
        {"locked without a password", true, "", "", true, false, true, LaunchState::READY,
         " -mod=@beta", 0},
        {"automatic mods replace the stored ones", false, "", "-mod=@old -world=empty", true, false,
         true, LaunchState::READY, " -world=empty -mod=@beta", 0},
        {"custom mods stay as stored", false, "", "-mod=@old -world=empty", false, false, true,
         LaunchState::READY, " -mod=@old -world=empty", 0},
        {"a missing package is named", false, "", "", true, true, true, LaunchState::READY,
         " -mod=@beta", 1},
        {"no game folder", true, "pw", "", true, false, false, LaunchState::NO_GAME_FOLDER, "", 0},
    };
    for (const Case& c : cases) {
        std::vector<test::Offer> offers = {{"Beta", {{"beta.pbo", "beta"}}}};
        if (c.offerAbsent)
            offers.push_back({"Absent", {{"absent.pbo", "nothing like it here"}}});
        OfferAndCheck(offers);
        const ServerEntry entry{"127.0.0.1:2400", c.password, "Sim", c.parameters, c.automaticMods};
        ServerStatus status;
        status.implementation = IMPL_SOCKETS;
        status.port = 2302;
        status.version = 196;
        status.locked = c.locked;
        const String folder = c.withGameFolder ? game.Path() : String();

        const LaunchRequest request = BuildLaunchRequest(entry, status, folder, &db, Loopback);

        EXPECT_EQ(request.state, c.state) << c.what;
        EXPECT_EQ(request.version, 196) << c.what;
        ASSERT_EQ(request.missing.size(), c.missing) << c.what;
        if (c.missing > 0) {
            EXPECT_EQ(request.missing[0]->name, "Absent") << c.what;
        }
        if (c.state != LaunchState::READY) {
            EXPECT_EQ(request.commandLine, "") << c.what;
            continue;
        }
        const String executable = game.Path() + "IRONVALEUPRISING.EXE";
        EXPECT_EQ(request.executable, executable) << c.what;
        EXPECT_EQ(request.workingFolder, game.Path()) << c.what;
        EXPECT_EQ(request.commandLine,
                  '"' + executable + "\" -nosplash -connect=127.0.0.1 -port=2400" + c.switches)
            << c.what;
    }
}

TEST_F(LaunchRequestTest, WithoutGantryNoSuggestionAndNothingMissing) {
    OfferAndCheck({{"Absent", {{"absent.pbo", "x"}}}});
    const ServerEntry entry{"127.0.0.1", "", "Sim", "-mod=@old -nomap", true};
    ServerStatus status;
    status.implementation = IMPL_SOCKETS;
    status.port = 2302;
    status.version = 150;

    const LaunchRequest request = BuildLaunchRequest(entry, status, game.Path(), nullptr, Loopback);

    EXPECT_EQ(request.state, LaunchState::READY);
    EXPECT_TRUE(request.missing.empty());
    EXPECT_EQ(request.commandLine, "\"" + game.Path() +
                                       "IRONVALE.EXE\" -nosplash -connect=127.0.0.1 -port=2302 "
                                       "-nomap");
}

TEST_F(LaunchRequestTest, NoReplyOrBadAddressStartsNothing) {
    struct Case {
        const char* what;
        const char* address;
        int32_t implementation;
        LaunchState state;
        PlayNowResult result;
    } cases[] = {
        {"no reply yet", "127.0.0.1", IMPL_NONE, LaunchState::NOTHING, PlayNowResult::NOTHING},
        {"no address", "", IMPL_SOCKETS, LaunchState::NOTHING, PlayNowResult::NOTHING},
        {"the host does not resolve", "nowhere.test", IMPL_SOCKETS, LaunchState::BAD_ADDRESS,
         PlayNowResult::BAD_ADDRESS},
    };
    for (const Case& c : cases) {
        ServerStatus status;
        status.implementation = c.implementation;
        auto resolve = [](const String& host) -> std::optional<String> {
            if (host == "127.0.0.1")
                return host;
            return std::nullopt;
        };
        const LaunchRequest request = BuildLaunchRequest(ServerEntry{c.address, "", "", "", true},
                                                         status, game.Path(), &db, resolve);
        EXPECT_EQ(request.state, c.state) << c.what;
        int starts = 0;
        const PlayNowOutcome outcome =
            StartLaunch(request, [&starts](const String&, const String&) {
                ++starts;
                return platform::ProcessStartResult{true, String()};
            });
        EXPECT_EQ(outcome.result, c.result) << c.what;
        EXPECT_EQ(starts, 0) << c.what;
    }
}

} // namespace
} // namespace quillory
