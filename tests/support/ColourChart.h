#pragma once
// A colour chart of known values for measuring colours: the 24 ColorChecker
// patches as published in sRGB, 6 by 4 on dark grey, the last row the greys
// from white down. Pictures of it are measured in CIELAB, patch by patch,
// against the chart's own values.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zem::test {

inline constexpr int kChartColouredPatches = 18; // then the six greys, white first

// Writes the chart as a binary PPM of width x height.
bool WriteColourChart(const std::string& path, int width, int height);

// How a picture of the chart (RGB bytes, width x height, top row first)
// compares with the chart: over the coloured patches the mean and worst
// CIELAB hue error (degrees) and the mean chroma as a share of the chart's;
// the lightness L* of every patch.
struct ChartMeasure {
    double meanHueError = 0;
    double worstHueError = 0;
    int worstPatch = 0; // numbered from 1
    double chromaShare = 0;
    std::vector<double> lightness;
};
ChartMeasure MeasureColourChart(const std::vector<uint8_t>& rgb, int width, int height);

// How the chart is encoded: SDR BT.709 (8-bit H.264), HDR10 (PQ, BT.2020,
// 10-bit HEVC, SDR white at 203 nits as BT.2408 places it, with mastering
// display and light levels) or HLG (likewise).
enum class ChartForm { Sdr, Pq, Hlg };

// Makes a `seconds` long clip of the chart (a PPM) at 16 pictures a second with ffmpeg.
bool EncodeColourChart(const std::string& chart, ChartForm form, double seconds, const std::string& clip);

} // namespace zem::test
