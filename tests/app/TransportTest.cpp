// The preview's transport row on real clips: Play, Pause, Stop, Frame Step
// and Mute, the position slider's seeking, the selection buttons that mark a
// row's range (and the conversion of only that range), and the return to the
// first picture at the end of a previewed file.

#include "AppTestSupport.h"
#include "AviParse.h"
#include "GraphState.h"
#include "NiceSliderCtrl.h"
#include "TestClips.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;
using apptest::Path;

using apptest::WindowFixture;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kTicksPerPicture = kTicksPerSecond / 25;
// How long playing may take to show what is waited for, on a busy machine.
constexpr int kPlayWaitMs = 10000;

// Handles the window's events for `ms` milliseconds.
void Spin(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
}

// Handles events until `done` holds or `ms` milliseconds have passed.
bool SpinUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

void Click(CCompressorDlg& window, int id) {
    window.ControlAs<QAbstractButton>(id)->click();
}

int64_t Position(CCompressorDlg& window) {
    REFERENCE_TIME position = -1;
    EXPECT_TRUE(SUCCEEDED(window.Session().Handles().pMS->GetCurrentPosition(&position)));
    return position;
}

// The counter number of the picture in the video area.
int ShownPicture(CCompressorDlg& window) {
    QCoreApplication::processEvents();
    QWidget* video = window.Session().Handles().pVW->VideoWidget();
    if (video == nullptr)
        return -1;
    const QImage image = video->grab().toImage();
    return zem::testclips::PictureNumber(
        [&](double x, double y) { return qGreen(image.pixel(int(x * image.width()), int(y * image.height()))); });
}

long Volume(CCompressorDlg& window) {
    const auto audio = QueryInterface<IBasicAudio>(window.Session().Handles().pGB);
    long volume = 1;
    EXPECT_TRUE(audio && SUCCEEDED(audio->get_Volume(&volume)));
    return volume;
}

QString PositionText(CCompressorDlg& window) {
    return window.ControlAs<QLabel>(IDC_POSITION)->text();
}

// Clicks the slider at `fraction` of its channel (the thumb's travel).
void ClickSlider(CCompressorDlg& window, double fraction) {
    auto* slider = window.ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER);
    // Ends of the thumb's travel: a press there gives the slider's minimum or maximum.
    int left = 0;
    int right = slider->width() - 1;
    while (left < right && (slider->MoveThumbToPoint({left + 1, 0}), slider->value() == 0))
        ++left;
    while (right > left && (slider->MoveThumbToPoint({right - 1, 0}), slider->value() == 100))
        --right;
    slider->setValue(fraction < 0.5 ? 100 : 0); // so that the click moves it
    const int x = left + int(std::lround((right - left) * fraction));
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, slider->height() / 2));
}

// The sound outputs the transport is checked with: autoaudiosink's fake sink
// (what a machine without any output gets) and OpenAL on its null device, a
// real output whose clock runs on while the pipeline is paused.
struct OutputKind {
    const char* name;
    bool openal;
};

void PrintTo(const OutputKind& output, std::ostream* out) {
    *out << output.name;
}

// Makes autoaudiosink take the sound output asked for, for the test's lifetime.
class SoundOutputChoice {
public:
    explicit SoundOutputChoice(const OutputKind& output) {
        gst_init(nullptr, nullptr);
        if (output.openal)
            g_setenv("ALSOFT_DRIVERS", "null", TRUE); // read when OpenAL first opens a device
        GList* sinks = gst_element_factory_list_get_elements(
            GST_ELEMENT_FACTORY_TYPE_SINK | GST_ELEMENT_FACTORY_TYPE_MEDIA_AUDIO, GST_RANK_NONE);
        for (GList* item = sinks; item; item = item->next) {
            auto* feature = GST_PLUGIN_FEATURE(item->data);
            m_ranks.emplace_back(GST_PLUGIN_FEATURE(gst_object_ref(feature)), gst_plugin_feature_get_rank(feature));
            const bool wanted = output.openal && std::string(GST_OBJECT_NAME(feature)) == "openalsink";
            m_found |= wanted;
            gst_plugin_feature_set_rank(feature, wanted ? GST_RANK_PRIMARY + 100 : GST_RANK_NONE);
        }
        gst_plugin_feature_list_free(sinks);
        m_found |= !output.openal;
    }
    ~SoundOutputChoice() {
        for (auto& [feature, rank] : m_ranks) {
            gst_plugin_feature_set_rank(feature, rank);
            gst_object_unref(feature);
        }
    }
    SoundOutputChoice(const SoundOutputChoice&) = delete;
    SoundOutputChoice& operator=(const SoundOutputChoice&) = delete;
    bool Found() const { return m_found; }

private:
    std::vector<std::pair<GstPluginFeature*, guint>> m_ranks;
    bool m_found = false;
};

