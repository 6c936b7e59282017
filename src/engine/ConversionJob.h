#pragma once
// One conversion as plain data: everything either front end hands the
// engine for one file. The window makes it from a row and its settings at
// the start of each file, zemconvert from its command line; the engine reads
// nothing else of theirs.

#include <cstdint>
#include <string>

#include "OptionChoices.h"

namespace zem {

inline constexpr int kFrameRate = 16; // every output runs at 16 frames per second
// Times in a job and in the graph count 100 ns units.
inline constexpr double kTicksPerSecond = 1e7;

struct ConversionJob {
    std::string inputPath;
    std::string outputPath;
    int64_t selectionStart = 0; // 100 ns units; 0 and 0: the whole file
    int64_t selectionEnd = 0;

    int videoWidth = kSizeOption.Default().value;
    int videoHeight = kSizeOption.Default().value2;
    int rotate = kRotateNone;
    int jpegQuality = kQualityOption.Default().value;
    bool keepMp3 = false;
    // Scaled to fit inside the size on black bars instead of stretched to it.
    bool keepProportions = false;
    // The decoded pictures show in the preview area while they convert.
    bool monitoring = false;
    // Subtitles drawn into the pictures: on or off, the letters' height, and
    // a file to take instead of the one beside the input.
    bool subtitles = true;
    int subtitleHeight = kSubtitleSizeOption.Default().value;
    std::string subtitleFile;

    // The stored picture size after rotation: a quarter turn swaps the sides.
    int StoredWidth() const { return rotate == kRotateNone ? videoWidth : videoHeight; }
    int StoredHeight() const { return rotate == kRotateNone ? videoHeight : videoWidth; }
};

} // namespace zem
