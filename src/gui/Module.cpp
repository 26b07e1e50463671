#include "gui/Module.h"

#include <QCoreApplication>
#include <QLibrary>

namespace quorvane {

QFunctionPointer LoadModuleFunction(const char* module, const char* function, QString& problem) {
    for (const QString& folder :
         {QCoreApplication::applicationDirPath(), QStringLiteral(QUORVANE_MODULE_DIR)}) {
        QLibrary library(folder + "/" + module);
        if (library.load()) {
            if (QFunctionPointer found = library.resolve(function))
                return found;
        }
        problem = library.errorString();
    }
    return nullptr;
}

} // namespace quorvane
