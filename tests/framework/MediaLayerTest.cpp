// The graph layer against real clips: render, seek, step, play and the
// conversion rewiring (grabber + MP3 chain, no clock).
#include "GraphHelpers.h"
#include "MediaInterfaces.h"
#include "TestClips.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QThread>
#include <QWidget>

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

#include <unistd.h>

using zem::testclips::ClipTimes;
using zem::testclips::MakeClip;
using zem::testclips::ProbeClip;
using zem::testclips::PictureNumber;
using zem::testclips::TempDir;
using zem::test::FindRenderer;
using zem::test::GetPin;

namespace {

constexpr double kClipSeconds = 2.0;
constexpr double kFrame = 0.04;  // 25 pictures per second
constexpr REFERENCE_TIME kUnits = 10000000;
constexpr int kMp3FrameBytes = 384;
constexpr int kWavHead = 68;
constexpr double kMp3FrameSeconds = 1152.0 / 48000.0;

// Each test runs in a process of its own, so the clips are kept on disk and
// made once for a whole run of the suite: in a folder of the build tree that a
// ctest fixture empties first (tests/framework/CMakeLists.txt).
std::filesystem::path CachedClip(const std::string& kind)
{
    const std::filesystem::path folder = std::filesystem::path(ZEM_CLIP_CACHE_DIR) / kind;
    const auto read = [&folder]() -> std::filesystem::path {
        std::ifstream marker(folder / "clip.txt");
        std::string name;
        if (!std::getline(marker, name) || name.empty()) return {};
        return folder / name;
    };
    if (auto clip = read(); !clip.empty()) return clip;
    // Made aside and moved in whole, so a parallel test sees all of it or none.
    std::error_code ec;
    std::filesystem::create_directories(folder.parent_path(), ec);
    const auto aside = folder.parent_path() / (kind + ".making." + std::to_string(::getpid()));
    std::filesystem::remove_all(aside, ec);
    std::filesystem::create_directories(aside, ec);
    const auto made = MakeClip(aside, kind, kClipSeconds);
    if (made.empty()) return {};
    std::ofstream(aside / "clip.txt") << made.filename().string() << "\n";
    std::filesystem::rename(aside, folder, ec);
    if (ec) std::filesystem::remove_all(aside, ec);  // another test was first
    return read();
}

struct ClipSet {
    TempDir dir;  // what the tests write
    std::map<std::string, std::filesystem::path> clips;
    std::filesystem::path Get(const std::string& kind)
    {
        auto it = clips.find(kind);
        if (it == clips.end()) it = clips.emplace(kind, CachedClip(kind)).first;
        return it->second;
    }
};

ClipSet& Clips()
{
    static ClipSet set;
    return set;
}

// Waits for one event code; any error event ends the wait with false.
bool WaitForEvent(IMediaEventEx* events, long wanted, int timeoutMs, long* seen = nullptr)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        if (events->GetEvent(&code, &p1, &p2, static_cast<long>(left.count())) != S_OK) return false;
        events->FreeEventParams(code, p1, p2);
        if (seen) *seen = code;
        if (code == wanted) return true;
        if (code == EC_ERRORABORT) return false;
    }
}

// Records what the grabber hands over and reads the counter pattern back.
struct Grabbed : ISampleGrabberCB {
    std::mutex mutex;
    int width = 0;
    int height = 0;
    std::vector<double> times;
    std::vector<int> numbers;
    std::vector<long> lengths;
    int wrongOrientation = 0;
    int offered = 0;
    double takeFrom = -1.0;  // pictures before this time are declined

    HRESULT SampleCB(double, IMediaSample*) override { return S_OK; }
    bool WillTakeSample(double t) override
    {
        std::lock_guard lock(mutex);
        ++offered;
        return t >= takeFrom;
    }
    HRESULT BufferCB(double t, std::uint8_t* buffer, long length) override
    {
        std::lock_guard lock(mutex);
        times.push_back(t);
        lengths.push_back(length);
        const int stride = Rgb24Stride(width);
        const std::uint8_t* bottom = buffer + (width / 2) * 3;  // first stored row = bottom of the picture
        const std::uint8_t* top = buffer + static_cast<std::size_t>(height - 1) * stride + (width / 2) * 3;
        numbers.push_back(PictureNumber(bottom[1]));
        // The top band is blue: byte 0 (blue) high, byte 2 (red) low.
        if (!(top[0] > 150 && top[2] < 100 && std::abs(bottom[0] - bottom[2]) < 24)) ++wrongOrientation;
        return S_OK;
    }
};

