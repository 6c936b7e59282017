// Helper routines, diagnostic files and graph state operations on real graphs.
#include "GraphLog.h"
#include "GraphState.h"
#include "MessageBoxSeam.h"
#include "TestClips.h"
#include "dshowutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

using zem::testclips::MakeClip;
using zem::testclips::TempDir;

namespace {

// Answers every message box and remembers the texts.
class BoxCatcher {
public:
    BoxCatcher() {
        m_previous = SetMessageBoxHook([this](const std::string& text, const std::string&, int) {
            texts.push_back(text);
            return IDOK;
        });
    }
    ~BoxCatcher() { SetMessageBoxHook(m_previous); }
    std::vector<std::string> texts;

private:
    MessageBoxHook m_previous;
};

// Points HOME at a temporary folder for the lifetime of the object.
class TempHome {
public:
    TempHome() : m_old(std::getenv("HOME") ? std::getenv("HOME") : "") { setenv("HOME", m_dir.path().c_str(), 1); }
    ~TempHome() { setenv("HOME", m_old.c_str(), 1); }
    const std::filesystem::path& path() const { return m_dir.path(); }

private:
    TempDir m_dir;
    std::string m_old;
};

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        files.push_back(entry.path());
    return files;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ReportFailureTest, CutsLongTextsAndShowsOneBox) {
    BoxCatcher boxes;
    const std::string longText(1500, 'x');
    ReportFailure("%s", longText.c_str());
    ReportFailure("*** Failed(%08lx) in RenderFile(%s)!\r\n", 0x80040218UL, "a.mpg");
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[0].size(), kFailureTextMax);
    EXPECT_EQ(boxes.texts[1], "*** Failed(80040218) in RenderFile(a.mpg)!\r\n");
}

TEST(CreateFilterTest, KnownIdsMakeFiltersUnknownOnesAreReported) {
    BoxCatcher boxes;
    IBaseFilterPtr filter;
    CLSID id;
    ASSERT_EQ(CLSIDFromString("B8D27088-DF5F-4B7C-98DC-0E91A1696286", &id), S_OK);
    EXPECT_EQ(id, CLSID_Mp3Encoder);
    ASSERT_EQ(CLSIDFromString("{C1F400A0-3F08-11D3-9F0B-006008039E37}", &id), S_OK);
    EXPECT_EQ(id, CLSID_SampleGrabber);
    EXPECT_EQ(CreateFilter(id, &filter), S_OK);
    EXPECT_TRUE(QueryInterface<ISampleGrabber>(filter));
    EXPECT_TRUE(boxes.texts.empty());

    EXPECT_EQ(CLSIDFromString("not-a-class-id", &id), E_INVALIDARG);
    ASSERT_EQ(CLSIDFromString("00000000-1111-2222-3333-444444444444", &id), S_OK);
    EXPECT_TRUE(FAILED(CreateFilter(id, &filter)));
    EXPECT_FALSE(filter);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0].rfind("CreateFilter: Failed to create filter!  hr=0x8", 0), 0u);
}

TEST(RenderOutputPinsTest, RendersFreeOutputsThenLeavesAConnectedFilterAlone) {
    TempDir dir;
    const auto clip = MakeClip(dir.path(), "wmv", 1.0);
    ASSERT_FALSE(clip.empty());
    std::shared_ptr<IGraphBuilder> graph;
    ASSERT_EQ(CreateFilterGraph(&graph), S_OK);
    IBaseFilterPtr reader;
    ASSERT_EQ(CreateFilter(CLSID_WMAsfReader, &reader), S_OK);
    ASSERT_EQ(graph->AddFilter(reader, "ASF Reader"), S_OK);
    ASSERT_EQ(QueryInterface<IFileSourceFilter>(reader)->Load(clip.string(), nullptr), S_OK);
    EXPECT_EQ(RenderOutputPins(graph.get(), reader.get()), S_FALSE);
    // Every output is connected now: the second walk changes nothing and also ends with S_FALSE.
    int filtersBefore = 0;
    std::shared_ptr<IEnumFilters> filters;
    graph->EnumFilters(&filters);
    for (IBaseFilterPtr f; filters->Next(&f) == S_OK;)
        ++filtersBefore;
    EXPECT_EQ(filtersBefore, 3); // reader, video renderer, audio renderer
    EXPECT_EQ(RenderOutputPins(graph.get(), reader.get()), S_FALSE);
    graph->EnumFilters(&filters);
    int filtersAfter = 0;
    for (IBaseFilterPtr f; filters->Next(&f) == S_OK;)
        ++filtersAfter;
    EXPECT_EQ(filtersAfter, filtersBefore);
    auto control = QueryInterface<IMediaControl>(graph);
    EXPECT_EQ(control->StopWhenReady(), S_OK);
}

TEST(MediaTypeTest, FreeingContentsKeepsTheRecord) {
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.cbFormat = 88;
    type.pbFormat = std::make_unique<std::uint8_t[]>(88);
    type.pUnk = std::make_shared<int>(1);
    FreeMediaTypeContents(type);
    EXPECT_EQ(type.cbFormat, 0u);
    EXPECT_FALSE(type.pbFormat);
    EXPECT_FALSE(type.pUnk);
    EXPECT_EQ(type.majortype, MEDIATYPE_Video);
}

