#include "PictureSkip.h"

#include "MpegPictureTimes.h"

#include <cmath>
#include <cstring>

namespace zem::media {

namespace {

// NAL unit types of H.264 that carry a picture's slices.
constexpr int kNalSlice = 1;
constexpr int kNalPartitionA = 2;
constexpr int kNalPartitionC = 4;
constexpr int kNalIdrSlice = 5;
// Prefix and extension units of scalable and multi-view coding: pictures of other layers.
constexpr int kNalPrefix = 14;
constexpr int kNalExtension = 20;

// The role of one NAL unit header byte for the picture it belongs to.
void NoteNal(std::uint8_t header, bool& slice, bool& reference, bool& unknown) {
    const int type = header & 0x1F;
    const int refIdc = (header >> 5) & 0x3;
    if (type == kNalSlice || type == kNalIdrSlice || (type >= kNalPartitionA && type <= kNalPartitionC)) {
        slice = true;
        if (refIdc != 0 || type == kNalIdrSlice)
            reference = true;
    } else if (type == kNalPrefix || type == kNalExtension) {
        unknown = true;
    }
}

// Byte `at` of the caps' codec_data (the decoder configuration record);
// false when there is none or it is shorter.
bool CodecDataByte(const GstStructure* s, std::size_t at, guint8& byte) {
    const GValue* value = gst_structure_get_value(s, "codec_data");
    GstBuffer* config = value ? gst_value_get_buffer(value) : nullptr;
    GstMapInfo map;
    if (!config || !gst_buffer_map(config, &map, GST_MAP_READ))
        return false;
    const bool there = map.size > at;
    if (there)
        byte = map.data[at];
    gst_buffer_unmap(config, &map);
    return there;
}

// HEVC in the "hvc1"/"hev1" form whose configuration says it has one temporal
// sub-layer: numTemporalLayers and lengthSizeMinusOne share byte 21 of hvcC.
DecoderInputProbe::Coding HevcCoding(const GstStructure* s, int& lengthSize) {
    using Coding = DecoderInputProbe::Coding;
    constexpr std::size_t kLayersByte = 21;
    const gchar* format = gst_structure_get_string(s, "stream-format");
    const gchar* alignment = gst_structure_get_string(s, "alignment");
    if (!format || !alignment || std::strcmp(alignment, "au") != 0 ||
        (std::strcmp(format, "hvc1") != 0 && std::strcmp(format, "hev1") != 0))
        return Coding::None;
    guint8 byte = 0;
    if (!CodecDataByte(s, kLayersByte, byte))
        return Coding::None;
    const int layers = (byte >> 3) & 0x7;
    lengthSize = (byte & 0x3) + 1;
    return layers == 1 && lengthSize != 3 ? Coding::Hevc : Coding::None;
}

// How the decoder's input is coded, when this can read it: H.264 whole access
// units (with the NAL length size of the "avc" form), or parsed MPEG-1/2 pictures.
DecoderInputProbe::Coding CodingOf(const GstStructure* s, int& lengthSize) {
    using Coding = DecoderInputProbe::Coding;
    if (gst_structure_has_name(s, "video/mpeg")) {
        int version = 0;
        gboolean parsed = FALSE;
        gboolean system = TRUE;
        gst_structure_get_int(s, "mpegversion", &version);
        gst_structure_get_boolean(s, "parsed", &parsed);
        gst_structure_get_boolean(s, "systemstream", &system);
        return (version == 1 || version == 2) && parsed && !system ? Coding::Mpeg : Coding::None;
    }
    if (gst_structure_has_name(s, "video/x-h265"))
        return HevcCoding(s, lengthSize);
    if (!gst_structure_has_name(s, "video/x-h264"))
        return Coding::None;
    const gchar* format = gst_structure_get_string(s, "stream-format");
    const gchar* alignment = gst_structure_get_string(s, "alignment");
    if (!format || !alignment || std::strcmp(alignment, "au") != 0)
        return Coding::None;
    if (std::strcmp(format, "byte-stream") == 0) {
        lengthSize = 0;
        return Coding::H264;
    }
    if (std::strcmp(format, "avc") != 0 && std::strcmp(format, "avc3") != 0)
        return Coding::None;
    // lengthSizeMinusOne in the low bits of the fifth byte; 3 bytes is not a valid size.
    guint8 byte = 0;
    if (!CodecDataByte(s, 4, byte))
        return Coding::None;
    lengthSize = (byte & 0x3) + 1;
    return lengthSize != 3 ? Coding::H264 : Coding::None;
}

double Seconds(GstClockTime ns) {
    return static_cast<double>(ns) / GST_SECOND;
}

} // namespace

PictureRole H264PictureRole(const std::uint8_t* data, std::size_t size, int lengthSize) {
    bool slice = false;
    bool reference = false;
    bool unknown = false;
    if (lengthSize > 0) {
        std::size_t at = 0;
        while (at + static_cast<std::size_t>(lengthSize) <= size) {
            std::size_t length = 0;
            for (int i = 0; i < lengthSize; ++i)
                length = (length << 8) | data[at + i];
            at += static_cast<std::size_t>(lengthSize);
            if (length == 0 || length > size - at)
                return PictureRole::Unknown; // damaged: let the decoder judge it
            NoteNal(data[at], slice, reference, unknown);
            at += length;
        }
        if (at != size)
            return PictureRole::Unknown;
    } else {
        for (std::size_t i = 0; i + 3 < size; ++i) {
            if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
                NoteNal(data[i + 3], slice, reference, unknown);
                i += 2;
            }
        }
    }
    if (unknown || !slice)
        return PictureRole::Unknown;
    return reference ? PictureRole::Reference : PictureRole::NonReference;
}

