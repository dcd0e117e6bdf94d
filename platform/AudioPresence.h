#pragma once
// Whether this machine could play a sound at all, found without loading an audio library: a
// sound server's socket in the user's runtime folder, a sound server named in the environment,
// or a playback device of the kernel. A machine with none of them never loads the audio stack.

#include "common/Types.h"

namespace quillory::platform {

struct AudioPlaces {
    const char* runtimeFolder = nullptr; // $XDG_RUNTIME_DIR
    const char* pulseServer = nullptr;   // $PULSE_SERVER
    String deviceFolder = "/dev/snd";
};

// The places of this process's environment.
AudioPlaces DefaultAudioPlaces();

// True when any of the places shows a way to play sound.
bool MayHaveAudioOutput(const AudioPlaces& places);

} // namespace quillory::platform
