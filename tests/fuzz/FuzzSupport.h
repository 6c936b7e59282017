#pragma once
// What the fuzz targets share: the entry point libFuzzer calls, and a file
// the parsers that read from disk are handed (one a process for each ending,
// made with mkstemps and rewritten for every input without following links).

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace zem::fuzz {

// `data` written to a file of this process named with `ending`; its path.
std::string WriteInput(const uint8_t* data, size_t size, const std::string& ending);

} // namespace zem::fuzz