// A transport sequence: the buttons clicked in turn ('p' Play, 'a' Pause,
// 's' Frame Step, 'x' Stop). After each click the picture on screen and the
// position are checked against what the click must give.
const char* const kSequences[] = {
    "paaasspax", // play, pause, resume, pause, step, step, play, pause, stop
    "ssapassx",  // stepping from the stopped start; Play while playing does nothing
    "passxsppx", // a step after Stop starts from the first picture again
    "aspaaasx",  // Pause on a stopped graph does nothing
};

} // namespace

class TransportSequences : public testing::TestWithParam<OutputKind> {};

TEST_P(TransportSequences, KeepThePictureAndThePositionTogether) {
    SoundOutputChoice output(GetParam());
    ASSERT_TRUE(output.Found()) << "openalsink is missing (gstreamer1.0-plugins-bad)";
    apptest::ClipWindow w;
    // Its pictures lie at whole multiples of a picture's time from 0 (an AVI
    // made by ffmpeg leaves the second one out).
    ASSERT_TRUE(apptest::OpenClipWindow(w, "mp4", 4.0));
    auto& window = w.window;
    // Said once when the preview has no sound output, nothing when it has one.
    const QString silent = QStringLiteral("No sound output: the preview plays without sound");
    EXPECT_EQ(window->m_messageText == silent, !GetParam().openal) << window->m_messageText.toStdString();

    // The picture the position lies in, as the counter numbers it.
    const auto pictureAt = [](int64_t position) { return int(position / kTicksPerPicture); };
    constexpr int kCycle = zem::testclips::kCounterCycle;
    for (const char* sequence : kSequences) {
        SCOPED_TRACE(sequence);
        Click(*window, IDC_STOP);
        int playState = kPlayStopped;
        int base = 0; // the picture on screen when last paused or stopped
        for (const char* click = sequence; *click; ++click) {
            SCOPED_TRACE(std::string("click ") + std::to_string(click - sequence) + " '" + *click + "'");
            const bool running = playState == kPlayRunning;
            switch (*click) {
            case 'p':
                Click(*window, IDC_PLAY);
                playState = kPlayRunning;
                break;
            case 'a':
                Click(*window, IDC_PAUSE);
                playState = playState == kPlayPaused    ? kPlayRunning
                            : playState == kPlayRunning ? kPlayPaused
                                                        : kPlayStopped;
                break;
            case 's':
                Click(*window, IDC_FRAME_STEP);
                playState = kPlayPaused;
                break;
            case 'x':
                Click(*window, IDC_STOP);
                playState = kPlayStopped;
                break;
            }
            EXPECT_EQ(g_playState, playState);
            if (playState == kPlayRunning) {
                // Playing shows the pictures after the one it started at.
                const auto ahead = [&] {
                    const int moved = (ShownPicture(*window) - base % kCycle + kCycle) % kCycle;
                    return moved >= 3 && moved < kCycle / 2;
                };
                EXPECT_TRUE(SpinUntil(ahead, kPlayWaitMs));
                continue;
            }
            const int64_t position = Position(*window);
            const int shown = ShownPicture(*window);
            // The position lies in the picture on screen.
            EXPECT_EQ(shown, pictureAt(position) % zem::testclips::kCounterCycle) << position;
            if (playState == kPlayStopped) {
                EXPECT_EQ(position, 0);
                EXPECT_EQ(shown, 0);
            } else if (*click == 's' && !running) {
                // Exactly the next picture, and the position at its start.
                EXPECT_EQ(pictureAt(position), base + 1);
                EXPECT_EQ(position % kTicksPerPicture, 0) << position;
            } else {
                EXPECT_GT(pictureAt(position), base);
            }
            base = pictureAt(position);
        }
    }
    Click(*window, IDC_STOP);
}

