// The one text a failed job shows in both front ends.

#include <gtest/gtest.h>

#include "FailureCodes.h"

using zem::Failure;

TEST(FailureText, WhatAndWhyWhenKnownElseWhatTheCodeMeans) {
    EXPECT_EQ((Failure{37, "Cannot write /out/a_ZM.avi", "No space left on device"}.Text()),
              "Cannot write /out/a_ZM.avi: No space left on device");
    EXPECT_EQ((Failure{36, "Could not decode /in/a.mp4", ""}.Text()), "Could not decode /in/a.mp4");
    EXPECT_EQ((Failure{37, "", "File too large"}.Text()), "File too large");
    // Nothing but the code: its meaning, never an empty line or a bare number.
    EXPECT_EQ(Failure{37}.Text(), "The output could not be written");
    EXPECT_EQ(Failure{12}.Text(), "The conversion graph could not be built");
    EXPECT_FALSE(Failure{99}.Text().empty());
}
