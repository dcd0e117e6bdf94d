// The sound module: plays the embedded notification sounds (qrc:/sounds, compiled into the
// program) with QSoundEffect.
#include "watch/SoundPlayer.h"

#include <QAudioDevice>
#include <QHash>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace {

class CQtSoundPlayer final : public quillory::ui::ISoundPlayer {
public:
    CQtSoundPlayer() = default;
    ~CQtSoundPlayer() override { qDeleteAll(effects_); }
    CQtSoundPlayer(const CQtSoundPlayer&) = delete;
    CQtSoundPlayer& operator=(const CQtSoundPlayer&) = delete;

    bool HasOutput() override { return !QMediaDevices::audioOutputs().isEmpty(); }

    bool Play(int sound) override {
        QSoundEffect*& effect = effects_[sound];
        if (effect == nullptr) {
            effect = new QSoundEffect;
            effect->setSource(QUrl(QStringLiteral("qrc:/sounds/%1.wav").arg(sound)));
        }
        if (effect->status() == QSoundEffect::Error)
            return false;
        effect->play();
        return true;
    }

private:
    QHash<int, QSoundEffect*> effects_; // made on first use, owned here
};

} // namespace

extern "C" Q_DECL_EXPORT quillory::ui::ISoundPlayer* quillory_make_sound_player() {
    return new CQtSoundPlayer;
}
