#pragma once
// What the media tests share: clips made once a run, a graph with its
// interfaces, the conversion rewiring with a grabber that reads the counter
// pattern back, and waiting for graph events.
#include "GraphHelpers.h"
#include "MediaInterfaces.h"
#include "TestClips.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

namespace zem::mediatest {

using zem::test::FindRenderer;
using zem::test::GetPin;
using zem::testclips::ClipTimes;
using zem::testclips::kCounterCycle;
using zem::testclips::MakeClip;
using zem::testclips::PictureNumber;
using zem::testclips::ProbeClip;
using zem::testclips::TempDir;

inline constexpr double kClipSeconds = 2.0;
inline constexpr double kFrame = 0.04; // 25 pictures per second
inline constexpr REFERENCE_TIME kUnits = 10000000;
inline constexpr int kMp3FrameBytes = 384;
inline constexpr int kWavHead = 68;
inline constexpr double kMp3FrameSeconds = 1152.0 / 48000.0;

// Each test runs in a process of its own, so the clips are kept on disk and
// made once for a whole run of the suite: in a folder of the build tree that a
// ctest fixture empties first (tests/framework/CMakeLists.txt).
inline std::filesystem::path CachedClip(const std::string& kind) {
    const std::filesystem::path folder = std::filesystem::path(ZEM_CLIP_CACHE_DIR) / kind;
    const auto read = [&folder]() -> std::filesystem::path {
        std::ifstream marker(folder / "clip.txt");
        std::string name;
        if (!std::getline(marker, name) || name.empty())
            return {};
        return folder / name;
    };
    if (auto clip = read(); !clip.empty())
        return clip;
    // Made aside and moved in whole, so a parallel test sees all of it or none.
    std::error_code ec;
    std::filesystem::create_directories(folder.parent_path(), ec);
    const auto aside = folder.parent_path() / (kind + ".making." + std::to_string(::getpid()));
    std::filesystem::remove_all(aside, ec);
    std::filesystem::create_directories(aside, ec);
    const auto made = MakeClip(aside, kind, kClipSeconds);
    if (made.empty())
        return {};
    std::ofstream(aside / "clip.txt") << made.filename().string() << "\n";
    std::filesystem::rename(aside, folder, ec);
    if (ec)
        std::filesystem::remove_all(aside, ec); // another test was first
    return read();
}

struct ClipSet {
    TempDir dir; // what the tests write
    std::map<std::string, std::filesystem::path> clips;
    std::filesystem::path Get(const std::string& kind) {
        auto it = clips.find(kind);
        if (it == clips.end())
            it = clips.emplace(kind, CachedClip(kind)).first;
        return it->second;
    }
};

inline ClipSet& Clips() {
    static ClipSet set;
    return set;
}

// Waits for one event code; any error event ends the wait with false.
inline bool WaitForEvent(IMediaEventEx* events, long wanted, int timeoutMs, long* seen = nullptr) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        if (events->GetEvent(&code, &p1, &p2, static_cast<long>(left.count())) != S_OK)
            return false;
        events->FreeEventParams(code, p1, p2);
        if (seen)
            *seen = code;
        if (code == wanted)
            return true;
        if (code == EC_ERRORABORT)
            return false;
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
    double takeFrom = -1.0; // pictures before this time are declined

