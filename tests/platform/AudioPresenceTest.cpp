// Whether a sound could play, told from the sound servers' sockets and the kernel's devices.
#include "platform/AudioPresence.h"

#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quillory;
using namespace quillory::platform;
using quillory::test::ScratchFolder;
namespace fs = std::filesystem;

namespace {

void MakeSocketFile(const fs::path& path) {
    fs::create_directories(path.parent_path());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

} // namespace

TEST(AudioPresence, TellsFromServersAndDevices) {
    ScratchFolder scratch;
    const fs::path runtime = scratch.Path() / "run";
    const fs::path devices = scratch.Path() / "snd";
    fs::create_directories(runtime);
    fs::create_directories(devices);
    const String runtimeText = runtime.string();
    AudioPlaces places;
    places.runtimeFolder = runtimeText.c_str();
    places.deviceFolder = devices.string();
    EXPECT_FALSE(MayHaveAudioOutput(places)) << "nothing there";

    // Capture devices, controls and a regular file where a socket belongs play nothing.
    std::ofstream(devices / "pcmC0D0c");
    std::ofstream(devices / "controlC0");
    fs::create_directories(runtime / "pulse");
    std::ofstream(runtime / "pulse" / "native");
    EXPECT_FALSE(MayHaveAudioOutput(places));

    struct Case {
        const char* what;
        std::function<void(AudioPlaces&)> setUp;
    } cases[] = {
        {"a playback device", [&](AudioPlaces&) { std::ofstream(devices / "pcmC1D3p"); }},
        {"a PulseAudio socket",
         [&](AudioPlaces&) {
             fs::remove(runtime / "pulse" / "native");
             MakeSocketFile(runtime / "pulse" / "native");
         }},
        {"a PipeWire socket", [&](AudioPlaces&) { MakeSocketFile(runtime / "pipewire-0"); }},
        {"a server named", [](AudioPlaces& p) { p.pulseServer = "unix:/run/pulse"; }},
    };
    for (const Case& c : cases) {
        fs::remove(devices / "pcmC1D3p");
        fs::remove(runtime / "pulse" / "native");
        fs::remove(runtime / "pipewire-0");
        AudioPlaces tried = places;
        c.setUp(tried);
        EXPECT_TRUE(MayHaveAudioOutput(tried)) << c.what;
    }
    places.runtimeFolder = "relative/run";
    places.deviceFolder = (scratch.Path() / "missing").string();
    EXPECT_FALSE(MayHaveAudioOutput(places)) << "a relative runtime folder is not trusted";
}
