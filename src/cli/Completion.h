#pragma once
// Shell completion for zemconvert, made from the option table: option names,
// the choices of the options that take one, folders for -d, and for inputs
// folders and the files with an ending the converter reads.

#include <string>

namespace zem::cli {

// For bash: defines _zemconvert and registers it for zemconvert.
std::string BashCompletion();

// For zsh: a "#compdef zemconvert" function of _arguments specs.
std::string ZshCompletion();

} // namespace zem::cli
