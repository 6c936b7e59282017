// The names one conversion derives from its input and output: where the
// intermediates go, where a kept sound goes, and which inputs are taken.

#include <gtest/gtest.h>

#include <string>

#include "ConversionPaths.h"

using namespace zem;

TEST(ConversionPathsTest, IntermediatesLieInTheScratchFolderAndTheKeptSoundBesideTheOutput) {
    const ConversionPaths p = DeriveConversionPaths("/in/a.b/clip.mpeg", "/out/x.y/name.avi", "/out/x.y/.work");
    EXPECT_EQ(p.tmpPath, "/out/x.y/.work/scratch.tmp");
    EXPECT_EQ(p.mp3Path, "/out/x.y/.work/scratch.mp3");
    EXPECT_EQ(p.headerPath, "/out/x.y/.work/scratch.hit");
    EXPECT_EQ(p.indexPath, "/out/x.y/.work/scratch.idx");
    EXPECT_EQ(p.zemPath, "/out/x.y/.work/scratch.zem");
    EXPECT_EQ(p.keptMp3Path, "/out/x.y/name.mp3");
    // An output that is itself named ".mp3" keeps its sound under another name.
    EXPECT_EQ(DeriveConversionPaths("/in/c.mp4", "/o/c.mp3", "/o/.w").keptMp3Path, "/o/c.mp3.mp3");
    EXPECT_EQ(PathMinusExtension("/a.b/noext"), "/a.b/noext");
    EXPECT_EQ(DefaultOutputPath("/v/Film.MKV"), "/v/Film_ZM.avi");
    EXPECT_FALSE(PathsFitLimit(DeriveConversionPaths("/in.mp4", "/" + std::string(5000, 'x') + ".avi", "/w")));
}

TEST(ConversionPathsTest, AcceptedEndingsInAnyCaseAndNothingElse) {
    for (const char* path :
         {"a.avi", "a.MPG",      "a.mpeg", "a.vob", "a.dat", "a.wmv",  "a.asf", "a.asx",  "a.rm",  "a.RMVB", "a.mp4",
          "a.mkv", "/f.d/a.Mkv", "a.MOV",  "a.m4v", "a.3gp", "a.webm", "a.ts",  "a.M2TS", "a.mts", "a.flv",  "a.ogv"})
        EXPECT_TRUE(IsAcceptedInputPath(path)) << path;
    for (const char* path : {"a.txt", "a.rmx", "avi", "a.mp3", "", "rm.x", "a.ogg", "a.m4a", "a.tsx"})
        EXPECT_FALSE(IsAcceptedInputPath(path)) << path;
    // Four-letter endings match without a dot before them, as they always have.
    EXPECT_TRUE(IsAcceptedInputPath("clipmpeg"));
    EXPECT_FALSE(IsAcceptedInputPath("xrm"));
    EXPECT_FALSE(IsAcceptedInputPath("xavi"));
    // The endings added since need their dot.
    EXPECT_FALSE(IsAcceptedInputPath("clipwebm"));
    EXPECT_FALSE(IsAcceptedInputPath("clipm2ts"));
    EXPECT_FALSE(IsAcceptedInputPath("parts"));
    EXPECT_EQ(
        AcceptedInputEndingsText(),
        "avi, mpg, mpeg, vob, dat, wmv, asf, asx, rm, rmvb, mp4, mkv, mov, m4v, 3gp, webm, ts, m2ts, mts, flv, ogv");
}