TEST(DiagnosticLogTest, WrittenOnlyWhenTheFoldersExist) {
    TempHome home;
    TempDir dir;
    const auto clip = MakeClip(dir.path(), "mp4", 1.0);
    ASSERT_FALSE(clip.empty());
    std::shared_ptr<IGraphBuilder> graph;
    ASSERT_EQ(CreateFilterGraph(&graph), S_OK);

    // No folders: nothing is written, nothing is said.
    BoxCatcher boxes;
    GraphLogFile log;
    OpenGraphLog(log, graph.get());
    EXPECT_FALSE(log.IsOpen());
    ASSERT_EQ(graph->RenderFile(clip.string(), {}), S_OK);
    SaveGraphSnapshot(graph.get(), "After_RenderFile()");
    CloseGraphLog(log, graph.get());
    EXPECT_FALSE(std::filesystem::exists(home.path() / "ZemConverter"));

    // With the folders: one log with the graph's trace, one snapshot per label.
    std::filesystem::create_directories(GraphLogFolder());
    std::filesystem::create_directories(GraphSnapshotFolder());
    std::shared_ptr<IGraphBuilder> second;
    ASSERT_EQ(CreateFilterGraph(&second), S_OK);
    OpenGraphLog(log, second.get());
    ASSERT_TRUE(log.IsOpen());
    ASSERT_EQ(second->RenderFile(clip.string(), {}), S_OK);
    SaveGraphSnapshot(second.get(), "After_RenderFile()");
    ASSERT_EQ(QueryInterface<IMediaControl>(second)->StopWhenReady(), S_OK);
    SaveGraphSnapshot(second.get(), "Before_pMC_Run()");
    CloseGraphLog(log, second.get());
    EXPECT_FALSE(log.IsOpen());
    EXPECT_TRUE(boxes.texts.empty());

    const auto logs = FilesIn(GraphLogFolder());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(std::regex_match(logs[0].filename().string(), std::regex(R"(ZemConverter_\d{8}_\d{6}_\d{3}\.doc)")));
    const std::string trace = ReadAll(logs[0]);
    EXPECT_NE(trace.find("RenderFile"), std::string::npos);
    EXPECT_NE(trace.find("Connected"), std::string::npos);

    auto snapshots = FilesIn(GraphSnapshotFolder());
    ASSERT_EQ(snapshots.size(), 2u);
    std::sort(snapshots.begin(), snapshots.end());
    for (const auto& s : snapshots)
        EXPECT_TRUE(std::regex_match(
            s.filename().string(),
            std::regex(R"(ZemConverter_\d{8}_\d{6}_\d{3}_(After_RenderFile|Before_pMC_Run)\(\)\.grf)")));
    const std::string shot =
        ReadAll(snapshots[0].string().find("Before") != std::string::npos ? snapshots[0] : snapshots[1]);
    EXPECT_NE(shot.find("Video Renderer"), std::string::npos);
    EXPECT_NE(shot.find("uridecodebin"), std::string::npos) << "the realised pipeline follows the filter graph";
}

TEST(DiagnosticLogTest, NamesCarryTheUtcTimeToTheMillisecond) {
    using namespace std::chrono;
    // 2007-12-31 23:59:59.042 UTC
    const system_clock::time_point t = system_clock::from_time_t(1199145599) + milliseconds(42);
    EXPECT_EQ(GraphLogFileName(t), "ZemConverter_20071231_235959_042.doc");
    EXPECT_EQ(GraphSnapshotFileName(t, "After_AddFilters"), "ZemConverter_20071231_235959_042_After_AddFilters.grf");
}

TEST(GraphStateTest, StateFollowsSuccessfulCallsAndMuteCarriesOver) {
    TempDir dir;
    const auto clip = MakeClip(dir.path(), "mp4", 1.0);
    const auto silent = MakeClip(dir.path(), "video-only", 1.0);
    ASSERT_FALSE(clip.empty());
    ASSERT_FALSE(silent.empty());
    BoxCatcher boxes;
    g_playState = kPlayStopped;

    // Empty handles: nothing happens.
    RunGraph(nullptr);
    SetMute(nullptr, true);
    EXPECT_EQ(g_playState, kPlayStopped);

    std::shared_ptr<IGraphBuilder> graph;
    ASSERT_EQ(CreateFilterGraph(&graph), S_OK);
    ASSERT_EQ(graph->RenderFile(clip.string(), {}), S_OK);
    auto control = QueryInterface<IMediaControl>(graph);
    PauseGraph(control.get()); // only from Running
    EXPECT_EQ(g_playState, kPlayStopped);
    RunGraph(control.get());
    EXPECT_EQ(g_playState, kPlayRunning);
    PauseGraph(control.get());
    EXPECT_EQ(g_playState, kPlayPaused);
    OAFilterState state;
    control->GetState(1000, &state);
    EXPECT_EQ(state, State_Paused);
    StopGraph(control.get());
    EXPECT_EQ(g_playState, kPlayStopped);

    g_muted = 1;
    SetMute(graph.get(), true);
    long volume = 0;
    ASSERT_EQ(QueryInterface<IBasicAudio>(graph)->get_Volume(&volume), S_OK);
    EXPECT_EQ(volume, -10000);
    SetMute(graph.get(), false);
    QueryInterface<IBasicAudio>(graph)->get_Volume(&volume);
    EXPECT_EQ(volume, 0);

    // A file without sound: left alone without a box.
    std::shared_ptr<IGraphBuilder> quiet;
    ASSERT_EQ(CreateFilterGraph(&quiet), S_OK);
    ASSERT_EQ(quiet->RenderFile(silent.string(), {}), S_OK);
    SetMute(quiet.get(), true);
    EXPECT_TRUE(boxes.texts.empty());

    // A failing Run is reported and leaves the state alone: a graph without a source cannot run.
    std::shared_ptr<IGraphBuilder> empty;
    ASSERT_EQ(CreateFilterGraph(&empty), S_OK);
    RunGraph(QueryInterface<IMediaControl>(empty).get());
    EXPECT_EQ(g_playState, kPlayStopped);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "\r\n*** Failed(80040209) in Run()!\r\n");
    g_muted = 0;
}

} // namespace