struct ConversionRig {
    IBaseFilterPtr grabber, processor, encoder, wavDest, writer, nullRenderer;
    bool hasVideo = false;
    bool hasAudio = false;
};

// The rewiring the conversion does: renderers cut off, video to the grabber and
// on to a renderer, audio through processor, encoder and WavDest into the writer.
HRESULT BuildConversion(IGraphBuilder* graph, const std::filesystem::path& mp3, Grabbed& grabbed, bool monitoring,
                        ConversionRig& rig)
{
    IBaseFilterPtr videoRenderer = FindRenderer(graph, MEDIATYPE_Video);
    IBaseFilterPtr audioRenderer = FindRenderer(graph, MEDIATYPE_Audio);
    rig.hasVideo = videoRenderer != nullptr;
    rig.hasAudio = audioRenderer != nullptr;
    HRESULT hr;
    if (rig.hasAudio) {
        if (FAILED(hr = CoCreateFilter(CLSID_AudioProcessor, &rig.processor))) return hr;
        if (FAILED(hr = graph->AddFilter(rig.processor, "MP3 Encoder"))) return hr;
        if (FAILED(hr = CoCreateFilter(CLSID_Mp3Encoder, &rig.encoder))) return hr;
        if (FAILED(hr = graph->AddFilter(rig.encoder, "MP3 Encoder"))) return hr;
        if (FAILED(hr = CoCreateFilter(CLSID_WavDest, &rig.wavDest))) return hr;
        if (FAILED(hr = graph->AddFilter(rig.wavDest, "WAV Dest"))) return hr;
        if (FAILED(hr = CoCreateFilter(CLSID_FileWriter, &rig.writer))) return hr;
        if (FAILED(hr = graph->AddFilter(rig.writer, "File Writer"))) return hr;
        if (FAILED(hr = QueryInterface<IFileSinkFilter>(rig.writer)->SetFileName(mp3.string(), nullptr))) return hr;
    }
    if (rig.hasVideo) {
        if (FAILED(hr = CoCreateFilter(CLSID_SampleGrabber, &rig.grabber))) return hr;
        AM_MEDIA_TYPE type;
        type.majortype = MEDIATYPE_Video;
        type.subtype = MEDIASUBTYPE_RGB24;
        if (FAILED(hr = QueryInterface<ISampleGrabber>(rig.grabber)->SetMediaType(&type))) return hr;
        if (FAILED(hr = graph->AddFilter(rig.grabber, "VideoGrabber"))) return hr;
        IPinPtr rendererIn = GetPin(videoRenderer, PINDIR_INPUT, 0);
        IPinPtr videoOut;
        if (FAILED(hr = rendererIn->ConnectedTo(&videoOut))) return hr;
        if (FAILED(hr = graph->Disconnect(videoOut))) return hr;
        if (FAILED(hr = graph->Disconnect(rendererIn))) return hr;
        if (!monitoring) {
            if (FAILED(hr = graph->RemoveFilter(videoRenderer))) return hr;
            if (FAILED(hr = CoCreateFilter(CLSID_NullRenderer, &rig.nullRenderer))) return hr;
            if (FAILED(hr = graph->AddFilter(rig.nullRenderer, "Null Renderer"))) return hr;
        }
        if (FAILED(hr = graph->Connect(videoOut, GetPin(rig.grabber, PINDIR_INPUT, 0)))) return hr;
    }
    if (rig.hasAudio) {
        IPinPtr rendererIn = GetPin(audioRenderer, PINDIR_INPUT, 0);
        IPinPtr audioOut;
        if (FAILED(hr = rendererIn->ConnectedTo(&audioOut))) return hr;
        if (FAILED(hr = graph->Disconnect(audioOut))) return hr;
        if (FAILED(hr = graph->Disconnect(rendererIn))) return hr;
        if (FAILED(hr = graph->Connect(audioOut, GetPin(rig.processor, PINDIR_INPUT, 0)))) return hr;
        if (FAILED(hr = graph->Connect(GetPin(rig.processor, PINDIR_OUTPUT, 0), GetPin(rig.encoder, PINDIR_INPUT, 0))))
            return hr;
        if (FAILED(hr = graph->Connect(GetPin(rig.encoder, PINDIR_OUTPUT, 0), GetPin(rig.wavDest, PINDIR_INPUT, 0))))
            return hr;
        if (FAILED(hr = graph->Connect(GetPin(rig.wavDest, PINDIR_OUTPUT, 0), GetPin(rig.writer, PINDIR_INPUT, 0))))
            return hr;
    }
    if (rig.hasVideo) {
        if (FAILED(hr = graph->Render(GetPin(rig.grabber, PINDIR_OUTPUT, 0)))) return hr;
        auto sg = QueryInterface<ISampleGrabber>(rig.grabber);
        AM_MEDIA_TYPE connected;
        if (FAILED(hr = sg->GetConnectedMediaType(&connected))) return hr;
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(connected.pbFormat.get());
        grabbed.width = info->bmiHeader.biWidth;
        grabbed.height = info->bmiHeader.biHeight;
        sg->SetBufferSamples(false);
        sg->SetOneShot(false);
        sg->SetCallback(&grabbed, 1);
    }
    return QueryInterface<IMediaFilter>(std::shared_ptr<IGraphBuilder>(graph, [](IGraphBuilder*) {}))
        ->SetSyncSource(nullptr);
}

