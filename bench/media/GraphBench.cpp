// Decoding speed of the conversion graph: the rewired graph (grabber + MP3 chain,
// no clock) against `ffmpeg -v error -i CLIP -f null -` on the same clip, median
// of three runs each; peak memory of this process; and the cost of turning one
// decoded picture into 24-bit BGR bottom-up with libyuv against videoconvert.
//
//   media_graph_bench [clip folder [runs [only-height]]]
//   (clips are made in the folder once and kept; 3 runs; both sizes)
#include "GraphHelpers.h"
#include "MediaInterfaces.h"
#include "PictureConvert.h"
#include "TestClips.h"

#include <gst/video/video.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using zem::test::FindRenderer;
using zem::test::GetPin;

namespace {

constexpr int kDefaultRuns = 3;
constexpr double kClipSeconds = 60.0;
constexpr double kFrameInterval = 1.0 / 16.0; // the frame encoder's 16 pictures per second
constexpr int kConvertRepeats = 100;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Counts pictures; with pacing on it declines, from the time alone, those the
// frame encoder's 16-per-second rule would not take.
struct Counter : ISampleGrabberCB {
    bool pacing = true;
    double last = 0.0;
    std::atomic<int> offered{0};
    std::atomic<int> taken{0};
    HRESULT SampleCB(double, IMediaSample*) override { return S_OK; }
    bool WillTakeSample(double t) override {
        ++offered;
        if (!pacing)
            return true;
        if (t < 0 || (last != 0.0 && t - last < kFrameInterval))
            return false;
        last = last == 0.0 ? t : last + kFrameInterval;
        while (t - last >= kFrameInterval)
            last += kFrameInterval;
        return true;
    }
    HRESULT BufferCB(double, std::uint8_t*, long) override {
        ++taken;
        return S_OK;
    }
};

// Seconds spent opening the file and in Run (rewiring, preroll, positioning) in the last run.
double g_openSeconds = 0;
double g_startSeconds = 0;

// One clockless conversion run; returns wall seconds (negative on failure).
double RunGraph(const std::string& clip, const std::string& mp3, Counter& counter) {
    // The file writer never replaces a file: each run starts without the last one's.
    std::error_code ignored;
    std::filesystem::remove(mp3, ignored);
    const auto start = Clock::now();
    std::shared_ptr<IGraphBuilder> g;
    CreateFilterGraph(&g);
    if (FAILED(g->RenderFile(clip, {})))
        return -1;
    g_openSeconds = Seconds(start);
    auto control = QueryInterface<IMediaControl>(g);
    IBaseFilterPtr vr = FindRenderer(g.get(), MEDIATYPE_Video);
    IBaseFilterPtr ar = FindRenderer(g.get(), MEDIATYPE_Audio);
    IBaseFilterPtr grabber, processor, encoder, wavDest, writer, null;
    CoCreateFilter(CLSID_SampleGrabber, &grabber);
    CoCreateFilter(CLSID_AudioProcessor, &processor);
    CoCreateFilter(CLSID_Mp3Encoder, &encoder);
    CoCreateFilter(CLSID_WavDest, &wavDest);
    CoCreateFilter(CLSID_FileWriter, &writer);
    CoCreateFilter(CLSID_NullRenderer, &null);
    g->AddFilter(grabber, "VideoGrabber");
    g->AddFilter(processor, "MP3 Encoder");
    g->AddFilter(encoder, "MP3 Encoder");
    g->AddFilter(wavDest, "WAV Dest");
    g->AddFilter(writer, "File Writer");
    QueryInterface<IFileSinkFilter>(writer)->SetFileName(mp3, nullptr);
    IPinPtr videoOut, audioOut;
    GetPin(vr, PINDIR_INPUT, 0)->ConnectedTo(&videoOut);
    GetPin(ar, PINDIR_INPUT, 0)->ConnectedTo(&audioOut);
    g->Disconnect(videoOut);
    g->Disconnect(GetPin(vr, PINDIR_INPUT, 0));
    g->Disconnect(audioOut);
    g->Disconnect(GetPin(ar, PINDIR_INPUT, 0));
    g->RemoveFilter(vr);
    g->AddFilter(null, "Null Renderer");
    bool ok = SUCCEEDED(g->Connect(videoOut, GetPin(grabber, PINDIR_INPUT, 0))) &&
              SUCCEEDED(g->Connect(audioOut, GetPin(processor, PINDIR_INPUT, 0))) &&
              SUCCEEDED(g->Connect(GetPin(processor, PINDIR_OUTPUT, 0), GetPin(encoder, PINDIR_INPUT, 0))) &&
              SUCCEEDED(g->Connect(GetPin(encoder, PINDIR_OUTPUT, 0), GetPin(wavDest, PINDIR_INPUT, 0))) &&
              SUCCEEDED(g->Connect(GetPin(wavDest, PINDIR_OUTPUT, 0), GetPin(writer, PINDIR_INPUT, 0))) &&
              SUCCEEDED(g->Render(GetPin(grabber, PINDIR_OUTPUT, 0)));
    if (!ok)
        return -1;
    auto sg = QueryInterface<ISampleGrabber>(grabber);
    sg->SetCallback(&counter, 1);
    QueryInterface<IMediaFilter>(g)->SetSyncSource(nullptr);
    const auto run = Clock::now();
    if (FAILED(control->Run()))
        return -1;
    g_startSeconds = Seconds(run);
    auto events = QueryInterface<IMediaEventEx>(g);
    for (;;) {
        long code;
        LONG_PTR p1, p2;
        if (events->GetEvent(&code, &p1, &p2, 120000) != S_OK || code == EC_ERRORABORT)
            return -1;
        if (code == EC_COMPLETE)
            break;
    }
    control->Stop();
    g.reset();
    return Seconds(start);
}

double RunFfmpeg(const std::string& clip) {
    const auto start = Clock::now();
    const std::string cmd = "ffmpeg -nostdin -v error -i '" + clip + "' -f null -";
    if (std::system(cmd.c_str()) != 0)
        return -1;
    return Seconds(start);
}

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Milliseconds per picture: libyuv straight to BGR bottom-up, against
// GStreamer's converter to BGR plus the row flip the grabber's pictures need.
void MeasureConversion(int width, int height) {
    GstVideoInfo in, out;
    gst_video_info_set_format(&in, GST_VIDEO_FORMAT_I420, width, height);
    gst_video_info_set_format(&out, GST_VIDEO_FORMAT_BGR, width, height);
    GstBuffer* src = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&in), nullptr);
    GstBuffer* dst = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&out), nullptr);
    GstMapInfo map;
    gst_buffer_map(src, &map, GST_MAP_WRITE);
    for (gsize i = 0; i < map.size; ++i)
        map.data[i] = static_cast<guint8>(i * 31);
    gst_buffer_unmap(src, &map);
    GstVideoFrame inFrame, outFrame;
    gst_video_frame_map(&inFrame, &in, src, GST_MAP_READ);
    gst_video_frame_map(&outFrame, &out, dst, GST_MAP_WRITE);
    const int stride = Rgb24Stride(width);
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(stride) * height);

    auto start = Clock::now();
    for (int i = 0; i < kConvertRepeats; ++i)
        zem::media::ConvertToBgrBottomUp(inFrame, bgr.data());
    const double yuvMs = Seconds(start) * 1000 / kConvertRepeats;

    GstVideoConverter* converter = gst_video_converter_new(&in, &out, nullptr);
    start = Clock::now();
    for (int i = 0; i < kConvertRepeats; ++i) {
        gst_video_converter_frame(converter, &inFrame, &outFrame);
        const auto* rows = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&outFrame, 0));
        const int outStride = GST_VIDEO_FRAME_PLANE_STRIDE(&outFrame, 0);
        for (int r = 0; r < height; ++r)
            std::copy_n(rows + static_cast<std::size_t>(r) * outStride, width * 3,
                        bgr.data() + static_cast<std::size_t>(height - 1 - r) * stride);
    }
    const double gstMs = Seconds(start) * 1000 / kConvertRepeats;
    gst_video_converter_free(converter);
    gst_video_frame_unmap(&inFrame);
    gst_video_frame_unmap(&outFrame);
    gst_buffer_unref(src);
    gst_buffer_unref(dst);
    std::printf("  picture to BGR bottom-up %dx%d: libyuv %.2f ms, videoconvert + flip %.2f ms\n", width, height, yuvMs,
                gstMs);
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : "/tmp/zem_media_bench";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRuns;
    const int onlyHeight = argc > 3 ? std::atoi(argv[3]) : 0;
    std::filesystem::create_directories(folder);
    gst_init(nullptr, nullptr);
    struct Case {
        int width, height, fps;
        double target; // allowed ratio to ffmpeg
    };
    const Case cases[] = {{1280, 720, 25, 1.15}, {1920, 1080, 30, 1.3}};
    for (const Case& c : cases) {
        if (onlyHeight && c.height != onlyHeight)
            continue;
        const std::string name = "clip_mp4_" + std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
                                 std::to_string(c.fps) + "_moving.mp4";
        std::filesystem::path clip = folder / name;
        if (!std::filesystem::exists(clip))
            clip = zem::testclips::MakeClip(folder, "mp4", kClipSeconds, c.width, c.height, c.fps,
                                            zem::testclips::Pattern::Moving);
        if (clip.empty()) {
            std::fprintf(stderr, "could not make the %dx%d clip\n", c.width, c.height);
            return 1;
        }
        std::printf("%dx%d %d fps, %.0f s H.264 + AAC\n", c.width, c.height, c.fps, kClipSeconds);
        for (bool pacing : {true, false}) {
            std::vector<double> graph, ffmpeg, graphCpu, ffmpegCpu;
            int offered = 0, taken = 0;
            for (int run = 0; run < runs; ++run) {
                double cpu = CpuSeconds(RUSAGE_CHILDREN);
                ffmpeg.push_back(RunFfmpeg(clip.string()));
                ffmpegCpu.push_back(CpuSeconds(RUSAGE_CHILDREN) - cpu);
                Counter counter;
                counter.pacing = pacing;
                cpu = CpuSeconds(RUSAGE_SELF);
                graph.push_back(RunGraph(clip.string(), (folder / "bench.mp3").string(), counter));
                graphCpu.push_back(CpuSeconds(RUSAGE_SELF) - cpu);
                offered = counter.offered;
                taken = counter.taken;
            }
            const double g = Median(graph), f = Median(ffmpeg);
            std::printf(
                "  %s: wall graph %.2f s, ffmpeg %.2f s, ratio %.2f (target %.2f); cpu graph %.2f s, "
                "ffmpeg %.2f s; pictures %d, converted %d; peak memory %ld MB; open %.2f s, start %.2f s\n",
                pacing ? "16/s pacing before conversion" : "every picture converted", g, f, g / f, c.target,
                Median(graphCpu), Median(ffmpegCpu), offered, taken, PeakKilobytes() / 1024, g_openSeconds,
                g_startSeconds);
        }
        MeasureConversion(c.width, c.height);
    }
    return 0;
}