INSTANTIATE_TEST_SUITE_P(Transport, TransportSequences,
                         testing::Values(OutputKind{"fake", false}, OutputKind{"openal", true}),
                         [](const testing::TestParamInfo<OutputKind>& info) { return std::string(info.param.name); });

TEST(Transport, PlayPauseAndStop) {
    apptest::ClipWindow w;
    ASSERT_TRUE(apptest::OpenClipWindow(w, "avi", 2.0));
    auto& window = w.window;
    const int first = ShownPicture(*window);
    EXPECT_EQ(PositionText(*window), QStringLiteral("00:00"));
    EXPECT_EQ(g_playState, kPlayStopped);

    // Play: the timer runs and moves the slider and the position label on.
    Click(*window, IDC_PLAY);
    EXPECT_EQ(g_playState, kPlayRunning);
    EXPECT_NE(window->m_timerId, 0);
    // Paused as soon as the timer has shown the second second.
    ASSERT_TRUE(SpinUntil([&] { return PositionText(*window) == QStringLiteral("00:01"); }, kPlayWaitMs));
    Click(*window, IDC_PAUSE);
    EXPECT_EQ(g_playState, kPlayPaused);
    EXPECT_EQ(window->m_timerId, 0);
    const int64_t paused = Position(*window);
    EXPECT_GT(paused, kTicksPerSecond);
    EXPECT_LT(paused, 2 * kTicksPerSecond);
    EXPECT_EQ(PositionText(*window), QStringLiteral("00:01"));
    EXPECT_GT(window->ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER)->value(), 40);
    // Paused: the position stays.
    Spin(300);
    EXPECT_EQ(Position(*window), paused);

    // Pause again runs on; and again pauses.
    Click(*window, IDC_PAUSE);
    EXPECT_EQ(g_playState, kPlayRunning);
    EXPECT_NE(window->m_timerId, 0);
    Click(*window, IDC_PAUSE);
    EXPECT_EQ(g_playState, kPlayPaused);

    // Stop: back at 00:00 with the first picture, timer off.
    Click(*window, IDC_STOP);
    EXPECT_EQ(g_playState, kPlayStopped);
    EXPECT_EQ(window->m_timerId, 0);
    EXPECT_EQ(Position(*window), 0);
    EXPECT_EQ(PositionText(*window), QStringLiteral("00:00"));
    EXPECT_EQ(window->ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER)->value(), 0);
    EXPECT_EQ(ShownPicture(*window), first);

    // Pause on a stopped graph only stops the timer.
    Click(*window, IDC_PAUSE);
    EXPECT_EQ(g_playState, kPlayStopped);
    EXPECT_EQ(window->m_timerId, 0);
}

TEST(Transport, EndOfPreviewReturnsToTheFirstPicture) {
    apptest::ClipWindow w;
    ASSERT_TRUE(apptest::OpenClipWindow(w, "mp4", 1.0));
    auto& window = w.window;
    const int first = ShownPicture(*window);

    Click(*window, IDC_PLAY);
    ASSERT_EQ(g_playState, kPlayRunning);
    ASSERT_TRUE(SpinUntil([] { return g_playState == kPlayStopped; }, 5000));
    EXPECT_EQ(window->m_timerId, 0);
    EXPECT_EQ(Position(*window), 0);
    EXPECT_EQ(PositionText(*window), QStringLiteral("00:00"));
    EXPECT_EQ(ShownPicture(*window), first);
    EXPECT_TRUE(w.fixture.m_messages.empty());
    // It plays again from the start.
    Click(*window, IDC_PLAY);
    EXPECT_TRUE(SpinUntil([&] { return Position(*window) > 0; }, kPlayWaitMs));
    Click(*window, IDC_STOP);
}

