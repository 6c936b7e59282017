#pragma once
// Where the running program lives; its Lang/ and Doc/ folders sit beside it.

#include <QString>

namespace zem::os {

// Full path of the running executable.
QString ExecutablePath();
// The executable's folder, without a trailing "/".
QString ExecutableFolder();
// The folder that holds the program's Lang/ and Doc/: the executable's own
// folder in a build tree, <prefix>/share/zemconverter once installed.
QString ProgramDataFolder();

} // namespace zem::os
