#pragma once
// Reads a JPEG file's markers and pixels back for checks.

#include <cstdint>
#include <string>
#include <vector>

namespace zem::test {

struct JpegInfo {
    bool valid = false;
    std::string error;
    bool baseline = false; // SOF0
    bool progressiveOrOther = false;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> sampling; // per component: h << 4 | v
    bool jfif = false;
    uint8_t densityUnit = 0;
    uint16_t xDensity = 0, yDensity = 0;
    std::vector<std::vector<uint16_t>> quantTables; // in file (zigzag) order
    bool startsWithSoi = false, endsWithEoi = false;
};

JpegInfo ProbeJpeg(const std::vector<uint8_t>& jpeg);

// The quantisation tables libjpeg writes for `quality` with its standard
// tables (luminance, then chrominance), in file (zigzag) order: a reference
// made by libjpeg itself, not by the code under test.
std::vector<std::vector<uint16_t>> ReferenceQuantTables(int quality);

// Decoded pixels as red, green, blue, top row first; empty on failure.
std::vector<uint8_t> DecodeJpegRgb(const std::vector<uint8_t>& jpeg);

} // namespace zem::test
