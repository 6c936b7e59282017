// The preview shows an HDR film with the colours the conversion gives it: the
// colour chart encoded as HDR10 (PQ) and HLG, rendered into the video widget
// and measured there as the output is.

#include "ColourChart.h"
#include "MediaTestRig.h"
#include "TestDirs.h"

#include <QImage>
#include <QWidget>

using namespace zem::mediatest;
using zem::test::ChartForm;

namespace {

constexpr int kChartWidth = 640;
constexpr int kChartHeight = 480;
constexpr int kViewWidth = 320;
constexpr int kViewHeight = 240;

struct PreviewCase {
    const char* name;
    ChartForm form;
};

void PrintTo(const PreviewCase& c, std::ostream* os) {
    *os << c.name;
}

class PreviewColourTest : public testing::TestWithParam<PreviewCase> {};

TEST_P(PreviewColourTest, ShowsTheChartsColours) {
    zem::test::TempDir dir;
    ASSERT_TRUE(zem::test::WriteColourChart(dir.file("chart.ppm"), kChartWidth, kChartHeight));
    const std::string clip = dir.file("chart.mp4");
    ASSERT_TRUE(zem::test::EncodeColourChart(dir.file("chart.ppm"), GetParam().form, 1, clip));

    QWidget owner;
    owner.resize(kViewWidth, kViewHeight);
    Graph g;
    ASSERT_EQ(g.gb->RenderFile(clip, {}), S_OK);
    ASSERT_EQ(g.vw->put_Owner(&owner), S_OK);
    ASSERT_EQ(g.vw->SetWindowPosition(0, 0, kViewWidth, kViewHeight), S_OK);
    ASSERT_EQ(g.vw->put_Visible(true), S_OK);
    ASSERT_EQ(g.mc->StopWhenReady(), S_OK);

    const QImage image = g.vw->VideoWidget()->grab().toImage().convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(image.width(), kViewWidth);
    std::vector<uint8_t> rgb;
    for (int y = 0; y < image.height(); ++y)
        rgb.insert(rgb.end(), image.constScanLine(y), image.constScanLine(y) + image.width() * 3);
    const zem::test::ChartMeasure measure = zem::test::MeasureColourChart(rgb, image.width(), image.height());
    // What the conversion's output is held to.
    EXPECT_LE(measure.meanHueError, 3);
    EXPECT_LE(measure.worstHueError, 8) << "patch " << measure.worstPatch;
    EXPECT_GE(measure.chromaShare, 0.8);
    ASSERT_EQ(measure.lightness.size(), 24u);
    EXPECT_GE(measure.lightness[zem::test::kChartColouredPatches], 80);
}

INSTANTIATE_TEST_SUITE_P(Hdr, PreviewColourTest,
                         testing::Values(PreviewCase{"Pq", ChartForm::Pq}, PreviewCase{"Hlg", ChartForm::Hlg}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
