// Subtitle reading: encoding detection, the SAMI language filter, the bounds
// on events and the whole file reader (format detection, cue checks) for
// each ending the converter looks for; the first byte picks the ending.

#include <array>
#include <glib.h>

#include "FuzzSupport.h"
#include "SubtitleCaps.h"
#include "Subtitles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::array<const char*, 5> kEndings{".smi", ".ass", ".ssa", ".srt", ".sub"};
    if (size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (const auto utf8 = zem::media::SubtitleBytesToUtf8(bytes)) {
        if (!g_utf8_validate(utf8->data(), gssize(utf8->size()), nullptr))
            __builtin_trap(); // the reader promises UTF-8
        zem::media::KeepFirstSamiClass(*utf8);
        for (const bool ass : {false, true}) {
            std::string capped = *utf8;
            zem::media::CapSubtitleEvents(capped, ass);
            if (!g_utf8_validate(capped.data(), gssize(capped.size()), nullptr))
                __builtin_trap(); // a cut never splits a character
        }
    }
    const std::string path = zem::fuzz::WriteInput(data + 1, size - 1, kEndings[data[0] % kEndings.size()]);
    std::string warning;
    zem::media::LoadSubtitleFile(path, warning);
    return 0;
}