TEST(Transport, MuteHoldsForTheNextFile) {
    zem::testclips::TempDir clips;
    const fs::path first = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    const fs::path second = zem::testclips::MakeClip(clips.path(), "mkv", 1.0);
    const fs::path silent = zem::testclips::MakeClip(clips.path(), "video-only", 1.0);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    ASSERT_FALSE(silent.empty());
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->AddFile(Path(first));
    auto* mute = window->ControlAs<QAbstractButton>(IDC_MUTE);
    EXPECT_EQ(Volume(*window), 0);

    Click(*window, IDC_MUTE);
    EXPECT_EQ(g_muted, 1);
    EXPECT_TRUE(mute->isChecked());
    EXPECT_EQ(Volume(*window), -10000);
    // Another file opens silent too.
    window->AddFile(Path(second));
    EXPECT_EQ(window->GetSelectedRow(), 1);
    EXPECT_EQ(Volume(*window), -10000);
    // A file without sound: nothing to mute, nothing reported.
    window->AddFile(Path(silent));
    EXPECT_TRUE(fixture.m_messages.empty());
    window->SelectRow(0);
    EXPECT_EQ(Volume(*window), -10000);

    Click(*window, IDC_MUTE);
    EXPECT_EQ(g_muted, 0);
    EXPECT_FALSE(mute->isChecked());
    EXPECT_EQ(Volume(*window), 0);
    window->SelectRow(1);
    EXPECT_EQ(Volume(*window), 0);
}

TEST(Transport, SliderSeeksWhereItIsClickedAndDragged) {
    apptest::ClipWindow w;
    ASSERT_TRUE(apptest::OpenClipWindow(w, "avi", 2.0));
    auto& window = w.window;
    auto* slider = window->ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER);
    const int64_t duration = window->m_duration;
    ASSERT_GT(duration, 0);

    // A click at the middle, stopped: the graph is sought to half the length
    // and shows the picture there.
    ClickSlider(*window, 0.5);
    EXPECT_EQ(slider->value(), 50);
    EXPECT_NEAR(double(Position(*window)), duration / 2.0, 2.0 * kTicksPerPicture);
    EXPECT_EQ(PositionText(*window), QStringLiteral("00:01"));
    EXPECT_EQ(g_playState, kPlayStopped);
    EXPECT_NEAR(ShownPicture(*window), 25, 1);

    // A drag while playing: every movement seeks, the release leaves it running.
    Click(*window, IDC_PLAY);
    ASSERT_TRUE(SpinUntil([&] { return Position(*window) > 0; }, kPlayWaitMs));
    const int y = slider->height() / 2;
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(slider->width() / 5, y));
    QTest::mouseMove(slider, QPoint(slider->width() / 3, y));
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(slider->width() / 4, y));
    const int64_t target = duration * slider->value() / 100;
    OAFilterState state = State_Stopped;
    window->Session().Handles().pMC->GetState(500, &state);
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ(g_playState, kPlayRunning);
    EXPECT_GE(Position(*window), target - kTicksPerPicture);
    EXPECT_LT(Position(*window), target + kTicksPerSecond / 2);
    Click(*window, IDC_STOP);
    EXPECT_EQ(Position(*window), 0);
}

