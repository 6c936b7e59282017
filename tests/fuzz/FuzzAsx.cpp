// The .asx play list reader: any bytes as a list file.

#include "AsxPlaylist.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string list = zem::fuzz::WriteInput(data, size, ".asx");
    zem::UserText why;
    for (const std::string& entry : zem::media::AsxLocalEntries(list, &why)) {
        if (entry.empty())
            __builtin_trap(); // an entry is always a path
    }
    zem::media::FirstPlaylistEntry(list, &why);
    return 0;
}
