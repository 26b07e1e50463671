#include "gui/Siren.h"

#include <QCoreApplication>
#include <QLibrary>
#include <iostream>

namespace quorvane {

QtSirenSound::QtSirenSound(QObject* parent) : QObject(parent) {}

QStringList QtSirenSound::ModuleFolders() {
    return {QCoreApplication::applicationDirPath(), QStringLiteral(QUORVANE_MODULE_DIR)};
}

void QtSirenSound::Play() {
    if (!looked_) {
        looked_ = true;
        QString problem;
        for (const QString& folder : ModuleFolders()) {
            // Never unloaded: the sound effect it made lives on.
            QLibrary module(folder + "/" + SirenModuleName);
            if (module.load()) {
                play_ = reinterpret_cast<PlayFunction>(module.resolve("quorvane_siren_play"));
                if (play_)
                    break;
            }
            problem = module.errorString();
        }
        // A broken installation, said once; the alert's other signs remain.
        if (!play_)
            std::cerr << "quorvane: the siren cannot sound: " << problem.toStdString() << "\n";
    }
    if (play_)
        play_(this, SirenResource);
}

} // namespace quorvane
