#pragma once
// What plays the notification sounds: Qt Multimedia's audio stack, kept in a module of its own
// (sound/) that the window loads at the first sound, so that a window that never sounds never
// maps it. The module hands out one player through SOUND_PLAYER_SYMBOL.

namespace quillory::ui {

class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    // Whether the machine has an audio output at all.
    virtual bool HasOutput() = 0;
    // Starts the embedded sound `sound`; false when the device refused it.
    virtual bool Play(int sound) = 0;
};

// The module's one entry point: a new player, owned by the caller.
using MakeSoundPlayer = ISoundPlayer* (*)();
inline constexpr const char* SOUND_PLAYER_SYMBOL = "quillory_make_sound_player";
// The module's file name, looked for beside the program and in its library folder.
inline constexpr const char* SOUND_MODULE_FILE = "quillory-sound.so";

} // namespace quillory::ui
