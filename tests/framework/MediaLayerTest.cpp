// The graph layer against real clips: broken inputs, the conversion rewiring
// (grabber + MP3 chain, no clock), monitoring, one-shot grabbing and the
// graph's events.
#include "MediaTestRig.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QThread>
#include <QWidget>

#include <gst/gst.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

using namespace zem::mediatest;

namespace {

// Bytes of a file, for cutting and spoiling clips.
std::vector<char> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Renders and plays a file that may be broken: it must fail, or end, within a
// bounded time; the outcome code is returned (S_OK when it played to its end).
HRESULT PlayBroken(const std::filesystem::path& path) {
    Graph g;
    HRESULT hr = g.gb->RenderFile(path.string(), {});
    if (FAILED(hr))
        return hr;
    // Without a clock the whole file goes through as fast as it decodes.
    QueryInterface<IMediaFilter>(g.gb)->SetSyncSource(nullptr);
    hr = g.mc->Run();
    if (FAILED(hr))
        return hr;
    long seen = 0;
    if (WaitForEvent(g.me.get(), EC_COMPLETE, 20000, &seen))
        return S_OK;
    return seen == EC_ERRORABORT ? E_FAIL : VFW_E_TIMEOUT;
}

TEST(BadInputTest, FailsOrEndsInBoundedTimeAndTheNextFileOpens) {
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
        for (char& c : noise)
            c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
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
    for (std::size_t i = bytes.size() / 3; i < bytes.size() * 2 / 3; ++i)
        bytes[i] = static_cast<char>(i * 7);
    WriteBytes(dir.path() / "spoiled.mkv", bytes);
    EXPECT_NE(PlayBroken(dir.path() / "spoiled.mkv"), VFW_E_TIMEOUT);

    // After all that a good file opens and plays to its end.
    EXPECT_EQ(PlayBroken(good), S_OK);
}

TEST(ConversionTest, FromTheStartPicturesAreBgrBottomUpTimedFromZero) {
    const auto clip = Clips().Get("mp4");
    ASSERT_FALSE(clip.empty());
    const auto mp3 = Clips().dir.path() / "from_start.mp3";
    Grabbed grabbed;
    grabbed.takeFrom = 0.5; // declined pictures are neither converted nor handed on
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

TEST(ConversionTest, WithMonitoringThePicturesStillReachTheVideoWindow) {
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
    EXPECT_EQ(ShownPicture(g.vw->VideoWidget()), static_cast<int>(kClipSeconds / kFrame) - 1)
        << "the last picture was shown";
    std::lock_guard lock(grabbed.mutex);
    EXPECT_NEAR(static_cast<double>(grabbed.times.size()), kClipSeconds / kFrame, 2);
}

TEST(ConversionTest, OneShotHandsOverOnePictureAndEnds) {
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
    bool event(QEvent* e) override {
        if (e->type() == static_cast<QEvent::Type>(0x8001)) {
            ++posted;
            return true;
        }
        return QObject::event(e);
    }
};

// Names of the element factories in the pipeline that realises the graph.
std::vector<std::string> PipelineFactories(IUnknown* graph) {
    std::vector<std::string> names;
    GstElement* pipeline = GraphPipelineForDiagnostics(graph);
    if (!pipeline)
        return names;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* f = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        if (f)
            names.emplace_back(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(f)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    gst_object_unref(pipeline);
    return names;
}

TEST(GraphTest, TheMpeg2DecoderFilterMakesTheRenderTakeTheThreadedDecoder) {
    const auto clip = Clips().Get("mpg");
    ASSERT_FALSE(clip.empty());
    Graph g(true);
    ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
    ASSERT_EQ(g.mc->StopWhenReady(), S_OK);
    const auto names = PipelineFactories(g.gb.get());
    EXPECT_NE(std::find(names.begin(), names.end(), "avdec_mpeg2video"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "mpeg2dec"), names.end());
}

TEST(GraphTest, EventsArePostedToTheWindowAndUnknownIdsRefused) {
    const auto clip = Clips().Get("video-only");
    ASSERT_FALSE(clip.empty());
    NotifyTarget window;
    Graph g;
    ASSERT_EQ(g.gb->RenderFile(clip.string(), {}), S_OK);
    ASSERT_EQ(g.me->SetNotifyWindow(&window, 0x8001, 0), S_OK);
    // Each event is named in the graph's log.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(log);
    g.gb->SetLogFile(log.get());
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
    g.gb->SetLogFile(nullptr);
    std::rewind(log.get());
    std::string trace;
    for (int c; (c = std::fgetc(log.get())) != EOF;)
        trace += static_cast<char>(c);
    EXPECT_NE(trace.find("EC_COMPLETE\n"), std::string::npos);

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

} // namespace
