// Realisation (the filters as one GStreamer pipeline) and the media control.
#include "FilterGraph.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zem::media {

namespace {

constexpr int kStatePollMs = 20;
// Demuxers known to accept a seek and then never finish it.
constexpr const char* kSeeklessDemuxers[] = {"rmdemux"};

// How the video decoder spreads its work over the cores: frame threads
// (pictures side by side, each thread keeping a set of pictures alive) or slice
// threads (parts of one picture side by side, where the stream is coded for
// it: HEVC wavefronts or tiles, several slices; otherwise one thread decodes).
struct DecodeThreads {
    int count = 1;
    bool slices = false;
};

// Pictures with at least this many lines (on their shorter side) decode on
// slice threads. Up to 1080 lines a frame thread a core keeps both cores busy
// within 140 MB (a minute of 1080p30 H.264: 133-135 MB, the wall time 15 %
// shorter than with one thread, the outputs byte for byte the same). A 4K
// picture of 10-bit samples is 25 MB: two frame threads keep more of them
// alive than ffmpeg does by far (10 s of 2160p30 HEVC Main 10: 473 MB against
// ffmpeg's 328 MB; one thread 407 MB), while slice threads keep no more alive
// than one thread does (409 MB). They split that film's decoding 5.5 : 4.1
// CPU-seconds where one thread took 7.2, at about 2 CPU-seconds more in all
// (the threads wait for each other's rows).
constexpr int kSliceThreadsLines = 1440;
// The decoder's thread count, set in the environment, replaces the count chosen
// (for comparing outputs and measuring); the kind stays the one chosen by height.
constexpr const char* kDecodeThreadsVariable = "ZEM_DECODE_THREADS";
constexpr int kMostDecodeThreads = 16;

DecodeThreads DecodeThreadsFor(int lines) {
    DecodeThreads threads{static_cast<int>(g_get_num_processors()), lines >= kSliceThreadsLines};
    if (const char* asked = std::getenv(kDecodeThreadsVariable)) {
        const int count = std::atoi(asked);
        if (count >= 1 && count <= kMostDecodeThreads)
            threads.count = count;
    }
    return threads;
}

// The choice travels with the signal as one number: slice threads negative.
gpointer Packed(const DecodeThreads& threads) {
    return GINT_TO_POINTER(threads.slices ? -threads.count : threads.count);
}

DecodeThreads Unpacked(gpointer packed) {
    const int count = GPOINTER_TO_INT(packed);
    return {std::abs(count), count < 0};
}

// libav's video decoders pick slice threads on their own, which leaves single-slice
// streams on one core; frame threads decode them as fast as ffmpeg does. One
// thread a core is enough (the grabber needs a core too) and each further frame
// thread keeps a set of large pictures alive. `packed` carries the choice for the graph.
void OnElementAdded(GstBin*, GstBin*, GstElement* element, gpointer packed) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory)
        return;
    const gchar* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    const gchar* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (!g_str_has_prefix(name, "avdec_") || !klass || !std::strstr(klass, "Video"))
        return;
    const DecodeThreads threads = Unpacked(packed);
    GObjectClass* cls = G_OBJECT_GET_CLASS(element);
    if (g_object_class_find_property(cls, "thread-type"))
        gst_util_set_object_arg(G_OBJECT(element), "thread-type", threads.slices ? "slice" : "frame");
    if (g_object_class_find_property(cls, "max-threads"))
        g_object_set(element, "max-threads", static_cast<gint>(threads.count), nullptr);
}

} // namespace

void FilterGraph::TopologyChanged() {
    if (m_pipeline) {
        m_position = QueryPosition();
        Teardown();
    }
    m_dirty = true;
}

void FilterGraph::Teardown() {
    m_events.StopWatchdog();
    if (m_pipeline) {
        GstRef<GstBus> bus(gst_element_get_bus(m_pipeline.get()));
        gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
        GraphEvents::Detach(bus.get());
        m_pipeline.reset();
        // Decoded pictures are large and were freed on many streaming threads; hand
        // the memory back so one file after another does not pile it up.
        malloc_trim(0);
    }
    for (auto& filter : m_realized)
        filter->Unrealize();
    m_realized.clear();
    m_prerolled = false;
    m_dirty = true;
    m_gate->deliver.store(false);
}

