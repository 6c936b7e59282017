// The picture path that converts, clamps and shrinks a decoded picture row by
// row, and the one that goes from the YUV planes straight into the shrink's
// sums, give every byte that converting the whole picture to BGR, clamping it
// and scaling it gives, on pictures decoded from real clips.

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FrameEncoder.h"
#include "FrameRows.h"
#include "PictureConvert.h"
#include "PicturePath.h"
#include "Resample.h"
#include "TestClips.h"
#include "TestDirs.h"

using namespace zem;
using zem::test::FrameRows;

namespace {

struct TargetSize {
    uint16_t width;
    uint16_t height;
};

// The output sizes of the settings, and the one size no output has.
constexpr TargetSize kTargets[] = {{320, 240}, {208, 176}, {176, 128}, {160, 128}, {128, 128}, {96, 64}, {1, 1}};

// A decoded picture with its buffer mapped for reading.
class MappedPicture {
public:
    explicit MappedPicture(GstSample* sample) : m_sample(sample) {
        GstVideoInfo info;
        m_mapped = gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
                   gst_video_frame_map(&m_frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ);
    }
    ~MappedPicture() {
        if (m_mapped)
            gst_video_frame_unmap(&m_frame);
        gst_sample_unref(m_sample);
    }
    MappedPicture(const MappedPicture&) = delete;
    MappedPicture& operator=(const MappedPicture&) = delete;

    bool mapped() const { return m_mapped; }
    const GstVideoFrame& frame() const { return m_frame; }
    uint16_t width() const { return uint16_t(GST_VIDEO_FRAME_WIDTH(&m_frame)); }
    uint16_t height() const { return uint16_t(GST_VIDEO_FRAME_HEIGHT(&m_frame)); }
    std::string format() const { return gst_video_format_to_string(GST_VIDEO_FRAME_FORMAT(&m_frame)); }

private:
    GstSample* m_sample;
    GstVideoFrame m_frame{};
    bool m_mapped = false;
};

// Decodes up to `count` pictures of `clip`; `caps` (may be empty) names the
// format and size they are converted or scaled to after decoding.
std::vector<std::unique_ptr<MappedPicture>> Decode(const std::filesystem::path& clip, const std::string& caps,
                                                   int count) {
    std::string description = "filesrc location=\"" + clip.string() + "\" ! decodebin";
    if (!caps.empty())
        description += " ! videoconvert ! videoscale ! " + caps;
    description += " ! appsink name=sink sync=false max-buffers=2";
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    std::vector<std::unique_ptr<MappedPicture>> pictures;
    if (error != nullptr) {
        ADD_FAILURE() << description << ": " << error->message;
        g_error_free(error);
        if (pipeline != nullptr)
            gst_object_unref(pipeline);
        return pictures;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (int(pictures.size()) < count) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 30 * GST_SECOND);
        if (sample == nullptr)
            break;
        pictures.push_back(std::make_unique<MappedPicture>(sample));
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return pictures;
}

// Today's three steps: the grabber's whole BGR picture (kept from picture to
// picture, as the grabber keeps it), the clamp over all of it, the scale.
class ThreeStepPath {
public:
    std::vector<uint8_t> Scale(const GstVideoFrame& frame, TargetSize target) {
        const uint16_t w = uint16_t(GST_VIDEO_FRAME_WIDTH(&frame));
        const uint16_t h = uint16_t(GST_VIDEO_FRAME_HEIGHT(&frame));
        const size_t size = size_t(PictureStride(w)) * h;
        if (m_bgr.size() != size)
            m_bgr.assign(size, 0);
        std::vector<uint8_t> out(size_t(PictureStride(target.width)) * target.height, 0);
        if (!media::ConvertToBgrBottomUp(frame, m_bgr.data()))
            return {};
        const std::vector<uint8_t> before = m_bgr;
        ClampPixelExtremes(m_bgr.data(), m_bgr.size());
        m_pixelsClamped += before != m_bgr;
        ScalePicture(m_bgr.data(), w, h, out.data(), target.width, target.height);
        return out;
    }
    // Pictures in which the clamp changed something.
    int clampedPictures() const { return m_pixelsClamped; }

private:
    std::vector<uint8_t> m_bgr;
    int m_pixelsClamped = 0;
};

// The picture path, reading the planes where `planes` allows; `rowsRead` counts the BGR rows it read.
std::vector<uint8_t> RowPathScale(PicturePath& path, const GstVideoFrame& frame, TargetSize target, bool planes,
                                  uint32_t& rowsRead) {
    std::vector<uint8_t> out(size_t(PictureStride(target.width)) * target.height, 0);
    FrameRows rows(frame);
    rows.UsePlanes(planes);
    const bool scaled = path.Scale(rows, uint16_t(GST_VIDEO_FRAME_WIDTH(&frame)),
                                   uint16_t(GST_VIDEO_FRAME_HEIGHT(&frame)), out.data(), target.width, target.height);
    rowsRead = rows.rowsRead();
    if (!scaled)
        return {};
    return out;
}

// Whether the one-pass path takes this picture to this size: a YUV format
// being shrunk, with rows of whole pixel groups.
bool OnePass(const GstVideoFrame& frame, TargetSize target) {
    YuvPlanes planes;
    const int w = GST_VIDEO_FRAME_WIDTH(&frame);
    const int h = GST_VIDEO_FRAME_HEIGHT(&frame);
    return media::YuvPlanesOf(frame, planes) && target.width <= w && target.height <= h &&
           PictureStride(uint32_t(w)) % 3 == 0;
}

// Index of the first byte that differs, -1 when none does.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size())
        return 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return long(i);
    return -1;
}

