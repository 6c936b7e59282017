// Colours measured, not looked at: the colour chart encoded by ffmpeg as SDR
// BT.709, as HDR10 (PQ) and as HLG, each converted by zemconvert. Every
// patch's CIELAB hue and chroma in the output are held against the chart's
// own, the white's lightness and the greys' order too; the SDR chart's output
// keeps the bytes the plain 8-bit path has always made.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "ColourChart.h"
#include "TestDirs.h"

using namespace zem::test;

namespace {

constexpr int kChartWidth = 640;
constexpr int kChartHeight = 480;
constexpr int kOutWidth = 320;
constexpr int kOutHeight = 240;
constexpr double kGreyStepL = 5; // each grey at least this much darker than the one before

struct ChartCase {
    const char* name;
    ChartForm form;
    double meanHue;  // mean hue error of the coloured patches, degrees, at most
    double worstHue; // and of the worst patch
    double chroma;   // mean chroma as a share of the chart's, at least
    double whiteL;   // the white patch's L*, at least
};

const ChartCase kCharts[] = {
    {"Sdr", ChartForm::Sdr, 3, 8, 0.9, 90},
    {"Pq", ChartForm::Pq, 3, 8, 0.8, 80},
    {"Hlg", ChartForm::Hlg, 3, 8, 0.8, 80},
};

// The SDR chart's output file, as FNV-1a of its bytes.
constexpr uint64_t kSdrOutputHash = 12925257535363369199ull;

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (uint8_t b : bytes)
        hash = (hash ^ b) * 1099511628211ull;
    return hash;
}

void PrintTo(const ChartCase& c, std::ostream* os) {
    *os << c.name;
}

class ColourTest : public ::testing::TestWithParam<ChartCase> {};

TEST_P(ColourTest, ChartKeepsItsHuesChromaAndGreys) {
    const ChartCase& chart = GetParam();
    TempDir dir;
    ASSERT_TRUE(WriteColourChart(dir.file("chart.ppm"), kChartWidth, kChartHeight));
    const std::string clip = dir.file("chart.mp4");
    ASSERT_TRUE(EncodeColourChart(dir.file("chart.ppm"), chart.form, 1, clip));
    const std::string avi = dir.file("chart.avi");
    const Outcome run = RunZemconvert({"-q", "high-definition", "-o", avi, clip}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const ChartMeasure measure =
        MeasureColourChart(DecodePicture(avi, 0, kOutWidth, kOutHeight), kOutWidth, kOutHeight);
    ASSERT_EQ(measure.lightness.size(), 24u);
    EXPECT_LE(measure.meanHueError, chart.meanHue);
    EXPECT_LE(measure.worstHueError, chart.worstHue) << "patch " << measure.worstPatch;
    EXPECT_GE(measure.chromaShare, chart.chroma);
    EXPECT_GE(measure.lightness[kChartColouredPatches], chart.whiteL);
    for (size_t i = kChartColouredPatches + 1; i < measure.lightness.size(); ++i)
        EXPECT_LE(measure.lightness[i], measure.lightness[i - 1] - kGreyStepL) << "grey " << i + 1;

    if (chart.form == ChartForm::Sdr)
        EXPECT_EQ(Fnv1a(ReadWholeFile(avi)), kSdrOutputHash) << "the SDR output's bytes changed";
}

INSTANTIATE_TEST_SUITE_P(Charts, ColourTest, ::testing::ValuesIn(kCharts),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
