// The siren: the program's own wave resource, played without waiting.
#pragma once

#include <QObject>

namespace quorvane {

class SirenSound {
public:
    virtual ~SirenSound() = default;
    // Starts the sound and returns at once. Without a sound device nothing
    // is heard and nothing is reported.
    virtual void Play() = 0;
};

// Plays through the quorvane-siren module (Qt Multimedia), loaded on the
// first Play: a program that never sounds an alert never loads the sound
// libraries.
class QtSirenSound final : public QObject, public SirenSound {
    Q_OBJECT

public:
    explicit QtSirenSound(QObject* parent = nullptr);
    void Play() override;

private:
    using PlayFunction = void (*)(QObject* owner, const char* source);
    PlayFunction play_ = nullptr;
    bool looked_ = false;
};

inline constexpr const char* SirenResource = "qrc:/siren.wav";
inline constexpr const char* SirenModuleName = "quorvane-siren";

} // namespace quorvane