HRESULT FilterGraph::Realize() {
    Teardown();
    m_pipeline = AdoptFloating(gst_pipeline_new(nullptr));
    GstBin* bin = GST_BIN(m_pipeline.get());
    // A phone films upright as often as not: the shorter side says the size.
    int lines = 0;
    for (auto& f : m_filters)
        if (f->IsSource())
            for (const auto& pin : f->Pins())
                if (pin->Format().major == MEDIATYPE_Video)
                    lines = std::max(lines, std::min(pin->Format().width, pin->Format().height));
    g_signal_connect(bin, "deep-element-added", G_CALLBACK(&OnElementAdded), Packed(DecodeThreadsFor(lines)));
    // Sources last: they route their streams to the inputs the others have made.
    std::vector<std::shared_ptr<BaseFilter>> order;
    for (auto& f : m_filters)
        if (!f->IsSource() && f->HasConnectedPin())
            order.push_back(f);
    for (auto& f : m_filters)
        if (f->IsSource())
            order.push_back(f);
    HRESULT hr = RealizeFilters(bin, order);
    if (SUCCEEDED(hr))
        hr = LinkFilters(bin, order);
    if (FAILED(hr)) {
        Teardown();
        return hr;
    }
    GstRef<GstBus> bus(gst_element_get_bus(m_pipeline.get()));
    m_gate->dataSeen.store(false);
    m_events.Attach(bus.get(), m_gate);
    if (m_noClock)
        gst_pipeline_use_clock(GST_PIPELINE(m_pipeline.get()), nullptr);
    m_gate->deliver.store(false);
    m_gate->discardUntil.store(-1);
    m_gate->firstVideoTime.store(-1);
    m_gate->lastActivityMs.store(MonotonicMs());
    m_gate->skip->Reset();
    m_events.NewRun();
    m_dirty = false;
    return S_OK;
}

HRESULT FilterGraph::RealizeFilters(GstBin* bin, const std::vector<std::shared_ptr<BaseFilter>>& order) {
    RealizeContext context;
    context.gate = m_gate;
    for (auto& f : m_filters)
        context.preferMpeg2 |= f->SelectsMpeg2Decoder();
    std::weak_ptr<FilterGraph> self = weak_from_this();
    context.post = [self](long code) {
        if (auto graph = self.lock())
            graph->m_events.Post(code);
    };
    m_events.ClearToleratedErrors();
    context.tolerateError = [this](const std::string& text) { m_events.TolerateError(text); };
    for (auto& f : order) {
        m_realized.push_back(f);
        if (!f->Realize(bin, context)) {
            Trace("Could not realise \"%s\"", f->Name().c_str());
            return E_FAIL;
        }
    }
    return S_OK;
}

HRESULT FilterGraph::LinkFilters(GstBin* bin, const std::vector<std::shared_ptr<BaseFilter>>& order) {
    for (auto& f : order) {
        if (f->IsSource())
            continue;
        for (const auto& pin : f->Pins()) {
            if (pin->Direction() != PINDIR_OUTPUT)
                continue;
            GstPad* src = f->OutputPad(pin->Index());
            if (!src)
                continue;
            GstPad* sink = nullptr;
            if (auto peer = pin->Peer())
                if (auto down = peer->Owner())
                    sink = down->InputPad(peer->Index());
            if (!sink) {
                GstElement* fake = MakeElement(bin, "fakesink");
                if (!fake)
                    continue;
                g_object_set(fake, "sync", FALSE, "async", FALSE, nullptr);
                GstRef<GstPad> pad(gst_element_get_static_pad(fake, "sink"));
                gst_pad_link(src, pad.get());
                continue;
            }
            if (gst_pad_link(src, sink) != GST_PAD_LINK_OK) {
                Trace("Could not link \"%s\" to its peer", f->Name().c_str());
                return VFW_E_CANNOT_CONNECT;
            }
        }
    }
    return S_OK;
}

GstStateChangeReturn FilterGraph::WaitForState(int timeoutMs) {
    // Poll so that an error posted meanwhile ends the wait at once.
    const gint64 end = MonotonicMs() + timeoutMs;
    for (;;) {
        GstStateChangeReturn r = gst_element_get_state(m_pipeline.get(), nullptr, nullptr, kStatePollMs * GST_MSECOND);
        if (r != GST_STATE_CHANGE_ASYNC)
            return r;
        if (m_events.ErrorPosted())
            return GST_STATE_CHANGE_FAILURE;
        if (MonotonicMs() >= end)
            return GST_STATE_CHANGE_ASYNC;
    }
}

HRESULT FilterGraph::SetPipelineState(GstState state) {
    if (gst_element_set_state(m_pipeline.get(), state) == GST_STATE_CHANGE_FAILURE)
        return E_FAIL;
    const GstStateChangeReturn r = WaitForState(kStateWaitMs);
    if (r == GST_STATE_CHANGE_FAILURE)
        return E_FAIL;
    if (r == GST_STATE_CHANGE_ASYNC)
        return VFW_E_TIMEOUT;
    return S_OK;
}

