// The running copy's local socket: a listener only its user may reach, and the connection a
// later copy sends its line over, read without blocking.
#include "platform/LocalConnection.h"
#include "platform/LocalListener.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quillory;
using namespace quillory::platform;
using quillory::test::ScratchFolder;
namespace fs = std::filesystem;

namespace {

// The next connection the listener takes, waiting a little for it to arrive.
int AcceptWithin(CLocalListener& listener, int ms) {
    pollfd readable{listener.Fd(), POLLIN, 0};
    if (::poll(&readable, 1, ms) <= 0)
        return -1;
    return listener.Accept();
}

// Everything the peer sends until it closes, waiting up to `ms` for each part.
std::string ReadToEnd(CLocalConnection& connection, int ms) {
    std::string text;
    char buffer[7]; // small, so that a line arrives in several reads
    for (;;) {
        pollfd readable{connection.Fd(), POLLIN, 0};
        if (::poll(&readable, 1, ms) <= 0)
            return text + "<timeout>";
        size_t got = 0;
        switch (connection.Read(buffer, sizeof(buffer), got)) {
        case CLocalConnection::ReadState::DATA:
            text.append(buffer, got);
            break;
        case CLocalConnection::ReadState::NOTHING_YET:
            break;
        case CLocalConnection::ReadState::CLOSED:
            return text;
        }
    }
}

} // namespace

TEST(LocalSocket, ALaterCopysLineReachesTheListener) {
    ScratchFolder scratch;
    const String path = (scratch.Path() / "quillory.sock").string();
    CLocalListener listener;
    String error;
    ASSERT_TRUE(listener.Listen(path, error)) << error;
    EXPECT_EQ(listener.Accept(), -1) << "nobody has connected yet";

    const std::string line(10000, 'x'); // more than one read's worth
    {
        CLocalConnection later;
        ASSERT_TRUE(later.Connect(path, 500));
        ASSERT_TRUE(later.SendAll(line.data(), line.size(), 500));
    }
    CLocalConnection heard(AcceptWithin(listener, 2000));
    ASSERT_GE(heard.Fd(), 0);
    EXPECT_EQ(ReadToEnd(heard, 2000), line);
    size_t got = 0;
    char byte = 0;
    EXPECT_EQ(heard.Read(&byte, 1, got), CLocalConnection::ReadState::CLOSED);
}

TEST(LocalSocket, TheSocketFileIsTheUsersAloneAndGoesWithTheListener) {
    ScratchFolder scratch;
    const fs::path path = scratch.Path() / "quillory.sock";
    {
        CLocalListener listener;
        String error;
        ASSERT_TRUE(listener.Listen(path.string(), error)) << error;
        struct stat info {};
        ASSERT_EQ(::lstat(path.c_str(), &info), 0);
        EXPECT_TRUE(S_ISSOCK(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        // A second listener cannot take the name while the first holds it.
        CLocalListener second;
        EXPECT_FALSE(second.Listen(path.string(), error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

// A socket file whose listener has gone, as a copy that crashed leaves it.
static bool LeaveStaleSocket(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
    const bool bound =
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

TEST(LocalSocket, NobodyListeningRefusesAtOnce) {
    ScratchFolder scratch;
    const fs::path path = scratch.Path() / "quillory.sock";
    CLocalConnection nobody;
    EXPECT_FALSE(nobody.Connect(path.string(), 500)) << "no file";
    ASSERT_TRUE(LeaveStaleSocket(path));
    CLocalConnection stale;
    EXPECT_FALSE(stale.Connect(path.string(), 500)) << "a file without a listener";
    EXPECT_EQ(stale.Fd(), -1);
}

TEST(LocalSocket, OnlyAStaleSocketIsRemoved) {
    ScratchFolder scratch;
    const fs::path file = scratch.Path() / "not-a-socket";
    std::ofstream(file) << "kept";
    CLocalListener::RemoveStale(file.string());
    EXPECT_TRUE(fs::exists(file));

    const fs::path path = scratch.Path() / "quillory.sock";
    ASSERT_TRUE(LeaveStaleSocket(path));
    CLocalListener::RemoveStale(path.string());
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
    // With the name free again, a listener takes it.
    CLocalListener next;
    String error;
    EXPECT_TRUE(next.Listen(path.string(), error)) << error;
}

TEST(LocalSocket, APathThatCannotBeASocketIsRefused) {
    String error;
    CLocalListener listener;
    EXPECT_FALSE(listener.Listen(std::string(200, 'a'), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(listener.Listen("", error));
    CLocalConnection connection;
    EXPECT_FALSE(connection.Connect(std::string(200, 'a'), 500));
}
