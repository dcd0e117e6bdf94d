#include "watch/SoundNotifier.h"

#include <QApplication>
#include <QSoundEffect>
#include <QUrl>
#include <QWidget>

namespace quillory::ui {

CSoundNotifier::CSoundNotifier(QWidget* window) : window_(window) {}

CSoundNotifier::~CSoundNotifier() {
    qDeleteAll(effects_);
}

void CSoundNotifier::Play(int sound) {
    QSoundEffect*& effect = effects_[sound];
    if (effect == nullptr) {
        effect = new QSoundEffect;
        effect->setSource(QUrl(QStringLiteral("qrc:/sounds/%1.wav").arg(sound)));
    }
    // Without an audio device the effect stays in its error state and play() does nothing.
    effect->play();
}

void CSoundNotifier::Flash() {
    if (window_)
        QApplication::alert(window_, 1000);
}

} // namespace quillory::ui
