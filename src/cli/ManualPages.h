#pragma once
// The manual pages zemconvert(1) and zemconverter(1), in roff. zemconvert's
// options come from the option table, so --help and the manual cannot differ.

#include <string>

namespace zem::cli {

std::string ZemconvertManual();
std::string ZemconverterManual();

// `text` safe in roff: backslashes and hyphens escaped, a leading "." or "'" defused.
std::string RoffText(const std::string& text);

} // namespace zem::cli