TEST(Transport, SelectionButtonsMarkTheRangeThatIsConverted) {
    apptest::ClipWindow w;
    ASSERT_TRUE(apptest::OpenClipWindow(w, "mp4", 2.0));
    auto& window = w.window;
    window->ControlAs<QAbstractButton>(IDC_SIZE_160)->click();
    auto* slider = window->ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER);
    const int64_t duration = window->m_duration;
    const QString whole = window->CellText(0, kColTime);
    EXPECT_EQ(whole, QStringLiteral("00:02"));

    // Start at a quarter: the end becomes the file's end.
    ClickSlider(*window, 0.25);
    const int64_t start = Position(*window);
    Click(*window, IDC_SELECTION_START);
    EXPECT_EQ(window->CellText(0, kColSelStart), CCompressorDlg::FormatTime(start, true));
    EXPECT_EQ(window->CellText(0, kColSelEnd), CCompressorDlg::FormatTime(duration, true));
    EXPECT_EQ(window->m_selectionStart, start);
    EXPECT_TRUE(slider->HasSelection());
    EXPECT_EQ(slider->SelectionEnd(), 100);

    // End at three quarters.
    ClickSlider(*window, 0.75);
    const int64_t end = Position(*window);
    Click(*window, IDC_SELECTION_END);
    EXPECT_EQ(window->CellText(0, kColSelEnd), CCompressorDlg::FormatTime(end, true));
    EXPECT_EQ(window->CellText(0, kColSelStart), CCompressorDlg::FormatTime(start, true));
    // The cells keep whole milliseconds; an end covers its last one.
    const int64_t cellStart = start / 10000 * 10000;
    const int64_t cellEnd = end / 10000 * 10000 + 9999;
    EXPECT_EQ(window->CellText(0, kColTime), CCompressorDlg::FormatTime(cellEnd - cellStart, false));
    EXPECT_NEAR(slider->SelectionStart(), 25, 1);
    EXPECT_NEAR(slider->SelectionEnd(), 75, 1);

    // Convert: only the marked second goes into the output, at 16 pictures a second.
    Click(*window, IDC_CONVERT);
    EXPECT_TRUE(w.fixture.m_messages.empty());
    EXPECT_EQ(window->CellText(0, kColStatus), QStringLiteral("Completed"));
    const zem::test::AviFile avi = zem::test::ParseAvi(window->CellText(0, kColOutput).toStdString());
    EXPECT_TRUE(avi.problems.empty());
    const double expected = double(end - start) * 16 / kTicksPerSecond;
    EXPECT_GE(double(avi.videoCount()), expected - 2);
    EXPECT_LE(double(avi.videoCount()), expected + 2);
    // The row is back in the preview with its range on the slider.
    EXPECT_TRUE(window->Control(IDC_PLAY)->isEnabled());
    EXPECT_TRUE(slider->HasSelection());

    // While a job runs the transport row and the slider are off.
    int looks = 0;
    int enabledWhileRunning = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window->RunActive())
            return;
        ++looks;
        for (int id : {IDC_PLAY, IDC_PAUSE, IDC_STOP, IDC_FRAME_STEP, IDC_MUTE, IDC_SELECTION_START, IDC_SELECTION_END,
                       IDC_CLEAR_SELECTION, IDC_POSITION_SLIDER})
            enabledWhileRunning += window->Control(id)->isEnabled() ? 1 : 0;
    });
    watch.start(20);
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    watch.stop();
    EXPECT_GT(looks, 0);
    EXPECT_EQ(enabledWhileRunning, 0);
    EXPECT_TRUE(window->Control(IDC_SELECTION_END)->isEnabled());

    // An end at or before the start puts the start back to the beginning.
    ClickSlider(*window, 0.1);
    Click(*window, IDC_SELECTION_END);
    EXPECT_EQ(window->CellText(0, kColSelStart), QStringLiteral("00:00.000"));
    EXPECT_EQ(window->m_selectionStart, 0);

    // Clear: empty cells, the whole length in "Time", no range on the slider.
    Click(*window, IDC_CLEAR_SELECTION);
    EXPECT_EQ(window->CellText(0, kColSelStart), QString());
    EXPECT_EQ(window->CellText(0, kColSelEnd), QString());
    EXPECT_EQ(window->CellText(0, kColTime), whole);
    EXPECT_FALSE(slider->HasSelection());
}