// Every picture to every target size along both paths; each path keeps its own
// buffers across the pictures, as a run does.
void ExpectSameBytes(const std::vector<std::unique_ptr<MappedPicture>>& pictures, int* clampedPictures = nullptr) {
    ASSERT_FALSE(pictures.empty());
    for (const TargetSize target : kTargets) {
        ThreeStepPath reference;
        PicturePath byRows;
        PicturePath fromPlanes;
        for (size_t n = 0; n < pictures.size(); ++n) {
            const MappedPicture& p = *pictures[n];
            ASSERT_TRUE(p.mapped());
            const auto expected = reference.Scale(p.frame(), target);
            uint32_t rowsRead = 0;
            const auto rows = RowPathScale(byRows, p.frame(), target, false, rowsRead);
            EXPECT_GT(rowsRead, 0u);
            const auto onePass = RowPathScale(fromPlanes, p.frame(), target, true, rowsRead);
            // The one-pass path makes no BGR row at all.
            EXPECT_EQ(rowsRead == 0, OnePass(p.frame(), target)) << p.format() << " " << p.width() << "x" << p.height();
            ASSERT_FALSE(expected.empty()) << p.format();
            const std::string where = p.format() + " " + std::to_string(p.width()) + "x" + std::to_string(p.height()) +
                                      " picture " + std::to_string(n) + " to " + std::to_string(target.width) + "x" +
                                      std::to_string(target.height);
            EXPECT_EQ(FirstDifference(expected, rows), -1) << "by rows: " << where;
            EXPECT_EQ(FirstDifference(expected, onePass), -1) << "one pass: " << where;
        }
        if (clampedPictures != nullptr)
            *clampedPictures += reference.clampedPictures();
    }
}

// A moving test picture with black bars above and below, a white box and
// grain, so that many pixels lie near black and white and the clamp moves
// some of them and leaves their neighbours.
std::filesystem::path MakeLetterboxedClip(const std::filesystem::path& dir, const std::string& name, int width,
                                          int height, int fps, const std::string& codec, double seconds = 0.4) {
    const auto path = dir / name;
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i \"testsrc2=size=" + std::to_string(width) + "x" +
        std::to_string(height) + ":rate=" + std::to_string(fps) +
        ",drawbox=x=0:y=0:w=iw:h=ih/8:color=black:t=fill,drawbox=x=0:y=ih*7/8:w=iw:h=ih/8:color=black:t=fill"
        ",drawbox=x=iw/3:y=ih/3:w=iw/5:h=ih/5:color=white:t=fill,noise=alls=6:allf=t\" -t " +
        std::to_string(seconds) + " " + codec + " \"" + path.string() + "\"";
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(path))
        return {};
    return path;
}

class PicturePathTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
    testclips::TempDir m_dir;
};

TEST_F(PicturePathTest, DecodedH264At720pGivesTheSameBytes) {
    const auto clip =
        MakeLetterboxedClip(m_dir.path(), "720p.mp4", 1280, 720, 25, "-c:v libx264 -preset ultrafast -pix_fmt yuv420p");
    ASSERT_FALSE(clip.empty());
    int clamped = 0;
    ExpectSameBytes(Decode(clip, "", 6), &clamped);
    EXPECT_GT(clamped, 0) << "the pictures should have near-black or near-white pixels for the clamp";
}

TEST_F(PicturePathTest, DecodedH264At1080pGivesTheSameBytes) {
    const auto clip = MakeLetterboxedClip(m_dir.path(), "1080p.mkv", 1920, 1080, 30,
                                          "-c:v libx264 -preset ultrafast -pix_fmt yuv420p");
    ASSERT_FALSE(clip.empty());
    int clamped = 0;
    ExpectSameBytes(Decode(clip, "", 5), &clamped);
    EXPECT_GT(clamped, 0);
}

TEST_F(PicturePathTest, DecodedMpeg2At576pGivesTheSameBytes) {
    const auto clip = MakeLetterboxedClip(m_dir.path(), "576p.mpg", 720, 576, 25, "-c:v mpeg2video -q:v 4 -f mpeg");
    ASSERT_FALSE(clip.empty());
    int clamped = 0;
    ExpectSameBytes(Decode(clip, "", 6), &clamped);
    EXPECT_GT(clamped, 0);
}

