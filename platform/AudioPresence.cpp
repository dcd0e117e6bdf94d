#include "platform/AudioPresence.h"

#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>

namespace quillory::platform {

namespace {

bool IsSocket(const String& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// ALSA names its playback devices "pcmC<card>D<device>p".
bool HasPlaybackDevice(const String& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const String name = entry->d_name;
        if (name.rfind("pcmC", 0) == 0 && name.back() == 'p') {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

} // namespace

AudioPlaces DefaultAudioPlaces() {
    AudioPlaces places;
    places.runtimeFolder = std::getenv("XDG_RUNTIME_DIR");
    places.pulseServer = std::getenv("PULSE_SERVER");
    return places;
}

bool MayHaveAudioOutput(const AudioPlaces& places) {
    if (places.pulseServer != nullptr && places.pulseServer[0] != '\0')
        return true;
    if (places.runtimeFolder != nullptr && places.runtimeFolder[0] == '/') {
        const String folder = places.runtimeFolder;
        if (IsSocket(folder + "/pulse/native") || IsSocket(folder + "/pipewire-0"))
            return true;
    }
    return HasPlaybackDevice(places.deviceFolder);
}

} // namespace quillory::platform
