#pragma once
// Plays the embedded notification sounds and flashes the window. The audio stack is loaded at
// the first sound (SoundPlayer.h). A machine without audio, or without the sound module, plays
// nothing and carries on, and says so once.

#include "platform/SharedLibrary.h"
#include "watch/Notifier.h"
#include "watch/SoundPlayer.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace quillory::ui {

class CSoundNotifier final : public INotifier {
public:
    static constexpr const char* NO_SOUND_TEXT =
        "No sound device: notifications are shown without sound.";

    // `tell` gets NO_SOUND_TEXT the first time a sound cannot play; `hasAudio` says whether the
    // machine has an audio output (null: ask the sound module).
    explicit CSoundNotifier(QWidget* window, std::function<void(const QString&)> tell = {},
                            std::function<bool()> hasAudio = {});
    ~CSoundNotifier() override;
    CSoundNotifier(const CSoundNotifier&) = delete;
    CSoundNotifier& operator=(const CSoundNotifier&) = delete;

    void Play(int sound) override;
    void Flash() override;

    // Where the sound module is looked for, in order: beside the program, then in the
    // installed program's library folder.
    static QStringList ModuleCandidates();

private:
    void TellOnce();
    // The module's player, loaded on the first call; null when it cannot be loaded.
    ISoundPlayer* Player();

    QPointer<QWidget> window_;
    std::function<void(const QString&)> tell_;
    std::function<bool()> hasAudio_;
    bool told_ = false;
    bool loadTried_ = false;
    platform::CSharedLibrary module_;
    std::unique_ptr<ISoundPlayer> player_;
};

} // namespace quillory::ui
