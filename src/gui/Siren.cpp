#include "gui/Siren.h"

#include "gui/Module.h"

#include <iostream>

namespace quorvane {

QtSirenSound::QtSirenSound(QObject* parent) : QObject(parent) {}

void QtSirenSound::Play() {
    if (!looked_) {
        looked_ = true;
        QString problem;
        play_ = reinterpret_cast<PlayFunction>(
            LoadModuleFunction(SirenModuleName, "quorvane_siren_play", problem));
        // A broken installation, said once; the alert's other signs remain.
        if (!play_)
            std::cerr << "quorvane: the siren cannot sound: " << problem.toStdString() << "\n";
    }
    if (play_)
        play_(this, SirenResource);
}

} // namespace quorvane
