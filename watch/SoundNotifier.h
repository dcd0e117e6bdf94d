#pragma once
// Plays the embedded notification sounds with QSoundEffect and flashes the window. A machine
// without audio plays nothing and carries on, and says so once.

#include "watch/Notifier.h"

#include <QHash>
#include <QPointer>
#include <QString>

#include <functional>

class QSoundEffect;
class QWidget;

namespace quillory::ui {

class CSoundNotifier final : public INotifier {
public:
    static constexpr const char* NO_SOUND_TEXT =
        "No sound device: notifications are shown without sound.";

    // `tell` gets NO_SOUND_TEXT the first time a sound cannot play; `hasAudio` says whether the
    // machine has an audio output (null: ask the system).
    explicit CSoundNotifier(QWidget* window, std::function<void(const QString&)> tell = {},
                            std::function<bool()> hasAudio = {});
    ~CSoundNotifier() override;
    CSoundNotifier(const CSoundNotifier&) = delete;
    CSoundNotifier& operator=(const CSoundNotifier&) = delete;

    void Play(int sound) override;
    void Flash() override;

private:
    void TellOnce();

    QPointer<QWidget> window_;
    std::function<void(const QString&)> tell_;
    std::function<bool()> hasAudio_;
    bool told_ = false;
    QHash<int, QSoundEffect*> effects_; // made on first use, owned here
};

} // namespace quillory::ui
