// Each kind of input the program reads, from one clip made once a run: it
// renders with its length, size and sound, seeks, steps, plays to its end and
// converts from a selection start, each a case of its own.
#include "MediaTestRig.h"

#include <QApplication>
#include <QThread>

#include <algorithm>

using namespace zem::mediatest;

namespace {

struct Kind {
    const char* kind;
    bool video;
    bool audio;
    int width;
    int height;
};

void PrintTo(const Kind& k, std::ostream* os) {
    *os << k.kind;
}

// One clip a format (made once, see CachedClip), each step of playing it a
// case of its own, so one failure does not hide the others.
class FormatTest : public testing::TestWithParam<Kind> {
protected:
    // Inside a picture, so that clocks a few milliseconds apart agree on which.
    static constexpr double kSelectionStart = 0.54;

    void SetUp() override {
        k = GetParam();
        clip = Clips().Get(k.kind);
        ASSERT_FALSE(clip.empty()) << "ffmpeg could not make the clip";
        times = ProbeClip(k.kind == std::string("asx") ? Clips().Get("mp4") : clip);
        atStart = PictureAt(times, kSelectionStart);
        owner.resize(320, 256);
    }

    // Rendered, with the picture (if any) shown in `owner`, stopped at the start.
    void RenderAndShow(Graph& g) {
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

TEST_P(FormatTest, RendersWithItsLengthSizeAndSound) {
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

TEST_P(FormatTest, SeeksWhilePausedToThePictureCoveringThePosition) {
    Graph g;
    RenderAndShow(g);
    ASSERT_EQ(g.mc->Pause(), S_OK);
    ASSERT_EQ(g.SeekTo(kSelectionStart), S_OK);
    EXPECT_NEAR(static_cast<double>(g.Position()) / kUnits, kSelectionStart, kFrame);
    if (k.video) {
        EXPECT_EQ(ShownPicture(g.vw->VideoWidget()), atStart);
    }
}

TEST_P(FormatTest, StepsThroughEveryPictureOneByOne) {
    Graph g;
    RenderAndShow(g);
    ASSERT_EQ(g.mc->Pause(), S_OK);
    if (!k.video) {
        EXPECT_EQ(g.fs->Step(1, nullptr), E_FAIL) << "no pictures, nothing to step";
        return;
    }
    // Each step shows the next picture and moves the position on by the time
    // from the one to the other (the first step also over the few milliseconds
    // a container may let the pictures start after the sound), up to the last
    // picture. The counter on screen is read through the real renderer.
    const int pictures = static_cast<int>(std::lround(kClipSeconds / kFrame));
    int shown = ShownPicture(g.vw->VideoWidget());
    EXPECT_EQ(shown, 0);
    double last = static_cast<double>(g.Position()) / kUnits;
    int steps = 0;
    HRESULT hr = S_OK;
    while ((hr = g.fs->Step(1, nullptr)) == S_OK && steps < pictures) {
        ASSERT_TRUE(WaitForEvent(g.me.get(), EC_STEP_COMPLETE, 5000));
        const int next = ShownPicture(g.vw->VideoWidget());
        ASSERT_EQ(next, (shown + 1) % kCounterCycle) << "step " << steps + 1;
        const double position = static_cast<double>(g.Position()) / kUnits;
        ASSERT_NEAR(position - last, PictureLength(times, steps), steps == 0 ? kFrame / 2 : 0.001)
            << "step " << steps + 1 << " to " << position;
        last = position;
        shown = next;
        ++steps;
    }
    EXPECT_EQ(hr, S_FALSE) << "the last picture ends the stepping";
    // MPEG program streams give a length that ends a picture or two before
    // their last picture; stepping stops at the length.
    EXPECT_GE(steps, pictures - 3);
    EXPECT_LE(steps, pictures - 1);
}

TEST_P(FormatTest, PlaysToItsEndWithTheClockAndGoesBackToTheStart) {
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

TEST_P(FormatTest, ConvertsFromTheSelectionStart) {
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
        EXPECT_EQ(grabbed.numbers.front(), atStart) << "first picture is the one at the selection start";
        EXPECT_EQ(grabbed.wrongOrientation, 0) << "pictures are BGR, bottom row first";
        for (long length : grabbed.lengths)
            EXPECT_EQ(length, Rgb24Stride(k.width) * k.height);
        // Every picture of the range, each once and in order.
        for (std::size_t i = 1; i < grabbed.times.size(); ++i) {
            EXPECT_GT(grabbed.times[i], grabbed.times[i - 1]);
            EXPECT_EQ(grabbed.numbers[i], (grabbed.numbers[i - 1] + 1) % kCounterCycle) << "picture " << i;
        }
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
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

} // namespace
