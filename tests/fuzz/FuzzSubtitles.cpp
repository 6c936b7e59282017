// Subtitle reading: encoding detection, the SAMI language filter, the bounds
// on events and the whole file reader (format detection, cue checks) for
// each ending the converter looks for; the first byte picks the ending.

#include <array>
#include <glib.h>

#include "FuzzSupport.h"
#include "SubtitleCaps.h"
#include "Subtitles.h"

namespace {

// UTF-8 throughout; a NUL is a character like any other (GLib's check stops at one).
bool ValidUtf8(const std::string& text) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t nul = text.find('\0', start);
        if (nul == std::string::npos)
            nul = text.size();
        if (!g_utf8_validate(text.data() + start, gssize(nul - start), nullptr))
            return false;
        start = nul + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::array<const char*, 6> kEndings{".smi", ".ass", ".ssa", ".srt", ".sub", ".vtt"};
    if (size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (const auto utf8 = zem::media::SubtitleBytesToUtf8(bytes)) {
        if (!ValidUtf8(*utf8))
            __builtin_trap(); // the reader promises UTF-8
        zem::media::KeepFirstSamiClass(*utf8);
        for (const bool ass : {false, true}) {
            std::string capped = *utf8;
            zem::media::CapSubtitleEvents(capped, ass);
            if (!ValidUtf8(capped))
                __builtin_trap(); // a cut never splits a character
        }
    }
    const std::string path = zem::fuzz::WriteInput(data + 1, size - 1, kEndings[data[0] % kEndings.size()]);
    zem::UserText warning;
    zem::media::LoadSubtitleFile(path, warning);
    return 0;
}
