// The rule that decides which pictures may stay undecoded, on worked examples:
// the role an H.264 access unit plays for the others, and whether an output
// frame time falls in a picture's span.

#include <gtest/gtest.h>

#include <vector>

#include "MpegPictureTimes.h"
#include "PictureSkip.h"

using namespace zem::media;

namespace {

// NAL header bytes: forbidden bit 0, nal_ref_idc in bits 5-6, type in bits 0-4.
constexpr std::uint8_t kNonRefSlice = 0x01;  // ref_idc 0, type 1
constexpr std::uint8_t kRefSlice = 0x21;     // ref_idc 1, type 1
constexpr std::uint8_t kIdrSlice = 0x65;     // ref_idc 3, type 5
constexpr std::uint8_t kSei = 0x06;          // ref_idc 0, type 6
constexpr std::uint8_t kDelimiter = 0x09;    // access unit delimiter
constexpr std::uint8_t kMvcExtension = 0x14; // type 20

std::vector<std::uint8_t> LengthPrefixed(const std::vector<std::vector<std::uint8_t>>& nals, int lengthSize) {
    std::vector<std::uint8_t> out;
    for (const auto& nal : nals) {
        for (int i = lengthSize - 1; i >= 0; --i)
            out.push_back(static_cast<std::uint8_t>(nal.size() >> (8 * i)));
        out.insert(out.end(), nal.begin(), nal.end());
    }
    return out;
}

std::vector<std::uint8_t> StartCoded(const std::vector<std::vector<std::uint8_t>>& nals) {
    std::vector<std::uint8_t> out;
    for (const auto& nal : nals) {
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), nal.begin(), nal.end());
    }
    return out;
}

PictureRole RoleOf(const std::vector<std::uint8_t>& unit, int lengthSize) {
    return H264PictureRole(unit.data(), unit.size(), lengthSize);
}

TEST(PictureSkipRule, H264RoleFromEverySliceOfTheAccessUnit) {
    const std::vector<std::uint8_t> body = {0x9a, 0x12, 0x34};
    auto nal = [&](std::uint8_t header) {
        std::vector<std::uint8_t> n{header};
        n.insert(n.end(), body.begin(), body.end());
        return n;
    };
    for (int lengthSize : {4, 2, 1}) {
        SCOPED_TRACE(lengthSize);
        EXPECT_EQ(RoleOf(LengthPrefixed({nal(kDelimiter), nal(kSei), nal(kNonRefSlice)}, lengthSize), lengthSize),
                  PictureRole::NonReference);
        // One referenced slice makes the whole picture a reference.
        EXPECT_EQ(RoleOf(LengthPrefixed({nal(kNonRefSlice), nal(kRefSlice)}, lengthSize), lengthSize),
                  PictureRole::Reference);
        EXPECT_EQ(RoleOf(LengthPrefixed({nal(kIdrSlice)}, lengthSize), lengthSize), PictureRole::Reference);
        // No slice, or a layer this does not read: the decoder judges it.
        EXPECT_EQ(RoleOf(LengthPrefixed({nal(kSei)}, lengthSize), lengthSize), PictureRole::Unknown);
        EXPECT_EQ(RoleOf(LengthPrefixed({nal(kNonRefSlice), nal(kMvcExtension)}, lengthSize), lengthSize),
                  PictureRole::Unknown);
    }
    EXPECT_EQ(RoleOf(StartCoded({nal(kDelimiter), nal(kNonRefSlice), nal(kNonRefSlice)}), 0),
              PictureRole::NonReference);
    EXPECT_EQ(RoleOf(StartCoded({nal(kNonRefSlice), nal(kIdrSlice)}), 0), PictureRole::Reference);
}

PictureRole HevcRoleOf(const std::vector<std::uint8_t>& unit, int lengthSize) {
    return HevcPictureRole(unit.data(), unit.size(), lengthSize);
}

