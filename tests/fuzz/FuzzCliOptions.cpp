// zemconvert's command line: the bytes split at NULs into arguments, and
// each argument also as a time ("--start 1:30").

#include <cmath>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    for (const std::string& arg : args) {
        if (const auto seconds = zem::cli::ParseTime(arg)) {
            if (!std::isfinite(*seconds) || *seconds < 0)
                __builtin_trap(); // a time is a finite count of seconds from the start
        }
    }
    zem::cli::ParseCommandLine(args);
    return 0;
}
