// The program's own modules: shared objects that carry a heavy library (Qt
// Multimedia for the siren, Qt Charts for the History window), loaded when
// first needed so that a program that never needs them never maps them.
#pragma once

#include <QString>

namespace quorvane {

// The named function of the named module, looked for beside the executable
// (a build), then in the installed module folder; loaded and never
// unloaded (what it made lives on); nullptr with the loader's reason in
// problem when no folder has it.
QFunctionPointer LoadModuleFunction(const char* module, const char* function, QString& problem);

} // namespace quorvane
