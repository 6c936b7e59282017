#pragma once
// Where the running program lives; its Lang/ and Doc/ folders sit beside it.

#include <QString>

namespace zem::os {

// Full path of the running executable.
QString ExecutablePath();
// The executable's folder, without a trailing "/".
QString ExecutableFolder();

} // namespace zem::os