TEST(Transport, SliderReportsEveryGesture) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    auto* slider = window->ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER);
    slider->setEnabled(true);
    std::vector<std::pair<int, int>> notes;
    QObject::connect(slider, &CNiceSliderCtrl::positionScrolled,
                     [&notes](int code, int position) { notes.emplace_back(code, position); });
    const int y = slider->height() / 2;

    // A drag whose release point moves the thumb once more: track, track,
    // end track, thumb position.
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(slider->width() / 5, y));
    QTest::mouseMove(slider, QPoint(slider->width() / 2, y));
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(slider->width() * 3 / 4, y));
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[0].first, CNiceSliderCtrl::kThumbTrack);
    EXPECT_EQ(notes[1].first, CNiceSliderCtrl::kThumbTrack);
    EXPECT_EQ(notes[2].first, CNiceSliderCtrl::kEndTrack);
    EXPECT_EQ(notes[3].first, CNiceSliderCtrl::kThumbPosition);
    EXPECT_LT(notes[0].second, notes[1].second);
    EXPECT_LT(notes[1].second, notes[2].second);
    EXPECT_EQ(notes[2].second, notes[3].second);

    // Dragged beyond the end: the thumb stops at the maximum.
    notes.clear();
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(slider->width() / 2, y));
    QTest::mouseMove(slider, QPoint(slider->width() * 3, y));
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(slider->width() * 3, y));
    EXPECT_EQ(slider->value(), 100);

    // The keyboard keeps the track bar's codes; letting go ends the gesture.
    notes.clear();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Left);
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(notes, (std::vector<std::pair<int, int>>{{CNiceSliderCtrl::kLineUp, 99},
                                                       {CNiceSliderCtrl::kEndTrack, 99},
                                                       {CNiceSliderCtrl::kTop, 0},
                                                       {CNiceSliderCtrl::kEndTrack, 0}}));

    // Without a graph the notifications and the buttons find nothing to work
    // on; Play still starts the timer and Pause stops it.
    for (int id :
         {IDC_PLAY, IDC_PAUSE, IDC_STOP, IDC_FRAME_STEP, IDC_SELECTION_START, IDC_SELECTION_END, IDC_CLEAR_SELECTION})
        window->ControlAs<QAbstractButton>(id)->setEnabled(true);
    window->OnPlay();
    EXPECT_NE(window->m_timerId, 0);
    EXPECT_EQ(g_playState, kPlayStopped);
    Spin(250);
    Click(*window, IDC_PAUSE);
    EXPECT_EQ(window->m_timerId, 0);
    for (int id : {IDC_STOP, IDC_FRAME_STEP, IDC_SELECTION_START, IDC_SELECTION_END, IDC_CLEAR_SELECTION})
        Click(*window, id);
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_POSITION)->text(), QStringLiteral("00:00"));
    EXPECT_TRUE(fixture.m_messages.empty());
}

TEST(Transport, EndOfStreamDuringASliderClickLeavesOneConsistentState) {
    apptest::ClipWindow w;
    ASSERT_TRUE(apptest::OpenClipWindow(w, "mp4", 2.0));
    auto& window = w.window;
    auto* slider = window->ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER);
    const int first = ShownPicture(*window);
    Click(*window, IDC_PLAY);
    ASSERT_TRUE(SpinUntil([&] { return Position(*window) > 0; }, kPlayWaitMs));
    // Pressed at the right end while playing: the seek reaches the end of the
    // stream, which rewinds the preview before the button comes up there.
    const QPoint end(slider->width() - 1, slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, end);
    ASSERT_TRUE(SpinUntil([] { return g_playState == kPlayStopped; }, 5000));
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, end);
    SpinUntil([&] { return slider->value() == 0 && PositionText(*window) == QStringLiteral("00:00"); }, kPlayWaitMs);
    EXPECT_EQ(slider->value(), 0);
    EXPECT_EQ(PositionText(*window), QStringLiteral("00:00"));
    EXPECT_EQ(Position(*window), 0);
    EXPECT_EQ(ShownPicture(*window), first);
    // One Play plays.
    Click(*window, IDC_PLAY);
    EXPECT_TRUE(SpinUntil([&] { return Position(*window) > 0; }, kPlayWaitMs));
    EXPECT_EQ(g_playState, kPlayRunning);
    Click(*window, IDC_STOP);
}

TEST(Transport, WithoutAnOpenFileNothingMoves) {
    zem::testclips::TempDir clips;
    const fs::path broken = clips.path() / "broken.mp4";
    {
        std::ofstream out(broken, std::ios::binary);
        out << std::string(5000, 'x');
    }
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    ASSERT_EQ(window->AddFile(Path(broken)), 0);
    ASSERT_FALSE(window->Session().Handles().pGB);
    auto* slider = window->ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER);
    for (const int id : {IDC_PLAY, IDC_PAUSE, IDC_STOP, IDC_FRAME_STEP})
        EXPECT_FALSE(window->Control(id)->isEnabled()) << id;
    EXPECT_FALSE(slider->isEnabled());
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(slider->width() / 2, slider->height() / 2));
    EXPECT_EQ(slider->value(), 0);
    EXPECT_EQ(PositionText(*window), QStringLiteral("00:00"));
}
