#include "watch/SoundNotifier.h"

#include <QApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>
#include <QWidget>

namespace quillory::ui {

CSoundNotifier::CSoundNotifier(QWidget* window, std::function<void(const QString&)> tell,
                               std::function<bool()> hasAudio)
    : window_(window), tell_(std::move(tell)), hasAudio_(std::move(hasAudio)) {
    if (!hasAudio_)
        hasAudio_ = [] { return !QMediaDevices::audioOutputs().isEmpty(); };
}

CSoundNotifier::~CSoundNotifier() {
    qDeleteAll(effects_);
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
    QSoundEffect*& effect = effects_[sound];
    if (effect == nullptr) {
        effect = new QSoundEffect;
        effect->setSource(QUrl(QStringLiteral("qrc:/sounds/%1.wav").arg(sound)));
    }
    // A device that fails the effect plays nothing; the player learns it once.
    if (effect->status() == QSoundEffect::Error) {
        TellOnce();
        return;
    }
    effect->play();
}

void CSoundNotifier::Flash() {
    if (window_)
        QApplication::alert(window_, 1000);
}

} // namespace quillory::ui
