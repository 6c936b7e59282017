// The time-left arithmetic with a clock the test turns by hand.

#include "TimeLeft.h"

#include <gtest/gtest.h>

using zem::app::TimeLeftEstimate;

namespace {
constexpr int64_t kUnitsPerSecond = 10'000'000; // 100 ns units
}

TEST(TimeLeft, FileAndRunFromTheSpeedSoFar) {
    TimeLeftEstimate estimate(3000);
    estimate.StartRun();
    // 100 s of media; nothing comes out during the first half second.
    estimate.StartFile(100 * kUnitsPerSecond, 0);
    estimate.Update(0, 500);
    EXPECT_FALSE(estimate.Ready());
    // From then on 10 s of media a second.
    estimate.Update(10 * kUnitsPerSecond, 1500);
    estimate.Update(20 * kUnitsPerSecond, 2500);
    EXPECT_FALSE(estimate.Ready()); // not 3 s yet
    estimate.Update(30 * kUnitsPerSecond, 3500);
    ASSERT_TRUE(estimate.Ready());
    EXPECT_DOUBLE_EQ(estimate.FileSecondsLeft(), 7.0);
    // Two more files of 100 s in all: 10 s more, no time between files measured yet.
    EXPECT_DOUBLE_EQ(estimate.RunSecondsLeft(100 * kUnitsPerSecond, 2), 17.0);

    // The file ends at 10.5 s; the next one shows its first picture 2 s later.
    estimate.Update(100 * kUnitsPerSecond, 10500);
    estimate.StartFile(50 * kUnitsPerSecond, 11500);
    estimate.Update(0, 12000);
    estimate.Update(5 * kUnitsPerSecond, 12500);
    // Not measured on its own yet: the run's speed so far stands in (45 s at 10 s a second).
    ASSERT_TRUE(estimate.Ready());
    EXPECT_DOUBLE_EQ(estimate.FileSecondsLeft(), 4.5);
    // This one goes at 5 s of media a second.
    estimate.Update(20 * kUnitsPerSecond, 15500);
    ASSERT_TRUE(estimate.Ready());
    EXPECT_DOUBLE_EQ(estimate.FileSecondsLeft(), 6.0);
    // One more file of 25 s: 5 s of converting and the 2 s between files.
    EXPECT_DOUBLE_EQ(estimate.RunSecondsLeft(25 * kUnitsPerSecond, 1), 13.0);

    // A new run forgets the time between files.
    estimate.StartRun();
    estimate.StartFile(50 * kUnitsPerSecond, 20000);
    estimate.Update(5 * kUnitsPerSecond, 20000);
    estimate.Update(20 * kUnitsPerSecond, 23000);
    ASSERT_TRUE(estimate.Ready());
    EXPECT_DOUBLE_EQ(estimate.RunSecondsLeft(25 * kUnitsPerSecond, 1), 11.0);
}

TEST(TimeLeft, NoEstimateWithoutProgressOrLength) {
    TimeLeftEstimate estimate(0);
    EXPECT_FALSE(estimate.Ready());
    estimate.StartFile(0, 0); // a length nobody knows
    estimate.Update(kUnitsPerSecond, 1000);
    estimate.Update(2 * kUnitsPerSecond, 2000);
    EXPECT_FALSE(estimate.Ready());
    estimate.StartFile(10 * kUnitsPerSecond, 3000);
    estimate.Update(kUnitsPerSecond, 4000);
    EXPECT_FALSE(estimate.Ready()); // one look is no speed
    estimate.Update(kUnitsPerSecond, 5000);
    EXPECT_FALSE(estimate.Ready()); // stalled
    estimate.Update(3 * kUnitsPerSecond, 6000);
    EXPECT_TRUE(estimate.Ready());
    EXPECT_DOUBLE_EQ(estimate.FileSecondsLeft(), 7.0);
}

TEST(TimeLeft, Format) {
    EXPECT_EQ(TimeLeftEstimate::Format(0), "0:00");
    EXPECT_EQ(TimeLeftEstimate::Format(7.4), "0:07");
    EXPECT_EQ(TimeLeftEstimate::Format(59.6), "1:00");
    EXPECT_EQ(TimeLeftEstimate::Format(725), "12:05");
    EXPECT_EQ(TimeLeftEstimate::Format(3729), "1:02:09");
    EXPECT_EQ(TimeLeftEstimate::Format(-3), "0:00");
}