TEST(PictureSkipRule, HevcRoleFromEverySliceOfTheAccessUnit) {
    // Two-byte headers: type in bits 1-6 of the first byte, layer 0, TemporalId + 1 = 1.
    auto nal = [](int type) { return std::vector<std::uint8_t>{static_cast<std::uint8_t>(type << 1), 0x01, 0xAF}; };
    constexpr int kTrailN = 0, kTrailR = 1, kRaslN = 8, kCra = 21, kAud = 35, kSei = 39;
    EXPECT_EQ(HevcRoleOf(LengthPrefixed({nal(kAud), nal(kSei), nal(kTrailN), nal(kTrailN)}, 4), 4),
              PictureRole::NonReference);
    EXPECT_EQ(HevcRoleOf(LengthPrefixed({nal(kRaslN)}, 4), 4), PictureRole::NonReference);
    EXPECT_EQ(HevcRoleOf(LengthPrefixed({nal(kTrailN), nal(kTrailR)}, 4), 4), PictureRole::Reference);
    EXPECT_EQ(HevcRoleOf(LengthPrefixed({nal(kCra)}, 4), 4), PictureRole::Reference);
    EXPECT_EQ(HevcRoleOf(LengthPrefixed({nal(kSei)}, 4), 4), PictureRole::Unknown);
    // A unit of another layer: the decoder judges the picture.
    std::vector<std::uint8_t> layered = nal(kTrailN);
    layered[1] = 0x09; // nuh_layer_id 1
    EXPECT_EQ(HevcRoleOf(LengthPrefixed({layered}, 4), 4), PictureRole::Unknown);
}

TEST(PictureSkipRule, DamagedLengthsLeaveThePictureToTheDecoder) {
    std::vector<std::uint8_t> unit = LengthPrefixed({{kNonRefSlice, 1, 2, 3}}, 4);
    unit[3] = 9; // longer than what follows
    EXPECT_EQ(RoleOf(unit, 4), PictureRole::Unknown);
    unit = LengthPrefixed({{kNonRefSlice, 1, 2, 3}}, 4);
    unit.push_back(0); // a stray byte after the last unit
    EXPECT_EQ(RoleOf(unit, 4), PictureRole::Unknown);
    EXPECT_EQ(H264PictureRole(nullptr, 0, 4), PictureRole::Unknown);
}

TEST(PictureSkipRule, FrameTimeInTheSpanOrNearIt) {
    // Frames every 0.0625 s from 0.04 (a 25 fps source at 16 fps).
    const FrameGrid grid{0.04, 0.0625};
    // Frame 1 at 0.1025 lies in (0.08, 0.12]: the picture at 0.12 shows it.
    EXPECT_TRUE(SpanHoldsFrame(0.08, 0.12, grid));
    // (0.12, 0.16] holds none: frame 2 is 0.165.
    EXPECT_FALSE(SpanHoldsFrame(0.12, 0.16, grid));
    // Within the margin of a frame time on either side counts as holding it.
    EXPECT_TRUE(SpanHoldsFrame(0.12, 0.165 - kSkipMargin / 2, grid));
    EXPECT_TRUE(SpanHoldsFrame(0.1025 + kSkipMargin / 2, 0.14, grid));
    // Before the first frame, and with no grid at all.
    EXPECT_FALSE(SpanHoldsFrame(0.0, 0.03, grid));
    EXPECT_TRUE(SpanHoldsFrame(0.0, 0.04, grid));
    EXPECT_TRUE(SpanHoldsFrame(0.12, 0.16, FrameGrid{}));
    // Far into a film: frame 57600 of an hour is at 3600.04.
    EXPECT_TRUE(SpanHoldsFrame(3600.03, 3600.05, grid));
    EXPECT_FALSE(SpanHoldsFrame(3600.05, 3600.09, grid));
}

TEST(PictureSkipRule, SkippedTimesComeBackInDisplayOrder) {
    PictureSkip skip;
    constexpr GstClockTime kMs = GST_MSECOND;
    // No grid yet: nothing is skipped.
    EXPECT_FALSE(skip.Skip(120 * kMs, 160 * kMs));
    skip.SetGrid(FrameGrid{0.04, 0.0625});
    // Pictures of a 50 fps source arriving in decoding order, not display order.
    EXPECT_TRUE(skip.Skip(240 * kMs, 260 * kMs));
    EXPECT_TRUE(skip.Skip(200 * kMs, 220 * kMs));
    EXPECT_FALSE(skip.Skip(160 * kMs, 180 * kMs)); // 0.1650 is due
    const auto first = skip.TakeSkippedBefore(230 * kMs);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0], 220 * kMs);
    const auto rest = skip.TakeSkippedBefore(GST_CLOCK_TIME_NONE);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0], 260 * kMs);
    // Off again: nothing more is skipped, and a flush forgets what was queued.
    EXPECT_TRUE(skip.Skip(240 * kMs, 260 * kMs));
    skip.Flush();
    EXPECT_TRUE(skip.TakeSkippedBefore(GST_CLOCK_TIME_NONE).empty());
    skip.Disable();
    EXPECT_FALSE(skip.Skip(240 * kMs, 260 * kMs));
}

} // namespace

