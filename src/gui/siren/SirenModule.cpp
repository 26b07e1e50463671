// The siren's player, a module of its own: Qt Multimedia and the sound
// libraries behind it (PulseAudio, the codecs) are loaded when an alert first
// sounds, not when the program starts. QtSirenSound loads it.
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

extern "C" Q_DECL_EXPORT void quorvane_siren_play(QObject* owner, const char* source) {
    static QPointer<QSoundEffect> effect;
    if (!effect) {
        effect = new QSoundEffect(owner);
        effect->setSource(QUrl(QString::fromUtf8(source)));
    }
    effect->stop();
    effect->play();
}
