// The siren: the program's own wave resource, played without waiting.
#pragma once

#include <QObject>

class QSoundEffect;

namespace quorvane {

class SirenSound {
public:
    virtual ~SirenSound() = default;
    // Starts the sound and returns at once. Without a sound device nothing
    // is heard and nothing is reported.
    virtual void Play() = 0;
};

class QtSirenSound final : public QObject, public SirenSound {
    Q_OBJECT

public:
    explicit QtSirenSound(QObject* parent = nullptr);
    void Play() override;

private:
    QSoundEffect* effect_ = nullptr; // made on first use
};

inline constexpr const char* SirenResource = "qrc:/siren.wav";

} // namespace quorvane