PictureRole HevcPictureRole(const std::uint8_t* data, std::size_t size, int lengthSize) {
    // VCL types 0..31; of them the even ones up to 14 are sub-layer non-reference.
    constexpr int kLastVclType = 31;
    constexpr int kLastNonReferenceType = 14;
    if (lengthSize <= 0)
        return PictureRole::Unknown;
    bool slice = false;
    bool reference = false;
    std::size_t at = 0;
    while (at + static_cast<std::size_t>(lengthSize) <= size) {
        std::size_t length = 0;
        for (int i = 0; i < lengthSize; ++i)
            length = (length << 8) | data[at + i];
        at += static_cast<std::size_t>(lengthSize);
        if (length < 2 || length > size - at)
            return PictureRole::Unknown;
        const int type = (data[at] >> 1) & 0x3F;
        const int layer = ((data[at] & 0x1) << 5) | (data[at + 1] >> 3);
        if (layer != 0)
            return PictureRole::Unknown; // a scalable or multi-view layer
        if (type <= kLastVclType) {
            slice = true;
            if (type > kLastNonReferenceType || type % 2 != 0)
                reference = true;
        }
        at += length;
    }
    if (at != size || !slice)
        return PictureRole::Unknown;
    return reference ? PictureRole::Reference : PictureRole::NonReference;
}

bool SpanHoldsFrame(double previous, double time, const FrameGrid& grid) {
    if (grid.first < 0 || grid.interval <= 0)
        return true;
    const double low = previous - kSkipMargin;
    const double high = time + kSkipMargin;
    if (high < grid.first)
        return false;
    // The first frame time at or after `low`.
    const double steps = std::ceil((low - grid.first) / grid.interval);
    const double next = grid.first + std::max(steps, 0.0) * grid.interval;
    return next <= high;
}

void PictureSkip::SetGrid(const FrameGrid& grid) {
    std::lock_guard lock(m_lock);
    m_enabled = grid.first >= 0 && grid.interval > 0;
    m_grid = grid;
}

void PictureSkip::Disable() {
    std::lock_guard lock(m_lock);
    m_enabled = false;
}

std::deque<GstClockTime> PictureSkip::TakeSkippedBefore(GstClockTime runningTime) {
    std::deque<GstClockTime> due;
    std::lock_guard lock(m_lock);
    while (!m_queue.empty() && (!GST_CLOCK_TIME_IS_VALID(runningTime) || m_queue.front() < runningTime)) {
        due.push_back(m_queue.front());
        m_queue.pop_front();
    }
    return due;
}

bool PictureSkip::Skip(GstClockTime previous, GstClockTime runningTime) {
    std::lock_guard lock(m_lock);
    // Only after the first frame: before it the pacing has no grid yet.
    if (!m_enabled || Seconds(previous) <= m_grid.first + kSkipMargin)
        return false;
    if (SpanHoldsFrame(Seconds(previous), Seconds(runningTime), m_grid))
        return false;
    auto at = m_queue.end();
    while (at != m_queue.begin() && *(at - 1) > runningTime)
        --at;
    m_queue.insert(at, runningTime);
    return true;
}

