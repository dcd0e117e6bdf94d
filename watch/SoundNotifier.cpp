#include "watch/SoundNotifier.h"

#include "platform/AudioPresence.h"
#include "ui/TextConversion.h"

#include <QApplication>
#include <QStringList>
#include <QWidget>

#ifndef QUILLORY_SOUND_MODULE_DIR
#define QUILLORY_SOUND_MODULE_DIR "../lib/quillory"
#endif

namespace quillory::ui {

CSoundNotifier::CSoundNotifier(QWidget* window, std::function<void(const QString&)> tell,
                               std::function<bool()> hasAudio)
    : window_(window), tell_(std::move(tell)), hasAudio_(std::move(hasAudio)) {
    // A machine with no sound server and no playback device is known without the audio stack.
    if (!hasAudio_)
        hasAudio_ = [this] {
            if (!platform::MayHaveAudioOutput(platform::DefaultAudioPlaces()))
                return false;
            ISoundPlayer* player = Player();
            return player != nullptr && player->HasOutput();
        };
}

CSoundNotifier::~CSoundNotifier() = default;

QStringList CSoundNotifier::ModuleCandidates() {
    const QString folder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QString file = QString::fromLatin1(SOUND_MODULE_FILE);
    return {folder + file,
            folder + QStringLiteral(QUILLORY_SOUND_MODULE_DIR) + QLatin1Char('/') + file};
}

ISoundPlayer* CSoundNotifier::Player() {
    if (loadTried_)
        return player_.get();
    loadTried_ = true;
    for (const QString& candidate : ModuleCandidates()) {
        if (!module_.Open(ToLocal(candidate)))
            continue;
        MakeSoundPlayer make = nullptr;
        if (module_.Find(SOUND_PLAYER_SYMBOL, make))
            player_.reset(make());
        break;
    }
    return player_.get();
}

void CSoundNotifier::TellOnce() {
    if (told_ || !tell_)
        return;
    told_ = true;
    tell_(QString::fromLatin1(NO_SOUND_TEXT));
}

void CSoundNotifier::Play(int sound) {
    if (!hasAudio_()) {
        TellOnce();
        return;
    }
    // A device that fails the sound plays nothing; the player learns it once.
    ISoundPlayer* player = Player();
    if (player == nullptr || !player->Play(sound))
        TellOnce();
}

void CSoundNotifier::Flash() {
    if (window_)
        QApplication::alert(window_, 1000);
}

} // namespace quillory::ui
