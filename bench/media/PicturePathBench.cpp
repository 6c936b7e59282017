// Milliseconds a decoded picture takes from the decoder's format to the
// 320x240 picture the JPEG coder gets (colour conversion, clamp, shrink), one
// core: from the planes into the shrink's sums in one pass, row by row through
// BGR rows, and converting the whole picture first.
//
//   picture_path_bench [--benchmark_repetitions=3 ...]

#include <benchmark/benchmark.h>
#include <gst/video/video.h>

#include <cmath>
#include <random>
#include <vector>

#include "FrameEncoder.h"
#include "FrameRows.h"
#include "PictureConvert.h"
#include "PicturePath.h"
#include "Resample.h"

using namespace zem;
using zem::test::FrameRows;

namespace {

constexpr uint16_t kTargetWidth = 320;
constexpr uint16_t kTargetHeight = 240;

// An I420 picture like a decoded camera picture: gradients, edges, a little
// noise, and a black band at the top and bottom as in letterboxed films.
class DecodedPicture {
public:
    DecodedPicture(int width, int height) {
        gst_video_info_set_format(&m_info, GST_VIDEO_FORMAT_I420, width, height);
        m_info.colorimetry.matrix = height >= 720 ? GST_VIDEO_COLOR_MATRIX_BT709 : GST_VIDEO_COLOR_MATRIX_BT601;
        m_buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&m_info), nullptr);
        gst_video_frame_map(&m_frame, &m_info, m_buffer, GST_MAP_READWRITE);
        std::mt19937 rng(1);
        const int band = height / 8;
        for (int plane = 0; plane < 3; ++plane) {
            auto* data = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&m_frame, plane));
            const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&m_frame, plane);
            const int w = GST_VIDEO_FRAME_COMP_WIDTH(&m_frame, plane);
            const int h = GST_VIDEO_FRAME_COMP_HEIGHT(&m_frame, plane);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const double fx = double(x) / w, fy = double(y) / h;
                    const int pictureRow = plane == 0 ? y : 2 * y;
                    int v = plane == 0 ? int(40 + 150 * fx + 25 * std::sin(fx * 40) * std::cos(fy * 25))
                                       : int(128 + 40 * (plane == 1 ? fx - 0.5 : fy - 0.5));
                    if (pictureRow < band || pictureRow >= height - band)
                        v = plane == 0 ? 16 : 128;
                    data[y * stride + x] = uint8_t(std::clamp(v + int(rng() % 5), 0, 255));
                }
        }
    }
    ~DecodedPicture() {
        gst_video_frame_unmap(&m_frame);
        gst_buffer_unref(m_buffer);
    }
    DecodedPicture(const DecodedPicture&) = delete;
    DecodedPicture& operator=(const DecodedPicture&) = delete;
    const GstVideoFrame& frame() const { return m_frame; }

private:
    GstVideoInfo m_info{};
    GstBuffer* m_buffer = nullptr;
    GstVideoFrame m_frame{};
};

void Path(benchmark::State& state, int width, int height, bool planes) {
    gst_init(nullptr, nullptr);
    DecodedPicture picture(width, height);
    PicturePath path;
    std::vector<uint8_t> out(size_t(PictureStride(kTargetWidth)) * kTargetHeight);
    for (auto _ : state) {
        FrameRows rows(picture.frame());
        rows.UsePlanes(planes);
        path.Scale(rows, uint16_t(width), uint16_t(height), out.data(), kTargetWidth, kTargetHeight);
        benchmark::ClobberMemory();
    }
}

void OnePass(benchmark::State& state, int width, int height) {
    Path(state, width, height, true);
}

void ByRows(benchmark::State& state, int width, int height) {
    Path(state, width, height, false);
}

void WholePicture(benchmark::State& state, int width, int height) {
    gst_init(nullptr, nullptr);
    DecodedPicture picture(width, height);
    std::vector<uint8_t> bgr(size_t(PictureStride(uint32_t(width))) * uint32_t(height));
    std::vector<uint8_t> out(size_t(PictureStride(kTargetWidth)) * kTargetHeight);
    for (auto _ : state) {
        media::ConvertToBgrBottomUp(picture.frame(), bgr.data());
        ShrinkPictureFiltered(bgr.data(), uint16_t(width), uint16_t(height), out.data(), kTargetWidth, kTargetHeight,
                              ClampPixelExtremes);
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK_CAPTURE(OnePass, 1280x720, 1280, 720)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ByRows, 1280x720, 1280, 720)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WholePicture, 1280x720, 1280, 720)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnePass, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ByRows, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WholePicture, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OnePass, 720x576, 720, 576)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ByRows, 720x576, 720, 576)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WholePicture, 720x576, 720, 576)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