// Frame count of a WavDest MP3 file, or -1 when it is not a 68-byte head followed
// only by 384-byte MPEG-1 layer III 48 kHz 128 kbit/s frames.
int CountMp3Frames(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < kWavHead || std::string(data.begin(), data.begin() + 4) != "RIFF" ||
        std::string(data.begin() + 8, data.begin() + 12) != "WAVE")
        return -1;
    if ((data.size() - kWavHead) % kMp3FrameBytes != 0) return -1;
    int frames = 0;
    for (std::size_t at = kWavHead; at < data.size(); at += kMp3FrameBytes, ++frames) {
        // Sync, MPEG-1, layer III, no CRC; bitrate index 9 (128k), rate index 1 (48k), no padding.
        if (data[at] != 0xFF || data[at + 1] != 0xFB || (data[at + 2] & 0xFE) != 0x94) return -1;
    }
    return frames;
}

struct Graph {
    std::shared_ptr<IGraphBuilder> gb;
    std::shared_ptr<IMediaControl> mc;
    std::shared_ptr<IMediaSeeking> ms;
    std::shared_ptr<IMediaEventEx> me;
    std::shared_ptr<IVideoWindow> vw;
    std::shared_ptr<IBasicVideo> bv;
    std::shared_ptr<IBasicAudio> ba;
    std::shared_ptr<IVideoFrameStep> fs;
    // The program puts the GPL MPEG-2 decoder into every graph before it renders.
    explicit Graph(bool withMpeg2Decoder = true)
    {
        CreateFilterGraph(&gb);
        if (withMpeg2Decoder) {
            IBaseFilterPtr decoder;
            CoCreateFilter(CLSID_GplMpeg2Decoder, &decoder);
            gb->AddFilter(decoder, "GPLMpeg2Decoder");
        }
        mc = QueryInterface<IMediaControl>(gb);
        ms = QueryInterface<IMediaSeeking>(gb);
        me = QueryInterface<IMediaEventEx>(gb);
        vw = QueryInterface<IVideoWindow>(gb);
        bv = QueryInterface<IBasicVideo>(gb);
        ba = QueryInterface<IBasicAudio>(gb);
        fs = QueryInterface<IVideoFrameStep>(gb);
    }
    REFERENCE_TIME Position() const
    {
        REFERENCE_TIME p = -1;
        ms->GetCurrentPosition(&p);
        return p;
    }
    HRESULT SeekTo(double seconds)
    {
        REFERENCE_TIME t = static_cast<REFERENCE_TIME>(seconds * kUnits);
        return ms->SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    }
};

