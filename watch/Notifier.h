#pragma once
// What the watch window tells the user besides its fields: a sound and a flash of the window.
// Behind an interface so that tests see the decisions without audio.

namespace quillory::ui {

class INotifier {
public:
    virtual ~INotifier() = default;
    // One of the six notification sounds (SND_CREATING ... SND_ALARM), played asynchronously.
    virtual void Play(int sound) = 0;
    // One flash of the window's caption.
    virtual void Flash() = 0;
};

} // namespace quillory::ui
