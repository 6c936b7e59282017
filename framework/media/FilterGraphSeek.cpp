// Positions: seeking, and decoding from the start where a demuxer cannot seek.
#include "FilterGraph.h"

#include <algorithm>

namespace zem::media {

namespace {

constexpr int kSeekWaitMs = 4000;          // a seek that has not settled by then is taken as failed
constexpr gint64 kSeekLeadNs = GST_SECOND; // how far before the target decoding starts after a seek
constexpr gint64 kLongSeekLeadNs = 5 * GST_SECOND;
constexpr double kDefaultFrameSeconds = 0.04;

} // namespace

gint64 FilterGraph::OriginNs() const {
    const gint64 origin = m_gate->origin.load();
    return origin > 0 ? origin : 0;
}

double FilterGraph::FrameSeconds() const {
    for (auto& f : m_filters)
        if (f->IsSource())
            for (const auto& pin : f->Pins())
                if (pin->Format().major == MEDIATYPE_Video && pin->Format().fps > 0)
                    return 1.0 / pin->Format().fps;
    return kDefaultFrameSeconds;
}

HRESULT FilterGraph::RebuildDiscardingTo(REFERENCE_TIME target) {
    // Decode from the start and drop everything before the target.
    const bool deliver = m_gate->deliver.load();
    HRESULT hr = Realize();
    if (FAILED(hr))
        return hr;
    m_gate->discardUntil.store(target > 0 ? OriginNs() + target * 100 : -1);
    m_gate->deliver.store(deliver);
    hr = SetPipelineState(GST_STATE_PAUSED);
    if (FAILED(hr)) {
        Teardown();
        return hr;
    }
    m_prerolled = true;
    return S_OK;
}

bool FilterGraph::SeekFrom(gint64 start, REFERENCE_TIME position, GstStateChangeReturn* result) {
    m_gate->firstVideoTime.store(-1);
    m_gate->discardUntil.store(position > 0 ? OriginNs() + position * 100 : -1);
    m_events.ClearEnd();
    // Sent through one sink only: a pipeline hands a seek to every sink, and the MPEG
    // program-stream demuxer then seeks once per stream, sending the range twice.
    GstEvent* seek = gst_event_new_seek(1.0, GST_FORMAT_TIME,
                                        static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                        GST_SEEK_TYPE_SET, start, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    GstElement* sink = nullptr;
    GstIterator* it = gst_bin_iterate_sinks(GST_BIN(m_pipeline.get()));
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(it, &item) == GST_ITERATOR_OK)
        sink = GST_ELEMENT(g_value_dup_object(&item));
    g_value_unset(&item);
    gst_iterator_free(it);
    GstRef<GstElement> target(sink ? sink : GST_ELEMENT(gst_object_ref(m_pipeline.get())));
    if (!gst_element_send_event(target.get(), seek))
        return false;
    *result = WaitForState(kSeekWaitMs);
    return true;
}

HRESULT FilterGraph::Reposition(REFERENCE_TIME target, bool exact) {
    const gint64 targetNs = OriginNs() + target * 100;
    const auto tolerance = exact ? GST_MSECOND : static_cast<gint64>(FrameSeconds() * GST_SECOND) + GST_MSECOND;
    const bool hasVideo = HasSourceVideo();
    // Pictures and sound must not reach callbacks and files while the right start is searched.
    const bool deliver = m_gate->deliver.exchange(false);
    if (!m_seekBroken && target == 0 && deliver && HasDeliveringFilters()) {
        // From the start there is nothing to search: one seek, handing everything on.
        m_gate->deliver.store(true);
        GstStateChangeReturn r = GST_STATE_CHANGE_FAILURE;
        if (SeekFrom(0, 0, &r) && r == GST_STATE_CHANGE_SUCCESS) {
            return S_OK;
        }
        m_gate->deliver.store(false);
        m_seekBroken = true;
    }
    if (!m_seekBroken) {
        // Demuxers may land on the key picture after the target whatever the flags say, so
        // decoding starts a little before it (the part before the target is dropped), then
        // further before it (cheaper than the start of a long file), and from the very
        // start when even that lands too late.
        const gint64 starts[] = {target > 0 ? std::max<gint64>(0, targetNs - kSeekLeadNs) : 0,
                                 target > 0 ? std::max<gint64>(0, targetNs - kLongSeekLeadNs) : 0, 0};
        for (gint64 start : starts) {
            GstStateChangeReturn r = GST_STATE_CHANGE_FAILURE;
            if (!SeekFrom(start, target, &r) || r == GST_STATE_CHANGE_ASYNC) {
                m_seekBroken = true;
                break;
            }
            if (r == GST_STATE_CHANGE_FAILURE)
                return E_FAIL;
            const gint64 first = m_gate->firstVideoTime.load();
            if (!hasVideo || first < 0 || first <= targetNs + tolerance || start == 0) {
                if (!deliver || !HasDeliveringFilters()) {
                    m_gate->deliver.store(deliver);
                    return S_OK;
                }
                // Once more from the same place, now handing everything on.
                m_gate->deliver.store(true);
                if (SeekFrom(start, target, &r) && r == GST_STATE_CHANGE_SUCCESS)
                    return S_OK;
                m_seekBroken = true;
                break;
            }
        }
    }
    Trace("Seeking failed; decoding from the start to the position");
    m_gate->deliver.store(deliver);
    return RebuildDiscardingTo(target);
}

HRESULT FilterGraph::GetCapabilities(std::uint32_t* caps) {
    if (!caps)
        return E_POINTER;
    *caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
            AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
    return S_OK;
}

HRESULT FilterGraph::IsFormatSupported(const GUID* format) {
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT FilterGraph::GetTimeFormat(GUID* format) {
    if (!format)
        return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT FilterGraph::SetTimeFormat(const GUID* format) {
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT FilterGraph::GetDuration(REFERENCE_TIME* duration) {
    if (!duration)
        return E_POINTER;
    *duration = LongestDuration();
    return *duration > 0 ? S_OK : E_FAIL;
}

REFERENCE_TIME FilterGraph::QueryPosition() const {
    if (!m_pipeline || m_dirty || !m_prerolled)
        return m_position;
    gint64 position = 0;
    if (!gst_element_query_position(m_pipeline.get(), GST_FORMAT_TIME, &position) || position < 0)
        return m_position;
    REFERENCE_TIME value = std::max<gint64>(0, position - OriginNs()) / 100;
    const REFERENCE_TIME duration = LongestDuration();
    if (duration > 0)
        value = std::min(value, duration);
    return value;
}

HRESULT FilterGraph::GetCurrentPosition(REFERENCE_TIME* position) {
    if (!position)
        return E_POINTER;
    *position = m_state == State_Stopped ? m_position : m_state == State_Paused ? PausedPosition() : QueryPosition();
    return S_OK;
}

REFERENCE_TIME FilterGraph::PausedPosition() const {
    // Paused, the sinks report the end of what they hold (and a sound output
    // whose clock ran on, more): the picture on screen is what the position means.
    const REFERENCE_TIME position = QueryPosition();
    auto renderer = FindVideoRenderer(true);
    gint64 shown = 0;
    gint64 length = 0;
    if (!renderer || !m_pipeline || m_dirty || !renderer->Pictures()->ShownPicture(&shown, &length))
        return position;
    if (length <= 0)
        length = static_cast<gint64>(FrameSeconds() * GST_SECOND);
    const REFERENCE_TIME start = std::max<gint64>(0, shown - OriginNs() + 99) / 100;
    const REFERENCE_TIME end = std::max<gint64>(0, shown + length - OriginNs()) / 100;
    return position >= start && position < end ? position : start;
}

HRESULT FilterGraph::SetPositions(REFERENCE_TIME* current, std::uint32_t currentFlags, REFERENCE_TIME*, std::uint32_t) {
    const std::uint32_t mode = currentFlags & AM_SEEKING_PositioningBitsMask;
    if (mode == AM_SEEKING_NoPositioning)
        return S_OK;
    if (!current)
        return E_POINTER;
    REFERENCE_TIME target = *current;
    if (mode == AM_SEEKING_RelativePositioning)
        target += QueryPosition();
    else if (mode != AM_SEEKING_AbsolutePositioning)
        return E_INVALIDARG;
    REFERENCE_TIME duration = 0;
    if (SUCCEEDED(GetDuration(&duration)))
        target = std::min(target, duration);
    target = std::max<REFERENCE_TIME>(0, target);
    m_position = target;
    m_events.ClearEnd();
    if (!m_pipeline || m_dirty || !m_prerolled)
        return S_OK;
    const bool running = m_state == State_Running;
    HRESULT hr = Reposition(target);
    if (FAILED(hr))
        return hr;
    if (running && m_pipeline)
        gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);
    return S_OK;
}

REFERENCE_TIME FilterGraph::LongestDuration() const {
    REFERENCE_TIME duration = 0;
    for (auto& f : m_filters)
        duration = std::max(duration, f->Duration());
    return duration;
}

bool FilterGraph::HasSourceVideo() const {
    bool hasVideo = false;
    for (auto& f : m_filters)
        if (f->IsSource())
            for (const auto& pin : f->Pins())
                hasVideo |= pin->Format().major == MEDIATYPE_Video;
    return hasVideo;
}

} // namespace zem::media
