#include "MpegPictureTimes.h"

#include <algorithm>

namespace zem::media {

namespace {
constexpr std::uint8_t kPictureStartCode = 0x00;
constexpr std::uint8_t kGroupStartCode = 0xB8;
// Stamps this far from the place's time still agree (rounding of 90 kHz clocks).
constexpr GstClockTime kPlaceTolerance = GST_MSECOND;
// A stamp at most this many pictures early is one the demuxer gave the wrong
// picture of a packet.
constexpr std::int64_t kStampSlackPictures = 3;
} // namespace

MpegPictureHeader ReadMpegPicture(const std::uint8_t* data, std::size_t size) {
    MpegPictureHeader header;
    for (std::size_t i = 0; i + 5 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        if (data[i + 3] == kGroupStartCode && !header.picture) {
            header.groupStart = true;
        } else if (data[i + 3] == kPictureStartCode) {
            // temporal_reference (10 bits), then picture_coding_type (3 bits).
            const int reference = (data[i + 4] << 2) | (data[i + 5] >> 6);
            const int type = (data[i + 5] >> 3) & 0x7;
            if (!header.picture) {
                header.picture = true;
                header.temporalReference = reference;
                header.codingType = type;
            } else if (type != kMpegBPicture) {
                header.codingType = type; // the second field of a pair refers on
            }
        }
        i += 2;
    }
    return header;
}

void MpegPictureClock::Reset() {
    m_groupBase = 0;
    m_groupSpan = 0;
    m_anchored = false;
}

GstClockTime MpegPictureClock::Place(const MpegPictureHeader& header, GstClockTime pts) {
    if (!header.picture)
        return pts;
    if (header.groupStart) {
        m_groupBase += m_groupSpan;
        m_groupSpan = 0;
    }
    const std::int64_t place = m_groupBase + header.temporalReference;
    m_groupSpan = std::max<std::int64_t>(m_groupSpan, header.temporalReference + 1);
    const bool timed = GST_CLOCK_TIME_IS_VALID(pts);
    if (!m_anchored || m_period == 0) {
        if (timed) {
            m_anchored = true;
            m_anchorPts = pts;
            m_anchorPlace = place;
        }
        return pts;
    }
    const std::int64_t placed =
        static_cast<std::int64_t>(m_anchorPts) + (place - m_anchorPlace) * static_cast<std::int64_t>(m_period);
    if (!timed)
        return placed >= 0 ? static_cast<GstClockTime>(placed) : GST_CLOCK_TIME_NONE;
    const std::int64_t off = static_cast<std::int64_t>(pts) - placed;
    const std::int64_t slack = kStampSlackPictures * static_cast<std::int64_t>(m_period);
    // A stamp a few pictures early belongs to a later picture in the same
    // packet; the place says the time. Later than the place, the times so
    // far were early (the anchor had such a stamp); far off either way, the
    // stream's clock jumped: the stamp holds from here on.
    if (off <= static_cast<std::int64_t>(kPlaceTolerance) && off >= -slack && placed >= 0)
        return static_cast<GstClockTime>(placed);
    m_anchorPts = pts;
    m_anchorPlace = place;
    return pts;
}

} // namespace zem::media
