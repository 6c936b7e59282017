// The graph layer against real clips: render, seek, step, play and the
// conversion rewiring (grabber + MP3 chain, no clock).
#include "MediaInterfaces.h"
#include "TestClips.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

using zem::testclips::ClipTimes;
using zem::testclips::MakeClip;
using zem::testclips::ProbeClip;
using zem::testclips::PictureNumber;
using zem::testclips::TempDir;

namespace {

constexpr double kClipSeconds = 2.0;
constexpr double kFrame = 0.04;  // 25 pictures per second
constexpr REFERENCE_TIME kUnits = 10000000;
constexpr int kMp3FrameBytes = 384;
constexpr int kWavHead = 68;
constexpr double kMp3FrameSeconds = 1152.0 / 48000.0;

struct ClipSet {
    TempDir dir;
    std::map<std::string, std::filesystem::path> clips;
    std::filesystem::path Get(const std::string& kind)
    {
        auto it = clips.find(kind);
        if (it == clips.end()) it = clips.emplace(kind, MakeClip(dir.path(), kind, kClipSeconds)).first;
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

IPinPtr GetPin(const IBaseFilterPtr& filter, PIN_DIRECTION dir, int n)
{
    std::shared_ptr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(&pins))) return nullptr;
    IPinPtr pin;
    while (pins->Next(&pin) == S_OK) {
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        if (d == dir && n-- == 0) return pin;
    }
    return nullptr;
}

// A filter with exactly one input, no output, connected to the wanted major type.
IBaseFilterPtr FindRenderer(IGraphBuilder* graph, const GUID& major)
{
    std::shared_ptr<IEnumFilters> filters;
    graph->EnumFilters(&filters);
    IBaseFilterPtr filter;
    while (filters->Next(&filter) == S_OK) {
        if (!GetPin(filter, PINDIR_INPUT, 0) || GetPin(filter, PINDIR_INPUT, 1) || GetPin(filter, PINDIR_OUTPUT, 0))
            continue;
        AM_MEDIA_TYPE type;
        if (GetPin(filter, PINDIR_INPUT, 0)->ConnectionMediaType(&type) == S_OK && type.majortype == major)
            return filter;
    }
    return nullptr;
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

class FormatTest : public testing::TestWithParam<Kind> {};

TEST_P(FormatTest, RendersSeeksStepsPlaysAndConverts)
{
    const Kind k = GetParam();
    const auto clip = Clips().Get(k.kind);
    ASSERT_FALSE(clip.empty()) << "ffmpeg could not make the clip";
    const ClipTimes times = ProbeClip(k.kind == std::string("asx") ? Clips().Get("mp4") : clip);
    constexpr double kSelectionStart = 0.52;
    const int atStart = PictureAt(times, kSelectionStart);
    QWidget owner;
    owner.resize(320, 256);

    // Render: duration, native size, sound path.
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
            g.vw->put_Owner(&owner);
            g.vw->SetWindowPosition(0, 0, 160, 128);
            g.vw->put_Visible(true);
        }
        ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
        OAFilterState state = -1;
        EXPECT_EQ(g.mc->GetState(1000, &state), S_OK);
        EXPECT_EQ(state, State_Stopped);
        EXPECT_EQ(g.Position(), 0);
        if (k.video) EXPECT_EQ(ShownPicture(g.vw->VideoWidget()), 0);

        // Seek while paused: the picture covering the position is shown, and the
        // position reads back within one picture.
        ASSERT_EQ(g.mc->Pause(), S_OK);
        ASSERT_EQ(g.SeekTo(kSelectionStart), S_OK);
        EXPECT_NEAR(static_cast<double>(g.Position()) / kUnits, kSelectionStart, kFrame);
        if (k.video) {
            EXPECT_NEAR(ShownPicture(g.vw->VideoWidget()), atStart, 1);
            ASSERT_EQ(g.fs->Step(1, nullptr), S_OK);
            EXPECT_TRUE(WaitForEvent(g.me.get(), EC_STEP_COMPLETE, 5000));
            EXPECT_NEAR(ShownPicture(g.vw->VideoWidget()), atStart + 1, 1);
        }

        // Play the last half second with the clock: the end comes as EC_COMPLETE.
        ASSERT_EQ(g.SeekTo(1.5), S_OK);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(g.mc->Run(), S_OK);
        EXPECT_TRUE(WaitForEvent(g.me.get(), EC_COMPLETE, 10000));
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(took, 0.3) << "playback follows the clock";
        EXPECT_EQ(g.mc->Stop(), S_OK);
    }

    // Conversion from a selection start: rewired while stopped, run without a clock.
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
