// The one text a failed job shows in both front ends.

#include <gtest/gtest.h>

#include "FailureCodes.h"

using zem::Failure;
using zem::FailureCode;

TEST(FailureText, WhatAndWhyWhenKnownElseWhatTheCodeMeans) {
    EXPECT_EQ((Failure{FailureCode::WriteFailed, "Cannot write /out/a_ZM.avi", "No space left on device"}.Text()),
              "Cannot write /out/a_ZM.avi: No space left on device");
    EXPECT_EQ((Failure{FailureCode::DecodeFailed, "Could not decode /in/a.mp4", ""}.Text()), "Could not decode /in/a.mp4");
    EXPECT_EQ((Failure{FailureCode::WriteFailed, "", "File too large"}.Text()), "File too large");
    // Nothing but the code: its meaning, never an empty line or a bare number.
    EXPECT_EQ(Failure{FailureCode::WriteFailed}.Text(), "The output could not be written");
    EXPECT_EQ(Failure{FailureCode::VideoOut}.Text(), "The conversion graph could not be built");
    EXPECT_FALSE(Failure{static_cast<FailureCode>(99)}.Text().empty());
}
