#include "gui/Siren.h"

#include <QSoundEffect>
#include <QUrl>

namespace quorvane {

QtSirenSound::QtSirenSound(QObject* parent) : QObject(parent) {}

void QtSirenSound::Play() {
    if (!effect_) {
        effect_ = new QSoundEffect(this);
        effect_->setSource(QUrl(SirenResource));
    }
    effect_->stop();
    effect_->play();
}

} // namespace quorvane