namespace {

// A parsed MPEG-2 picture buffer: an optional group header, then the picture header.
std::vector<std::uint8_t> MpegPicture(bool group, int temporalReference, int type) {
    std::vector<std::uint8_t> out;
    if (group)
        out.insert(out.end(), {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x40});
    out.insert(out.end(), {0, 0, 1, 0x00, static_cast<std::uint8_t>(temporalReference >> 2),
                           static_cast<std::uint8_t>(((temporalReference & 3) << 6) | (type << 3)), 0xFF, 0xF8});
    return out;
}

TEST(MpegPictureTimesRule, HeadersAreRead) {
    const auto b = MpegPicture(false, 513, kMpegBPicture);
    const MpegPictureHeader header = ReadMpegPicture(b.data(), b.size());
    EXPECT_TRUE(header.picture);
    EXPECT_FALSE(header.groupStart);
    EXPECT_EQ(header.temporalReference, 513);
    EXPECT_EQ(header.codingType, kMpegBPicture);
    const auto i = MpegPicture(true, 2, 1);
    EXPECT_TRUE(ReadMpegPicture(i.data(), i.size()).groupStart);
    const std::vector<std::uint8_t> sequenceOnly = {0, 0, 1, 0xB3, 0x14, 0x00, 0xF0, 0x13};
    EXPECT_FALSE(ReadMpegPicture(sequenceOnly.data(), sequenceOnly.size()).picture);
}

TEST(MpegPictureTimesRule, UntimedPicturesGetTheTimeOfTheirPlace) {
    constexpr GstClockTime kPeriod = 40 * GST_MSECOND;
    constexpr GstClockTime kNone = GST_CLOCK_TIME_NONE;
    MpegPictureClock clock;
    clock.SetPeriod(kPeriod);
    auto place = [&](bool group, int tr, int type, GstClockTime pts) {
        const auto unit = MpegPicture(group, tr, type);
        return clock.Place(ReadMpegPicture(unit.data(), unit.size()), pts);
    };
    // Decoding order of open groups of three: I(2) B(0) B(1), I(2) B(0) B(1) ...
    EXPECT_EQ(place(true, 2, 1, kNone), kNone); // nothing stamped yet
    EXPECT_EQ(place(false, 0, 3, 1000 * GST_MSECOND), 1000 * GST_MSECOND);
    EXPECT_EQ(place(false, 1, 3, kNone), 1040 * GST_MSECOND);
    // The next group's I is shown after its two B pictures.
    EXPECT_EQ(place(true, 2, 1, kNone), 1200 * GST_MSECOND);
    // A stamp two pictures early is a B picture's, given to the I of its packet.
    EXPECT_EQ(place(false, 0, 3, kNone), 1120 * GST_MSECOND);
    EXPECT_EQ(place(true, 2, 1, 1240 * GST_MSECOND), 1320 * GST_MSECOND);
    // A later stamp moves the times on; a jump far away is taken as it is.
    EXPECT_EQ(place(false, 0, 3, 1300 * GST_MSECOND), 1300 * GST_MSECOND);
    EXPECT_EQ(place(false, 1, 3, kNone), 1340 * GST_MSECOND);
    EXPECT_EQ(place(true, 2, 1, 9000 * GST_MSECOND), 9000 * GST_MSECOND);
    EXPECT_EQ(place(false, 0, 3, kNone), 8920 * GST_MSECOND);
    // Without a frame rate nothing is guessed.
    MpegPictureClock unknownRate;
    const auto b = MpegPicture(false, 1, kMpegBPicture);
    unknownRate.Place(ReadMpegPicture(b.data(), b.size()), 1000 * GST_MSECOND);
    EXPECT_EQ(unknownRate.Place(ReadMpegPicture(b.data(), b.size()), kNone), kNone);
}

} // namespace
