#pragma once
// The option set both front ends fill (the window from its controls and its
// settings file, zemconvert from its command line) and the job a conversion
// makes from it. The choices themselves are declared in OptionChoices.h.

#include <cstdint>
#include <string>

#include "ConversionJob.h"
#include "OptionChoices.h"

namespace zem {

inline constexpr int kFormatVersionJpeg = 3; // frames are always JPEG pictures

// All members are 32-bit signed; a radio-group member holds the position of the
// checked button in its group, -1 when none is checked.
struct ConversionSettings {
    int32_t m_videoSizeIndex = -1;
    int32_t m_qualityIndex = -1;
    int32_t m_rotate = -1;
    int32_t m_convertAll = -1;
    int32_t m_monitoring = 0;
    int32_t m_saveMp3 = 0;
    int32_t m_saveFrames = 0;
    int32_t m_subtitle = 0;
    int32_t m_subtitleSize = 1;
    int32_t m_formatVersion = -1;
    int32_t m_keepProportions = 0;

    // The job for one file, its conversion numbers turned out of these
    // options: picture size, JPEG quality, rotation, proportions, MP3 keeping and
    // monitoring. A size or rotation outside its table (a hand-edited
    // settings file) gives the default rather than reaching the engine.
    ConversionJob MakeJob(std::string input, std::string output, int64_t start = 0, int64_t end = 0) const;
};

} // namespace zem
