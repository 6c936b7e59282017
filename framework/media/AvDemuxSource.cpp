#include "AvDemuxSource.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>

namespace zem::media {

namespace {

// Packets are stamped this much later than libavformat's times, and the
// segment starts there: the pictures an edit list keeps out and the sound's
// encoder delay have times below the film's 0, which a buffer cannot carry;
// decoded, they fall before the segment and are dropped, as a player drops them.
constexpr GstClockTime kTimeShift = 100 * GST_SECOND;
// While a stream asks for data, the others' packets are queued up to this
// much each; past it the asking stream waits until they have been taken.
constexpr guint64 kQueueLimitBytes = 64 * 1024 * 1024;
constexpr AVRational kNanoseconds = {1, 1000000000};

GstClockTime BufferTime(int64_t time, AVRational base) {
    if (time == AV_NOPTS_VALUE)
        return GST_CLOCK_TIME_NONE;
    const int64_t ns = av_rescale_q(time, base, kNanoseconds) + static_cast<int64_t>(kTimeShift);
    return ns < 0 ? GST_CLOCK_TIME_NONE : static_cast<GstClockTime>(ns);
}

void FreePacket(gpointer packet) {
    auto* owned = static_cast<AVPacket*>(packet);
    av_packet_free(&owned);
}

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

} // namespace

AvDemuxFeed::AvDemuxFeed(std::string path, std::vector<AvStream> streams, std::shared_ptr<StreamGate> gate)
    : m_path(std::move(path)), m_streams(std::move(streams)), m_gate(std::move(gate)) {}

AvDemuxFeed::~AvDemuxFeed() = default;

std::vector<GstElement*> AvDemuxFeed::Build(GstBin* bin) {
    std::vector<GstElement*> decoders;
    m_sources.clear();
    m_sourceOf.clear();
    for (const AvStream& stream : m_streams) {
        GstElement* source = MakeElement(bin, "appsrc");
        GstElement* decoder = source ? MakeElement(bin, "decodebin") : nullptr;
        if (!decoder || !gst_element_link(source, decoder))
            return {};
        g_object_set(source, "caps", stream.caps.get(), "format", GST_FORMAT_TIME, "is-live", FALSE, "block", FALSE,
                     nullptr);
        gst_app_src_set_stream_type(GST_APP_SRC(source), GST_APP_STREAM_TYPE_STREAM);
        GstAppSrcCallbacks callbacks{};
        callbacks.need_data = &AvDemuxFeed::OnNeedData;
        gst_app_src_set_callbacks(GST_APP_SRC(source), &callbacks, this, nullptr);
        GstRef<GstPad> pad(gst_element_get_static_pad(source, "src"));
        gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &AvDemuxFeed::OnSegment, nullptr, nullptr);
        const auto index = static_cast<std::size_t>(stream.index);
        if (m_sourceOf.size() <= index)
            m_sourceOf.resize(index + 1, -1);
        m_sourceOf[index] = static_cast<int>(m_sources.size());
        m_sources.emplace_back(GST_ELEMENT(gst_object_ref(source)));
        decoders.push_back(decoder);
    }
    return decoders;
}

GstPadProbeReturn AvDemuxFeed::OnSegment(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT)
        return GST_PAD_PROBE_OK;
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    segment.start = kTimeShift;
    segment.position = kTimeShift;
    segment.time = 0;
    GstEvent* shifted = gst_event_new_segment(&segment);
    gst_event_set_seqnum(shifted, gst_event_get_seqnum(event));
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = shifted;
    return GST_PAD_PROBE_OK;
}

void AvDemuxFeed::OnNeedData(GstAppSrc* source, guint, gpointer self) {
    auto* feed = static_cast<AvDemuxFeed*>(self);
    std::lock_guard lock(feed->m_mutex);
    feed->Feed(source);
}

bool AvDemuxFeed::Start(GstAppSrc* asking) {
    m_started = true;
    std::string why;
    m_input = OpenAvInput(m_path, &why);
    if (!m_input) {
        // The file changed or went after it was loaded.
        ErrorRef error(g_error_new(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_OPEN_READ, "Cannot read %s: %s",
                                   m_path.c_str(), why.empty() ? "not the file it was" : why.c_str()));
        gst_element_post_message(GST_ELEMENT(asking),
                                 gst_message_new_error(GST_OBJECT(asking), error.get(), "libavformat"));
        return false;
    }
    // A pipeline built again to start at a position: decoding starts at the
    // key picture before it, and the source drops what comes before it.
    const gint64 until = m_gate ? m_gate->discardUntil.load() : -1;
    if (until > 0)
        av_seek_frame(m_input.get(), -1, av_rescale_q(until, kNanoseconds, AV_TIME_BASE_Q), AVSEEK_FLAG_BACKWARD);
    return true;
}

void AvDemuxFeed::Feed(GstAppSrc* wanted) {
    if (m_ended)
        return;
    if (!m_started && !Start(wanted)) {
        EndAll();
        return;
    }
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet) {
        EndAll();
        return;
    }
    for (;;) {
        // The end of the file, or the first packet it cannot read: what came
        // before is the film, as players take it.
        if (av_read_frame(m_input.get(), packet.get()) < 0) {
            EndAll();
            return;
        }
        const auto index = static_cast<std::size_t>(packet->stream_index);
        const int at = index < m_sourceOf.size() ? m_sourceOf[index] : -1;
        if (at < 0) {
            av_packet_unref(packet.get());
            continue;
        }
        Push(static_cast<std::size_t>(at), packet.get());
        if (GST_APP_SRC(m_sources[static_cast<std::size_t>(at)].get()) == wanted)
            return;
        const bool othersFull = std::any_of(m_sources.begin(), m_sources.end(), [&](const auto& source) {
            return GST_APP_SRC(source.get()) != wanted &&
                   gst_app_src_get_current_level_bytes(GST_APP_SRC(source.get())) > kQueueLimitBytes;
        });
        if (othersFull)
            return;
    }
}

void AvDemuxFeed::Push(std::size_t at, AVPacket* packet) {
    const AVRational base = m_input->streams[packet->stream_index]->time_base;
    AVPacket* owned = av_packet_alloc();
    if (!owned) {
        av_packet_unref(packet);
        return;
    }
    av_packet_move_ref(owned, packet);
    GstBuffer* buffer =
        gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, owned->data, static_cast<gsize>(owned->size), 0,
                                    static_cast<gsize>(owned->size), owned, &FreePacket);
    GST_BUFFER_PTS(buffer) = BufferTime(owned->pts, base);
    GST_BUFFER_DTS(buffer) = BufferTime(owned->dts, base);
    if (owned->duration > 0)
        GST_BUFFER_DURATION(buffer) = static_cast<GstClockTime>(av_rescale_q(owned->duration, base, kNanoseconds));
    if (!(owned->flags & AV_PKT_FLAG_KEY))
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    // Takes the buffer; a source being taken down refuses it, and the
    // pipeline going down ends the run anyway.
    gst_app_src_push_buffer(GST_APP_SRC(m_sources[at].get()), buffer);
}

void AvDemuxFeed::EndAll() {
    m_ended = true;
    for (const auto& source : m_sources)
        gst_app_src_end_of_stream(GST_APP_SRC(source.get()));
    m_input.reset();
}

} // namespace zem::media
