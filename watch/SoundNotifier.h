#pragma once
// Plays the embedded notification sounds with QSoundEffect and flashes the window. A machine
// without audio plays nothing and carries on.

#include "watch/Notifier.h"

#include <QHash>
#include <QPointer>

class QSoundEffect;
class QWidget;

namespace quillory::ui {

class CSoundNotifier final : public INotifier {
public:
    explicit CSoundNotifier(QWidget* window);
    ~CSoundNotifier() override;
    CSoundNotifier(const CSoundNotifier&) = delete;
    CSoundNotifier& operator=(const CSoundNotifier&) = delete;

    void Play(int sound) override;
    void Flash() override;

private:
    QPointer<QWidget> window_;
    QHash<int, QSoundEffect*> effects_; // made on first use, owned here
};

} // namespace quillory::ui