TEST_F(PicturePathTest, DarkCounterPicturesGiveTheSameBytes) {
    // Flat near-black areas: whole blocks of the clamp move at once.
    const auto clip = testclips::MakeClip(m_dir.path(), "mp4", 0.3, 640, 480, 25);
    ASSERT_FALSE(clip.empty());
    int clamped = 0;
    ExpectSameBytes(Decode(clip, "", 4), &clamped);
    EXPECT_GT(clamped, 0) << "the pictures should have near-black pixels for the clamp";
}

TEST_F(PicturePathTest, EveryGrabberFormatGivesTheSameBytes) {
    const auto clip = MakeLetterboxedClip(m_dir.path(), "576p.mpg", 720, 576, 25, "-c:v mpeg2video -q:v 4 -f mpeg");
    ASSERT_FALSE(clip.empty());
    for (const char* format : {"I420", "YV12", "NV12", "NV21", "Y42B", "Y444", "BGRx", "BGRA", "RGB", "BGR"}) {
        SCOPED_TRACE(format);
        ExpectSameBytes(Decode(clip, std::string("video/x-raw,format=") + format, 2));
    }
}

TEST_F(PicturePathTest, FullRangeAndHdMatricesGiveTheSameBytes) {
    const auto clip = MakeLetterboxedClip(m_dir.path(), "576p.mpg", 720, 576, 25, "-c:v mpeg2video -q:v 4 -f mpeg");
    ASSERT_FALSE(clip.empty());
    for (const char* colorimetry : {"jpeg", "bt709", "bt601"}) {
        SCOPED_TRACE(colorimetry);
        ExpectSameBytes(Decode(clip, std::string("video/x-raw,format=I420,colorimetry=") + colorimetry, 2));
    }
}

TEST_F(PicturePathTest, OddSizesGiveTheSameBytes) {
    const auto clip =
        MakeLetterboxedClip(m_dir.path(), "720p.mp4", 1280, 720, 25, "-c:v libx264 -preset ultrafast -pix_fmt yuv420p");
    ASSERT_FALSE(clip.empty());
    // Rows whose length is no whole number of pixel groups (641, 643 wide), odd
    // heights under whole groups (the last row has a chroma row of its own), a
    // single pixel, a picture larger than any decoder gives us today, sources
    // smaller than the target in one or both directions; every YUV form.
    for (const char* size : {"width=641,height=359", "width=643,height=361", "width=644,height=363",
                             "width=324,height=245", "width=1,height=1", "width=4096,height=2160", "width=96,height=64",
                             "width=352,height=200", "width=200,height=300"}) {
        for (const char* format : {"I420", "YV12", "NV12", "NV21", "Y42B", "Y444", "BGR"}) {
            SCOPED_TRACE(std::string(size) + " " + format);
            ExpectSameBytes(Decode(clip, std::string("video/x-raw,format=") + format + "," + size, 3));
        }
    }
}

// The frames files of the encoder fed both ways are equal byte for byte.
TEST_F(PicturePathTest, FramesFileIsTheSameAsFromWholePictures) {
    const auto clip = MakeLetterboxedClip(m_dir.path(), "720p.mp4", 1280, 720, 25,
                                          "-c:v libx264 -preset ultrafast -pix_fmt yuv420p", 1.0);
    ASSERT_FALSE(clip.empty());
    const auto pictures = Decode(clip, "", 25);
    ASSERT_GE(pictures.size(), 20u);
    test::TempDir out;
    auto encode = [&](const std::string& name, bool byRows) {
        File file;
        EXPECT_TRUE(file.Open(out.file(name), File::Mode::CreateWrite));
        FrameCaptureContext ctx;
        ctx.sourceWidth = pictures[0]->width();
        ctx.sourceHeight = pictures[0]->height();
        ctx.framesFile = &file;
        std::vector<uint8_t> bgr(size_t(PictureStride(ctx.sourceWidth)) * ctx.sourceHeight, 0);
        for (size_t n = 0; n < pictures.size(); ++n) {
            const double time = 0.04 * double(n + 1);
            if (byRows) {
                FrameRows rows(pictures[n]->frame());
                ctx.OnFrameRows(time, rows);
            } else if (ctx.WillTakeSample(time) && media::ConvertToBgrBottomUp(pictures[n]->frame(), bgr.data())) {
                ctx.OnFrameSample(time, bgr.data(), bgr.size());
            }
        }
        file.Close();
        return ctx.framesWritten();
    };
    const uint64_t wholeFrames = encode("whole.frames", false);
    const uint64_t rowFrames = encode("rows.frames", true);
    EXPECT_GT(wholeFrames, 10u);
    EXPECT_EQ(wholeFrames, rowFrames);
    const auto whole = test::ReadWholeFile(out.file("whole.frames"));
    const auto rows = test::ReadWholeFile(out.file("rows.frames"));
    EXPECT_FALSE(whole.empty());
    EXPECT_EQ(FirstDifference(whole, rows), -1);
}

} // namespace