void PictureSkip::Flush() {
    std::lock_guard lock(m_lock);
    m_queue.clear();
}

void PictureSkip::Reset() {
    std::lock_guard lock(m_lock);
    m_enabled = false;
    m_grid = FrameGrid{};
    m_queue.clear();
}

// ---------------------------------------------------------------- the decoder's input

void DecoderInputProbe::Attach(GstPad* decoderSink, std::shared_ptr<PictureSkip> skip) {
    auto* probe = new DecoderInputProbe(std::move(skip)); // owned by the pad's probe
    gst_pad_add_probe(decoderSink,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                                   GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      &DecoderInputProbe::OnProbe, probe,
                      [](gpointer data) { delete static_cast<DecoderInputProbe*>(data); });
}

GstPadProbeReturn DecoderInputProbe::OnProbe(GstPad*, GstPadProbeInfo* info, gpointer self) {
    auto* probe = static_cast<DecoderInputProbe*>(self);
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER)
        return probe->Buffer(info);
    return probe->Event(GST_PAD_PROBE_INFO_EVENT(info));
}

GstPadProbeReturn DecoderInputProbe::Event(GstEvent* event) {
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_SEGMENT: {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        m_segment = *segment;
        m_haveSegment = segment->format == GST_FORMAT_TIME;
        m_recent.clear();
        m_clock.Reset();
        break;
    }
    case GST_EVENT_CAPS: {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        m_coding = CodingOf(s, m_lengthSize);
        int rateN = 0;
        int rateD = 0;
        const bool rate = gst_structure_get_fraction(s, "framerate", &rateN, &rateD) && rateN > 0 && rateD > 0;
        m_clock.SetPeriod(
            rate ? gst_util_uint64_scale(GST_SECOND, static_cast<guint64>(rateD), static_cast<guint64>(rateN)) : 0);
        break;
    }
    case GST_EVENT_FLUSH_STOP:
        m_skip->Flush();
        m_recent.clear();
        m_clock.Reset();
        m_untimed = false;
        break;
    default:
        break;
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn DecoderInputProbe::Buffer(GstPadProbeInfo* info) {
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!m_haveSegment || m_coding == Coding::None)
        return GST_PAD_PROBE_OK;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_PAD_PROBE_OK;
    PictureRole role = PictureRole::Unknown;
    GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (m_coding == Coding::H264) {
        role = H264PictureRole(map.data, map.size, m_lengthSize);
    } else if (m_coding == Coding::Hevc) {
        role = HevcPictureRole(map.data, map.size, m_lengthSize);
    } else {
        const MpegPictureHeader header = ReadMpegPicture(map.data, map.size);
        role = header.picture
                   ? (header.codingType == kMpegBPicture ? PictureRole::NonReference : PictureRole::Reference)
                   : PictureRole::Unknown;
        pts = m_clock.Place(header, pts);
    }
    gst_buffer_unmap(buffer, &map);
    if (GST_CLOCK_TIME_IS_VALID(pts) && !GST_CLOCK_TIME_IS_VALID(GST_BUFFER_PTS(buffer))) {
        // The picture keeps the time its place gives instead of one the decoder invents.
        buffer = gst_buffer_make_writable(buffer);
        GST_BUFFER_PTS(buffer) = pts;
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
    }
    if (m_segment.rate != 1.0 || m_segment.applied_rate != 1.0)
        return GST_PAD_PROBE_OK;
    if (!GST_CLOCK_TIME_IS_VALID(pts)) {
        m_untimed = true;
        return GST_PAD_PROBE_OK;
    }
    const GstClockTime running = gst_segment_to_running_time(&m_segment, GST_FORMAT_TIME, pts);
    if (!GST_CLOCK_TIME_IS_VALID(running))
        return GST_PAD_PROBE_OK;
    const auto before = m_recent.lower_bound(running);
    const bool known = before != m_recent.begin();
    const GstClockTime previous = known ? *std::prev(before) : 0;
    m_recent.insert(running);
    if (m_recent.size() > kSkipHistory)
        m_recent.erase(m_recent.begin());
    if (!known || m_untimed || role != PictureRole::NonReference)
        return GST_PAD_PROBE_OK;
    return m_skip->Skip(previous, running) ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

} // namespace zem::media