HRESULT FilterGraph::EnsurePrerolled(bool deliver) {
    if (m_pipeline && !m_dirty && m_prerolled)
        return S_OK;
    bool hasSource = false;
    for (auto& f : m_filters)
        hasSource |= f->IsSource();
    if (!hasSource)
        return VFW_E_NOT_CONNECTED;
    HRESULT hr = Realize();
    if (FAILED(hr))
        return hr;
    m_gate->deliver.store(deliver);
    const bool knownOrigin = m_gate->originFixed.load();
    if (m_seekBroken && knownOrigin && m_position > 0)
        m_gate->discardUntil.store(OriginNs() + m_position * 100);
    hr = SetPipelineState(GST_STATE_PAUSED);
    if (FAILED(hr)) {
        Trace("Pipeline did not preroll: 0x%08x", static_cast<unsigned>(hr));
        Teardown();
        return hr;
    }
    m_prerolled = true;
    m_gate->originFixed.store(true);
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(m_pipeline.get()));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        const gchar* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
        for (const char* seekless : kSeeklessDemuxers)
            m_seekBroken |= std::strcmp(name, seekless) == 0;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    if (m_position > 0 && m_gate->discardUntil.load() < 0)
        return Reposition(m_position);
    return S_OK;
}

bool FilterGraph::HasDeliveringFilters() const {
    for (auto& f : m_realized)
        if (f->Delivers())
            return true;
    return false;
}

bool FilterGraph::ConnectsDeliveringFilters() const {
    for (auto& f : m_filters)
        if (f->Delivers() && f->HasConnectedPin())
            return true;
    return false;
}

HRESULT FilterGraph::Run() {
    if (m_state == State_Running)
        return S_OK;
    // A run from the start that hands its data on plays from a pipeline built
    // for it (below): one prerolled first without handing anything on would be
    // taken down unseen, its first pictures decoded for nothing (at 4K a
    // second of CPU).
    const bool built = m_pipeline && !m_dirty && m_prerolled;
    const bool freshRun = !built && m_position == 0 && !m_gate->deliver.load() && ConnectsDeliveringFilters();
    HRESULT hr = EnsurePrerolled(freshRun);
    if (FAILED(hr))
        return hr;
    if (!m_gate->deliver.load()) {
        m_gate->deliver.store(true);
        // What went through while stopped reached no callback and no file: play the range again.
        // From the start the pipeline is built afresh rather than seeked: a Matroska file may
        // store a stream's first block in a later cluster (a 1-picture film with PCM sound),
        // its index then points there and a seek to 0 skips all the sound before it.
        if (HasDeliveringFilters()) {
            hr = m_seekBroken || m_position == 0 ? RebuildDiscardingTo(m_position) : Reposition(m_position);
            if (FAILED(hr))
                return hr;
        }
    }
    if (gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return E_FAIL;
    if (WaitForState(kStateWaitMs) == GST_STATE_CHANGE_FAILURE)
        return E_FAIL;
    m_state = State_Running;
    m_events.StartWatchdog(m_gate);
    return S_OK;
}

HRESULT FilterGraph::Pause() {
    if (m_state == State_Paused)
        return S_OK;
    HRESULT hr = EnsurePrerolled();
    if (FAILED(hr))
        return hr;
    m_events.StopWatchdog();
    if (m_state == State_Running) {
        hr = SetPipelineState(GST_STATE_PAUSED);
        if (hr == E_FAIL)
            return hr;
    }
    m_state = State_Paused;
    return S_OK;
}

HRESULT FilterGraph::Stop() {
    m_events.StopWatchdog();
    m_gate->deliver.store(false);
    if (m_pipeline && !m_dirty) {
        m_position = QueryPosition();
        if (m_noClock) {
            // A run without a clock is a conversion: nothing is shown when it
            // stops, and pausing it would wait for every sink to preroll again
            // (seconds, while the window waits). Taking the pipeline down
            // stops it at once; the next Pause or Run builds it again.
            Teardown();
        } else {
            gst_element_set_state(m_pipeline.get(), GST_STATE_PAUSED);
            WaitForState(kStateWaitMs);
        }
    }
    m_state = State_Stopped;
    return S_OK;
}

HRESULT FilterGraph::StopWhenReady() {
    m_events.StopWatchdog();
    m_gate->deliver.store(false);
    HRESULT hr = EnsurePrerolled();
    if (FAILED(hr))
        return hr;
    if (m_state == State_Running) {
        m_position = QueryPosition();
        hr = SetPipelineState(GST_STATE_PAUSED);
        if (hr == E_FAIL)
            return hr;
    }
    m_state = State_Stopped;
    return S_OK;
}

HRESULT FilterGraph::GetState(long timeoutMs, OAFilterState* state) {
    if (!state)
        return E_POINTER;
    *state = m_state;
    if (!m_pipeline)
        return S_OK;
    const GstStateChangeReturn r = WaitForState(timeoutMs < 0 ? kStateWaitMs : static_cast<int>(timeoutMs));
    if (r == GST_STATE_CHANGE_ASYNC)
        return VFW_S_STATE_INTERMEDIATE;
    return r == GST_STATE_CHANGE_FAILURE ? E_FAIL : S_OK;
}

} // namespace zem::media