// Picture number shown in the video widget.
int ShownPicture(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    return PictureNumber(qGreen(image.pixel(image.width() / 2, image.height() - 2)));
}

// The picture that covers a position (seconds from the clip's position 0).
int PictureAt(const ClipTimes& times, double position)
{
    return static_cast<int>(std::floor((position - (times.videoStart - times.Origin())) / kFrame + 1e-6));
}

struct Kind {
    const char* kind;
    bool video;
    bool audio;
    int width;
    int height;
};

void PrintTo(const Kind& k, std::ostream* os) { *os << k.kind; }

// One clip a format (made once, see CachedClip), each step of playing it a
// case of its own, so one failure does not hide the others.
class FormatTest : public testing::TestWithParam<Kind> {
protected:
    static constexpr double kSelectionStart = 0.52;

    void SetUp() override
    {
        k = GetParam();
        clip = Clips().Get(k.kind);
        ASSERT_FALSE(clip.empty()) << "ffmpeg could not make the clip";
        times = ProbeClip(k.kind == std::string("asx") ? Clips().Get("mp4") : clip);
        atStart = PictureAt(times, kSelectionStart);
        owner.resize(320, 256);
    }

    // Rendered, with the picture (if any) shown in `owner`, stopped at the start.
    void RenderAndShow(Graph& g)
    {
        ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
        if (k.video) {
            ASSERT_EQ(g.vw->put_Owner(&owner), S_OK);
            ASSERT_EQ(g.vw->SetWindowPosition(8, 4, 160, 128), S_OK);
            ASSERT_EQ(g.vw->put_Visible(true), S_OK);
        }
        ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
    }

    Kind k{};
    std::filesystem::path clip;
    ClipTimes times;
    int atStart = 0;
    QWidget owner;
};

TEST_P(FormatTest, RendersWithItsLengthSizeAndSound)
{
    Graph g;
    ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
    REFERENCE_TIME duration = 0;
    ASSERT_EQ(g.ms->GetDuration(&duration), S_OK);
    EXPECT_NEAR(static_cast<double>(duration) / kUnits, kClipSeconds, 0.15);
    long w = 0, h = 0;
    long volume = 1;
    if (k.video) {
        ASSERT_EQ(g.bv->GetVideoSize(&w, &h), S_OK);
        EXPECT_EQ(w, k.width);
        EXPECT_EQ(h, k.height);
        EXPECT_EQ(g.vw->put_MessageDrain(&owner), S_OK);
        EXPECT_EQ(g.fs->CanStep(0, nullptr), S_OK);
    } else {
        EXPECT_EQ(g.bv->GetVideoSize(&w, &h), E_NOINTERFACE);
        EXPECT_NE(g.vw->put_MessageDrain(&owner), S_OK);
        EXPECT_EQ(g.fs->CanStep(0, nullptr), S_FALSE);
    }
    if (k.audio) {
        EXPECT_EQ(g.ba->put_Volume(-10000), S_OK);
        EXPECT_EQ(g.ba->get_Volume(&volume), S_OK);
        EXPECT_EQ(volume, -10000);
    } else {
        EXPECT_EQ(g.ba->get_Volume(&volume), E_NOTIMPL);
    }

    // Stopped at the start with the first picture shown.
    if (k.video) {
        EXPECT_EQ(g.vw->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS), S_OK);
        EXPECT_EQ(g.vw->put_Owner(&owner), S_OK);
        EXPECT_EQ(g.vw->SetWindowPosition(8, 4, 160, 128), S_OK);
        EXPECT_EQ(g.vw->put_Visible(true), S_OK);
        EXPECT_EQ(g.vw->SetWindowForeground(true), S_OK);
        EXPECT_EQ(g.vw->VideoWidget()->parentWidget(), &owner);
        EXPECT_EQ(g.vw->VideoWidget()->geometry(), QRect(8, 4, 160, 128));
    } else {
        EXPECT_EQ(g.vw->put_Owner(&owner), E_NOINTERFACE);
    }
    ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
    OAFilterState state = -1;
    EXPECT_EQ(g.mc->GetState(1000, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(g.Position(), 0);
    if (k.video) {
        EXPECT_EQ(ShownPicture(g.vw->VideoWidget()), 0);
    }
}

TEST_P(FormatTest, SeeksWhilePausedToThePictureCoveringThePosition)
{
    Graph g;
    RenderAndShow(g);
    ASSERT_EQ(g.mc->Pause(), S_OK);
    ASSERT_EQ(g.SeekTo(kSelectionStart), S_OK);
    EXPECT_NEAR(static_cast<double>(g.Position()) / kUnits, kSelectionStart, kFrame);
    if (k.video) {
        EXPECT_NEAR(ShownPicture(g.vw->VideoWidget()), atStart, 1);
    }
}

TEST_P(FormatTest, StepsOnePictureOn)
{
    Graph g;
    RenderAndShow(g);
    ASSERT_EQ(g.mc->Pause(), S_OK);
    ASSERT_EQ(g.SeekTo(kSelectionStart), S_OK);
    if (!k.video) {
        EXPECT_EQ(g.fs->Step(1, nullptr), E_FAIL) << "no pictures, nothing to step";
        return;
    }
    ASSERT_EQ(g.fs->Step(1, nullptr), S_OK);
    EXPECT_TRUE(WaitForEvent(g.me.get(), EC_STEP_COMPLETE, 5000));
    EXPECT_NEAR(ShownPicture(g.vw->VideoWidget()), atStart + 1, 1);
}

TEST_P(FormatTest, PlaysToItsEndWithTheClockAndGoesBackToTheStart)
{
    Graph g;
    RenderAndShow(g);
    ASSERT_EQ(g.mc->Pause(), S_OK);
    // Play the last half second with the clock: the end comes as EC_COMPLETE.
    ASSERT_EQ(g.SeekTo(1.5), S_OK);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(g.mc->Run(), S_OK);
    EXPECT_TRUE(WaitForEvent(g.me.get(), EC_COMPLETE, 10000));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 0.3) << "playback follows the clock";
    // Back to the start, stopped, with the first picture shown.
    EXPECT_EQ(g.mc->Stop(), S_OK);
    ASSERT_EQ(g.SeekTo(0), S_OK);
    ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
    EXPECT_EQ(g.Position(), 0);
    if (k.video) {
        EXPECT_EQ(ShownPicture(g.vw->VideoWidget()), 0);
    }
}

