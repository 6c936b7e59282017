// The surround mix and its limiter, on numbers: the A/52 Lo/Ro weights for
// each layout, and a limiter that keeps peaks under the ceiling, leaves
// quiet sound alone and gives the gain back after a loud passage.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Downmix.h"

using zem::media::LoRoMatrix;
using zem::media::PeakLimiter;

namespace {

constexpr float kSide = 0.7071f;
constexpr int kRate = 48000;

std::vector<float> Tone(double amplitude, double seconds, double frequency = 440) {
    std::vector<float> samples(size_t(seconds * kRate) * 2);
    for (size_t i = 0; i < samples.size() / 2; ++i)
        samples[2 * i] = samples[2 * i + 1] = float(amplitude * std::sin(2 * M_PI * frequency * double(i) / kRate));
    return samples;
}

float Peak(const std::vector<float>& samples, size_t from = 0) {
    float peak = 0;
    for (size_t i = from; i < samples.size(); ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

} // namespace

TEST(Downmix, FiveOneTakesCentreAndSurroundsAtMinusThreeDecibelsAndDropsTheLfe) {
    const GstAudioChannelPosition layout[] = {
        GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT,   GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT,
        GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER, GST_AUDIO_CHANNEL_POSITION_LFE1,
        GST_AUDIO_CHANNEL_POSITION_REAR_LEFT,    GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT};
    const auto m = LoRoMatrix(layout, 6);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0], (std::vector<float>{1, 0, kSide, 0, kSide, 0}));
    EXPECT_EQ(m[1], (std::vector<float>{0, 1, kSide, 0, 0, kSide}));
}

TEST(Downmix, OtherLayoutsFollowTheChannelOrderAudioconvertUses) {
    // Three channels: left, right, centre.
    const GstAudioChannelPosition three[] = {GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT,
                                             GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT,
                                             GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER};
    EXPECT_EQ(LoRoMatrix(three, 3)[0], (std::vector<float>{1, 0, kSide}));
    // 7.1 with side channels, given out of order: columns follow the positions.
    const GstAudioChannelPosition seven[] = {
        GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT,  GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT,
        GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT, GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER,
        GST_AUDIO_CHANNEL_POSITION_LFE1,        GST_AUDIO_CHANNEL_POSITION_REAR_LEFT,
        GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT,  GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT};
    const auto m = LoRoMatrix(seven, 8);
    EXPECT_EQ(m[0], (std::vector<float>{1, 0, kSide, 0, kSide, 0, kSide, 0}));
    EXPECT_EQ(m[1], (std::vector<float>{0, 1, kSide, 0, 0, kSide, 0, kSide}));
    // A single rear channel is shared by both sides.
    const GstAudioChannelPosition four[] = {
        GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT, GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT,
        GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER, GST_AUDIO_CHANNEL_POSITION_REAR_CENTER};
    EXPECT_EQ(LoRoMatrix(four, 4)[1], (std::vector<float>{0, 1, kSide, 0.5f}));
}

TEST(Downmix, LimiterLeavesQuietSoundBitForBit) {
    PeakLimiter limiter(kRate);
    auto samples = Tone(0.9, 0.5);
    const auto before = samples;
    limiter.Process(samples.data(), samples.size() / 2);
    EXPECT_EQ(samples, before);
    EXPECT_EQ(limiter.gain(), 1.0f);
}

TEST(Downmix, LimiterHoldsPeaksUnderTheCeilingAndRecovers) {
    PeakLimiter limiter(kRate);
    // A mix of six full-scale channels: 2.4 times full scale.
    auto loud = Tone(2.414, 1.0);
    limiter.Process(loud.data(), loud.size() / 2);
    EXPECT_LE(Peak(loud), PeakLimiter::kCeiling + 1e-6f);
    // Riding the gain, not flattening the wave: an eighth of a period after
    // a peak the tone is down to about 0.7 of it, where a clipped wave would
    // still sit at the ceiling.
    const size_t eighth = kRate / 440 / 8;
    size_t peakAt = loud.size() / 2;
    while (std::fabs(loud[peakAt]) < PeakLimiter::kCeiling * 0.999f)
        peakAt += 2;
    EXPECT_LT(std::fabs(loud[peakAt + 2 * eighth]), 0.8f * PeakLimiter::kCeiling);
    EXPECT_NEAR(limiter.gain(), PeakLimiter::kCeiling / 2.414f, 0.01f);

    // After the loud part, a quiet one comes back to full gain.
    auto quiet = Tone(0.3, 2.0);
    const auto plain = quiet;
    limiter.Process(quiet.data(), quiet.size() / 2);
    EXPECT_GT(limiter.gain(), 0.999f);
    const size_t lastSecond = quiet.size() / 2;
    EXPECT_NEAR(Peak(quiet, lastSecond), Peak(plain, lastSecond), 0.001f);
    // And the start of it was turned down, not cut.
    EXPECT_LT(Peak(std::vector<float>(quiet.begin(), quiet.begin() + 200)), 0.3f * 0.5f);
}
