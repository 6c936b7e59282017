// Writes zemconvert's manual pages and shell completion at build time, from
// the option table the program itself parses with.
//   make_cli_files FOLDER   writes zemconvert.1, zemconverter.1, zemconvert.bash and _zemconvert

#include <cstdio>
#include <string>

#include "Completion.h"
#include "ManualPages.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        std::fprintf(stderr, "make_cli_files: cannot write %s\n", path.c_str());
    return written && closed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_cli_files FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    using namespace zem::cli;
    const bool ok = Write(folder + "/zemconvert.1", ZemconvertManual()) &&
                    Write(folder + "/zemconverter.1", ZemconverterManual()) &&
                    Write(folder + "/zemconvert.bash", BashCompletion()) &&
                    Write(folder + "/_zemconvert", ZshCompletion());
    return ok ? 0 : 1;
}