TEST_P(FormatTest, ConvertsFromTheSelectionStart)
{
    // Rewired while stopped, run without a clock.
    const auto mp3 = Clips().dir.path() / (std::string(k.kind) + "_conv.mp3");
    Grabbed grabbed;
    {
        Graph g;
        ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
        ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
        ASSERT_EQ(g.SeekTo(kSelectionStart), S_OK);
        ConversionRig rig;
        ASSERT_EQ(BuildConversion(g.gb.get(), mp3, grabbed, false, rig), S_OK);
        EXPECT_EQ(rig.hasVideo, k.video);
        EXPECT_EQ(rig.hasAudio, k.audio);
        ASSERT_EQ(g.mc->Run(), S_OK);
        EXPECT_TRUE(WaitForEvent(g.me.get(), EC_COMPLETE, 30000));
        g.mc->Stop();
    }
    if (k.video) {
        std::lock_guard lock(grabbed.mutex);
        EXPECT_EQ(grabbed.width, k.width);
        EXPECT_EQ(grabbed.height, k.height);
        ASSERT_FALSE(grabbed.times.empty());
        EXPECT_NEAR(grabbed.times.front(), 0.0, kFrame / 2);
        EXPECT_NEAR(grabbed.numbers.front(), atStart, 1) << "first picture is the one at the selection start";
        EXPECT_EQ(grabbed.wrongOrientation, 0) << "pictures are BGR, bottom row first";
        for (long length : grabbed.lengths) EXPECT_EQ(length, Rgb24Stride(k.width) * k.height);
        for (std::size_t i = 1; i < grabbed.times.size(); ++i)
            EXPECT_GT(grabbed.times[i], grabbed.times[i - 1]) << "picture " << grabbed.numbers[i] << " after " << grabbed.numbers[i - 1];
        EXPECT_NEAR(static_cast<double>(grabbed.times.size()), (kClipSeconds - kSelectionStart) / kFrame, 3);
    }
    if (k.audio) {
        const int frames = CountMp3Frames(mp3);
        ASSERT_GT(frames, 0) << "68-byte head, then only 384-byte 48 kHz 128 kbit/s frames";
        EXPECT_NEAR(frames * kMp3FrameSeconds, times.audioEnd - times.Origin() - kSelectionStart, 0.05);
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, FormatTest,
                         testing::Values(Kind{"mp4", true, true, 160, 128}, Kind{"mpg", true, true, 160, 128},
                                         Kind{"vob", true, true, 160, 128}, Kind{"dat", true, true, 352, 288},
                                         Kind{"wmv", true, true, 160, 128}, Kind{"asf", true, true, 160, 128},
                                         Kind{"rm", true, true, 160, 128}, Kind{"mkv", true, true, 160, 128},
                                         Kind{"avi", true, true, 160, 128}, Kind{"asx", true, true, 160, 128},
                                         Kind{"video-only", true, false, 160, 128},
                                         Kind{"audio-only", false, true, 0, 0}),
                         [](const testing::TestParamInfo<Kind>& info) {
                             std::string name = info.param.kind;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace

namespace {

// Bytes of a file, for cutting and spoiling clips.
std::vector<char> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Renders and plays a file that may be broken: it must fail, or end, within a
// bounded time; the outcome code is returned (S_OK when it played to its end).
HRESULT PlayBroken(const std::filesystem::path& path)
{
    Graph g;
    HRESULT hr = g.gb->RenderFile(path.string(), {});
    if (FAILED(hr)) return hr;
    // Without a clock the whole file goes through as fast as it decodes.
    QueryInterface<IMediaFilter>(g.gb)->SetSyncSource(nullptr);
    hr = g.mc->Run();
    if (FAILED(hr)) return hr;
    long seen = 0;
    if (WaitForEvent(g.me.get(), EC_COMPLETE, 20000, &seen)) return S_OK;
    return seen == EC_ERRORABORT ? E_FAIL : VFW_E_TIMEOUT;
}

TEST(BadInputTest, FailsOrEndsInBoundedTimeAndTheNextFileOpens)
{
    TempDir dir;
    const auto good = MakeClip(dir.path(), "mkv", 2.0);
    const auto mp4 = MakeClip(dir.path(), "mp4", 2.0);
    const auto mpg = MakeClip(dir.path(), "mpg", 2.0);
    ASSERT_FALSE(good.empty());
    ASSERT_FALSE(mp4.empty());
    ASSERT_FALSE(mpg.empty());

    {
        Graph g;
        EXPECT_EQ(g.gb->RenderFile((dir.path() / "missing.mpg").string(), {}), HRESULT_FILE_NOT_FOUND);
        EXPECT_EQ(g.gb->RenderFile(dir.path().string(), {}), HRESULT_FILE_NOT_FOUND);
        WriteBytes(dir.path() / "empty.avi", {});
        EXPECT_EQ(g.gb->RenderFile((dir.path() / "empty.avi").string(), {}), VFW_E_UNSUPPORTED_STREAM);
        std::vector<char> noise(256 * 1024);
        unsigned state = 12345;
        for (char& c : noise) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
        for (const char* name : {"noise.mp4", "noise.mpg", "noise.wmv", "noise.rm"}) {
            WriteBytes(dir.path() / name, noise);
            EXPECT_NE(PlayBroken(dir.path() / name), VFW_E_TIMEOUT) << name;
        }
        WriteBytes(dir.path() / "list.asx", {'<', 'a', 's', 'x', '>'});
        EXPECT_EQ(g.gb->RenderFile((dir.path() / "list.asx").string(), {}), VFW_E_UNSUPPORTED_STREAM);
        // Nothing was rendered, so nothing can run.
        EXPECT_EQ(g.mc->Run(), VFW_E_NOT_CONNECTED);
    }

    // An mp4 whose index (at its end) is cut off cannot be rendered: the demuxer
    // refuses it, or waits for the index until the open gives up.
    auto bytes = ReadBytes(mp4);
    bytes.resize(bytes.size() / 2);
    WriteBytes(dir.path() / "cut.mp4", bytes);
    const HRESULT cut = PlayBroken(dir.path() / "cut.mp4");
    EXPECT_TRUE(cut == VFW_E_TIMEOUT || cut == VFW_E_UNSUPPORTED_STREAM) << std::hex << cut;

    // Cut program stream and Matroska files play what they have, then end.
    bytes = ReadBytes(mpg);
    bytes.resize(bytes.size() / 2);
    WriteBytes(dir.path() / "cut.mpg", bytes);
    EXPECT_NE(PlayBroken(dir.path() / "cut.mpg"), VFW_E_TIMEOUT);
    bytes = ReadBytes(good);
    bytes.resize(bytes.size() * 2 / 3);
    WriteBytes(dir.path() / "cut.mkv", bytes);
    EXPECT_NE(PlayBroken(dir.path() / "cut.mkv"), VFW_E_TIMEOUT);

    // Garbage in the middle of the stream: an error event or an end, never a hang.
    bytes = ReadBytes(good);
    for (std::size_t i = bytes.size() / 3; i < bytes.size() * 2 / 3; ++i) bytes[i] = static_cast<char>(i * 7);
    WriteBytes(dir.path() / "spoiled.mkv", bytes);
    EXPECT_NE(PlayBroken(dir.path() / "spoiled.mkv"), VFW_E_TIMEOUT);

    // After all that a good file opens and plays to its end.
    EXPECT_EQ(PlayBroken(good), S_OK);
}

TEST(ConversionTest, FromTheStartPicturesAreBgrBottomUpTimedFromZero)
{
    const auto clip = Clips().Get("mp4");
    ASSERT_FALSE(clip.empty());
    const auto mp3 = Clips().dir.path() / "from_start.mp3";
    Grabbed grabbed;
    grabbed.takeFrom = 0.5;  // declined pictures are neither converted nor handed on
    {
        Graph g;
        ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
        ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
        ConversionRig rig;
        ASSERT_EQ(BuildConversion(g.gb.get(), mp3, grabbed, false, rig), S_OK);
        // Rewiring needs a stopped graph.
        ASSERT_EQ(g.mc->Run(), S_OK);
        IPinPtr grabberIn = GetPin(rig.grabber, PINDIR_INPUT, 0);
        EXPECT_EQ(g.gb->Disconnect(grabberIn), VFW_E_NOT_STOPPED);
        EXPECT_TRUE(WaitForEvent(g.me.get(), EC_COMPLETE, 30000));
        REFERENCE_TIME position = 0;
        g.ms->GetCurrentPosition(&position);
        EXPECT_NEAR(static_cast<double>(position) / kUnits, kClipSeconds, 0.1);
        g.mc->Stop();
    }
    std::lock_guard lock(grabbed.mutex);
    EXPECT_EQ(grabbed.offered, 50);
    ASSERT_FALSE(grabbed.times.empty());
    EXPECT_NEAR(grabbed.times.front(), 0.52, 0.001);
    EXPECT_EQ(grabbed.numbers.front(), 13);
    EXPECT_EQ(grabbed.times.size(), 37u);
    EXPECT_EQ(grabbed.wrongOrientation, 0);
    const ClipTimes times = ProbeClip(clip);
    EXPECT_NEAR(CountMp3Frames(mp3) * kMp3FrameSeconds, times.audioEnd, 0.05);
}

TEST(ConversionTest, WithMonitoringThePicturesStillReachTheVideoWindow)
{
    const auto clip = Clips().Get("mpg");
    ASSERT_FALSE(clip.empty());
    QWidget owner;
    owner.resize(160, 128);
    Grabbed grabbed;
    Graph g;
    ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
    g.vw->put_Owner(&owner);
    g.vw->SetWindowPosition(0, 0, 160, 128);
    g.vw->put_Visible(true);
    ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
    ConversionRig rig;
    ASSERT_EQ(BuildConversion(g.gb.get(), Clips().dir.path() / "monitor.mp3", grabbed, true, rig), S_OK);
    // The grabber output went to the kept renderer, not to a new one.
    EXPECT_FALSE(rig.nullRenderer);
    IBaseFilterPtr renderer = FindRenderer(g.gb.get(), MEDIATYPE_Video);
    ASSERT_TRUE(renderer);
    FILTER_INFO info;
    renderer->QueryFilterInfo(&info);
    EXPECT_EQ(info.achName, "Video Renderer");
    ASSERT_EQ(g.mc->Run(), S_OK);
    EXPECT_TRUE(WaitForEvent(g.me.get(), EC_COMPLETE, 30000));
    EXPECT_GE(ShownPicture(g.vw->VideoWidget()), 45) << "the last pictures were shown";
    std::lock_guard lock(grabbed.mutex);
    EXPECT_NEAR(static_cast<double>(grabbed.times.size()), kClipSeconds / kFrame, 2);
}

TEST(ConversionTest, OneShotHandsOverOnePictureAndEnds)
{
    const auto clip = Clips().Get("video-only");
    ASSERT_FALSE(clip.empty());
    Grabbed grabbed;
    Graph g;
    ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
    ConversionRig rig;
    ASSERT_EQ(BuildConversion(g.gb.get(), Clips().dir.path() / "unused.mp3", grabbed, false, rig), S_OK);
    auto sg = QueryInterface<ISampleGrabber>(rig.grabber);
    EXPECT_EQ(sg->SetOneShot(true), S_OK);
    EXPECT_EQ(sg->SetCallback(&grabbed, 2), E_INVALIDARG);
    ASSERT_EQ(g.SeekTo(1.0), S_OK);
    ASSERT_EQ(g.mc->Run(), S_OK);
    EXPECT_TRUE(WaitForEvent(g.me.get(), EC_COMPLETE, 10000));
    g.mc->Stop();
    std::lock_guard lock(grabbed.mutex);
    ASSERT_EQ(grabbed.numbers.size(), 1u);
    EXPECT_EQ(grabbed.numbers[0], 25);
}

// Counts notifications posted to the window.
class NotifyTarget : public QObject {
public:
    int posted = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == static_cast<QEvent::Type>(0x8001)) {
            ++posted;
            return true;
        }
        return QObject::event(e);
    }
};

// Names of the element factories in the pipeline that realises the graph.
std::vector<std::string> PipelineFactories(IUnknown* graph)
{
    std::vector<std::string> names;
    GstElement* pipeline = GraphPipelineForDiagnostics(graph);
    if (!pipeline) return names;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* f = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        if (f) names.emplace_back(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(f)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    gst_object_unref(pipeline);
    return names;
}

TEST(GraphTest, TheMpeg2DecoderFilterMakesTheRenderTakeTheThreadedDecoder)
{
    const auto clip = Clips().Get("mpg");
    ASSERT_FALSE(clip.empty());
    Graph g(true);
    ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
    ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
    const auto names = PipelineFactories(g.gb.get());
    EXPECT_NE(std::find(names.begin(), names.end(), "avdec_mpeg2video"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "mpeg2dec"), names.end());
}

TEST(GraphTest, EventsArePostedToTheWindowAndUnknownIdsRefused)
{
    const auto clip = Clips().Get("video-only");
    ASSERT_FALSE(clip.empty());
    NotifyTarget window;
    Graph g;
    ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
    ASSERT_EQ(g.me->SetNotifyWindow(&window, 0x8001, 0), S_OK);
    QueryInterface<IMediaFilter>(g.gb)->SetSyncSource(nullptr);
    ASSERT_EQ(g.mc->Run(), S_OK);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (window.posted == 0 && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    EXPECT_GE(window.posted, 1);
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(g.me->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(g.me->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    g.me->SetNotifyWindow(nullptr, 0, 0);

    IBaseFilterPtr filter;
    CLSID unknown;
    CLSIDFromString("01234567-89AB-CDEF-0123-456789ABCDEF", &unknown);
    EXPECT_EQ(CoCreateFilter(unknown, &filter), REGDB_E_CLASSNOTREG);
    GUID format = TIME_FORMAT_FRAME;
    EXPECT_EQ(g.ms->IsFormatSupported(&format), S_FALSE);
    format = TIME_FORMAT_MEDIA_TIME;
    EXPECT_EQ(g.ms->IsFormatSupported(&format), S_OK);
    std::uint32_t caps = 0;
    g.ms->GetCapabilities(&caps);
    EXPECT_TRUE(caps & AM_SEEKING_CanGetCurrentPos);
}

}  // namespace