    HRESULT SampleCB(double, IMediaSample*) override { return S_OK; }
    bool WillTakeSample(double t) override {
        std::lock_guard lock(mutex);
        ++offered;
        return t >= takeFrom;
    }
    HRESULT BufferCB(double t, std::uint8_t* buffer, long length) override {
        std::lock_guard lock(mutex);
        times.push_back(t);
        lengths.push_back(length);
        const int stride = Rgb24Stride(width);
        const std::uint8_t* bottom = buffer + (width / 2) * 3; // first stored row = bottom of the picture
        const std::uint8_t* top = buffer + static_cast<std::size_t>(height - 1) * stride + (width / 2) * 3;
        // Rows are stored bottom first.
        numbers.push_back(PictureNumber([&](double x, double y) {
            const auto row = static_cast<std::size_t>(height - 1 - static_cast<int>(y * height));
            return int(buffer[row * stride + static_cast<std::size_t>(x * width) * 3 + 1]);
        }));
        // The top band is blue: byte 0 (blue) high, byte 2 (red) low.
        if (!(top[0] > 150 && top[2] < 100 && std::abs(bottom[0] - bottom[2]) < 24))
            ++wrongOrientation;
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
inline HRESULT BuildConversion(IGraphBuilder* graph, const std::filesystem::path& mp3, Grabbed& grabbed,
                               bool monitoring, ConversionRig& rig) {
    IBaseFilterPtr videoRenderer = FindRenderer(graph, MEDIATYPE_Video);
    IBaseFilterPtr audioRenderer = FindRenderer(graph, MEDIATYPE_Audio);
    rig.hasVideo = videoRenderer != nullptr;
    rig.hasAudio = audioRenderer != nullptr;
    HRESULT hr;
    if (rig.hasAudio) {
        if (FAILED(hr = CoCreateFilter(CLSID_AudioProcessor, &rig.processor)))
            return hr;
        if (FAILED(hr = graph->AddFilter(rig.processor, "MP3 Encoder")))
            return hr;
        if (FAILED(hr = CoCreateFilter(CLSID_Mp3Encoder, &rig.encoder)))
            return hr;
        if (FAILED(hr = graph->AddFilter(rig.encoder, "MP3 Encoder")))
            return hr;
        if (FAILED(hr = CoCreateFilter(CLSID_WavDest, &rig.wavDest)))
            return hr;
        if (FAILED(hr = graph->AddFilter(rig.wavDest, "WAV Dest")))
            return hr;
        if (FAILED(hr = CoCreateFilter(CLSID_FileWriter, &rig.writer)))
            return hr;
        if (FAILED(hr = graph->AddFilter(rig.writer, "File Writer")))
            return hr;
        if (FAILED(hr = QueryInterface<IFileSinkFilter>(rig.writer)->SetFileName(mp3.string(), nullptr)))
            return hr;
    }
    if (rig.hasVideo) {
        if (FAILED(hr = CoCreateFilter(CLSID_SampleGrabber, &rig.grabber)))
            return hr;
        AM_MEDIA_TYPE type;
        type.majortype = MEDIATYPE_Video;
        type.subtype = MEDIASUBTYPE_RGB24;
        if (FAILED(hr = QueryInterface<ISampleGrabber>(rig.grabber)->SetMediaType(&type)))
            return hr;
        if (FAILED(hr = graph->AddFilter(rig.grabber, "VideoGrabber")))
            return hr;
        IPinPtr rendererIn = GetPin(videoRenderer, PINDIR_INPUT, 0);
        IPinPtr videoOut;
        if (FAILED(hr = rendererIn->ConnectedTo(&videoOut)))
            return hr;
        if (FAILED(hr = graph->Disconnect(videoOut)))
            return hr;
        if (FAILED(hr = graph->Disconnect(rendererIn)))
            return hr;
        if (!monitoring) {
            if (FAILED(hr = graph->RemoveFilter(videoRenderer)))
                return hr;
            if (FAILED(hr = CoCreateFilter(CLSID_NullRenderer, &rig.nullRenderer)))
                return hr;
            if (FAILED(hr = graph->AddFilter(rig.nullRenderer, "Null Renderer")))
                return hr;
        }
        if (FAILED(hr = graph->Connect(videoOut, GetPin(rig.grabber, PINDIR_INPUT, 0))))
            return hr;
    }
    if (rig.hasAudio) {
        IPinPtr rendererIn = GetPin(audioRenderer, PINDIR_INPUT, 0);
        IPinPtr audioOut;
        if (FAILED(hr = rendererIn->ConnectedTo(&audioOut)))
            return hr;
        if (FAILED(hr = graph->Disconnect(audioOut)))
            return hr;
        if (FAILED(hr = graph->Disconnect(rendererIn)))
            return hr;
        if (FAILED(hr = graph->Connect(audioOut, GetPin(rig.processor, PINDIR_INPUT, 0))))
            return hr;
        if (FAILED(hr = graph->Connect(GetPin(rig.processor, PINDIR_OUTPUT, 0), GetPin(rig.encoder, PINDIR_INPUT, 0))))
            return hr;
        if (FAILED(hr = graph->Connect(GetPin(rig.encoder, PINDIR_OUTPUT, 0), GetPin(rig.wavDest, PINDIR_INPUT, 0))))
            return hr;
        if (FAILED(hr = graph->Connect(GetPin(rig.wavDest, PINDIR_OUTPUT, 0), GetPin(rig.writer, PINDIR_INPUT, 0))))
            return hr;
    }
    if (rig.hasVideo) {
        if (FAILED(hr = graph->Render(GetPin(rig.grabber, PINDIR_OUTPUT, 0))))
            return hr;
        auto sg = QueryInterface<ISampleGrabber>(rig.grabber);
        AM_MEDIA_TYPE connected;
        if (FAILED(hr = sg->GetConnectedMediaType(&connected)))
            return hr;
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
inline int CountMp3Frames(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < kWavHead || std::string(data.begin(), data.begin() + 4) != "RIFF" ||
        std::string(data.begin() + 8, data.begin() + 12) != "WAVE")
        return -1;
    if ((data.size() - kWavHead) % kMp3FrameBytes != 0)
        return -1;
    int frames = 0;
    for (std::size_t at = kWavHead; at < data.size(); at += kMp3FrameBytes, ++frames) {
        // Sync, MPEG-1, layer III, no CRC; bitrate index 9 (128k), rate index 1 (48k), no padding.
        if (data[at] != 0xFF || data[at + 1] != 0xFB || (data[at + 2] & 0xFE) != 0x94)
            return -1;
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
    explicit Graph(bool withMpeg2Decoder = true) {
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
    REFERENCE_TIME Position() const {
        REFERENCE_TIME p = -1;
        ms->GetCurrentPosition(&p);
        return p;
    }
    HRESULT SeekTo(double seconds) {
        REFERENCE_TIME t = static_cast<REFERENCE_TIME>(seconds * kUnits);
        return ms->SetPositions(&t, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    }
};

// Picture number shown in the video widget.
inline int ShownPicture(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    return PictureNumber(
        [&](double x, double y) { return qGreen(image.pixel(int(x * image.width()), int(y * image.height()))); });
}

// The picture that covers a position (seconds from the clip's position 0).
inline int PictureAt(const ClipTimes& times, double position) {
    if (times.pictureTimes.empty())
        return static_cast<int>(std::floor((position - (times.videoStart - times.Origin())) / kFrame + 1e-6));
    const double time = position + times.Origin() + 1e-6;
    return static_cast<int>(std::upper_bound(times.pictureTimes.begin(), times.pictureTimes.end(), time) -
                            times.pictureTimes.begin()) -
           1;
}

// The time from picture n to the next (seconds).
inline double PictureLength(const ClipTimes& times, int n) {
    const auto next = static_cast<std::size_t>(n) + 1;
    return next < times.pictureTimes.size() ? times.pictureTimes[next] - times.pictureTimes[next - 1] : kFrame;
}

} // namespace zem::mediatest
