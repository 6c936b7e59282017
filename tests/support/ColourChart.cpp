#include "ColourChart.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "TestDirs.h"

namespace zem::test {

namespace {

constexpr int kColumns = 6;
constexpr int kRows = 4;
constexpr int kBorder = 8; // dark grey between the patches, in chart pixels at 640 wide
constexpr uint8_t kBackground = 40;
// Each patch is measured over the middle of its cell, clear of edges and chroma bleed.
constexpr double kMeasuredFrom = 0.3;
constexpr double kMeasuredTo = 0.7;

constexpr std::array<std::array<uint8_t, 3>, 24> kPatches = {{
    {115, 82, 68},   {194, 150, 130}, {98, 122, 157},  {87, 108, 67},   {133, 128, 177}, {103, 189, 170},
    {214, 126, 44},  {80, 91, 166},   {193, 90, 99},   {94, 60, 108},   {157, 188, 64},  {224, 163, 46},
    {56, 61, 150},   {70, 148, 73},   {175, 54, 60},   {231, 199, 31},  {187, 86, 149},  {8, 133, 161},
    {243, 243, 242}, {200, 200, 200}, {160, 160, 160}, {122, 122, 121}, {85, 85, 85},    {52, 52, 52},
}};

struct Lab {
    double l, a, b;
    double Hue() const { return std::atan2(b, a) * 180 / M_PI; }
    double Chroma() const { return std::hypot(a, b); }
};

// sRGB (D65) to CIELAB.
Lab LabOf(double red, double green, double blue) {
    auto linear = [](double v) {
        v /= 255;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double r = linear(red), g = linear(green), b = linear(blue);
    const double x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047;
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    const double z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883;
    auto f = [](double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; };
    return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

} // namespace

bool WriteColourChart(const std::string& path, int width, int height) {
    std::vector<uint8_t> pixels(size_t(width) * height * 3, kBackground);
    const int pw = width / kColumns, ph = height / kRows, border = std::max(1, kBorder * width / 640);
    for (size_t i = 0; i < kPatches.size(); ++i) {
        const int cx = int(i) % kColumns, cy = int(i) / kColumns;
        for (int y = cy * ph + border; y < (cy + 1) * ph - border; ++y)
            for (int x = cx * pw + border; x < (cx + 1) * pw - border; ++x)
                std::copy(kPatches[i].begin(), kPatches[i].end(), pixels.begin() + (size_t(y) * width + x) * 3);
    }
    const std::string head = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> file(head.begin(), head.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return WriteWholeFile(path, file);
}

ChartMeasure MeasureColourChart(const std::vector<uint8_t>& rgb, int width, int height) {
    ChartMeasure measure;
    if (rgb.size() != size_t(width) * height * 3)
        return measure;
    const double pw = double(width) / kColumns, ph = double(height) / kRows;
    double hueSum = 0, chromaSum = 0;
    for (size_t i = 0; i < kPatches.size(); ++i) {
        const int cx = int(i) % kColumns, cy = int(i) / kColumns;
        double sum[3] = {0, 0, 0};
        int n = 0;
        for (int y = int((cy + kMeasuredFrom) * ph); y < int((cy + kMeasuredTo) * ph); ++y)
            for (int x = int((cx + kMeasuredFrom) * pw); x < int((cx + kMeasuredTo) * pw); ++x, ++n)
                for (int c = 0; c < 3; ++c)
                    sum[c] += rgb[(size_t(y) * width + x) * 3 + c];
        const Lab got = LabOf(sum[0] / n, sum[1] / n, sum[2] / n);
        measure.lightness.push_back(got.l);
        if (int(i) >= kChartColouredPatches)
            continue;
        const Lab want = LabOf(kPatches[i][0], kPatches[i][1], kPatches[i][2]);
        const double hueError = std::abs(std::remainder(got.Hue() - want.Hue(), 360.0));
        hueSum += hueError;
        if (hueError > measure.worstHueError) {
            measure.worstHueError = hueError;
            measure.worstPatch = int(i) + 1;
        }
        chromaSum += got.Chroma() / want.Chroma();
    }
    measure.meanHueError = hueSum / kChartColouredPatches;
    measure.chromaShare = chromaSum / kChartColouredPatches;
    return measure;
}

bool EncodeColourChart(const std::string& chart, ChartForm form, double seconds, const std::string& clip) {
    auto hdr = [](const std::string& transfer, const std::string& levels) {
        return "-vf zscale=tin=iec61966-2-1:min=gbr:pin=bt709:rin=full:t=" + transfer +
               ":p=bt2020:m=bt2020nc:r=tv:npl=203,format=yuv420p10le -c:v libx265 -preset ultrafast "
               "-x265-params 'log-level=error:colorprim=bt2020:transfer=" +
               transfer + ":colormatrix=bt2020nc" + levels + "'";
    };
    std::string encode;
    switch (form) {
    case ChartForm::Sdr:
        encode =
            "-vf scale=out_color_matrix=bt709:out_range=tv,format=yuv420p -color_primaries bt709 "
            "-color_trc bt709 -colorspace bt709 -c:v libx264 -preset ultrafast -threads 1";
        break;
    case ChartForm::Pq:
        encode = hdr("smpte2084",
                     ":master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,1)"
                     ":max-cll=1000,400");
        break;
    case ChartForm::Hlg:
        encode = hdr("arib-std-b67", "");
        break;
    }
    const std::string command = "ffmpeg -v error -y -loop 1 -i '" + chart + "' -t " + std::to_string(seconds) +
                                " -r 16 " + encode + " '" + clip + "'";
    return std::system(command.c_str()) == 0;
}

} // namespace zem::test
