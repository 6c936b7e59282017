#include "FilterGraph.h"

#include "AsxPlaylist.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <malloc.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace zem::media {

std::shared_ptr<IEnumFilters> MakeFilterEnum(const std::vector<std::shared_ptr<BaseFilter>>& filters);

namespace {

constexpr int kSeekWaitMs = 4000;            // a seek that has not settled by then is taken as failed
constexpr int kStatePollMs = 20;
constexpr gint64 kStallMs = 15000;           // running without any data for this long is an error
constexpr int kWatchdogPeriodMs = 250;
constexpr gint64 kSeekLeadNs = GST_SECOND;   // how far before the target decoding starts after a seek
constexpr double kDefaultFrameSeconds = 0.04;
constexpr const char* kVideoRendererName = "Video Renderer";
constexpr const char* kAudioRendererName = "Audio Renderer";
// Demuxers known to accept a seek and then never finish it.
constexpr const char* kSeeklessDemuxers[] = {"rmdemux"};

std::string LowerExtension(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

// Pictures at least this tall decode on one thread: a second frame thread keeps
// about 20 MB more of decoded pictures alive at 1080p (140 MB against 118 MB at
// the peak of a conversion), while the other core has the pictures, the JPEG
// and the MP3 coding to do anyway (measured: 9.0 s against 7.9-9.1 s for a
// minute of 1080p on two cores).
constexpr int kOneDecodeThreadHeight = 1080;

int DecodeThreadsFor(int pictureHeight)
{
    return pictureHeight >= kOneDecodeThreadHeight ? 1 : static_cast<int>(g_get_num_processors());
}

// libav's video decoders pick slice threads on their own, which leaves single-slice
// streams on one core; frame threads decode them as fast as ffmpeg does. One frame
// thread a core is enough (the grabber needs a core too) and each further thread
// keeps a set of large pictures alive. `threads` carries the count for the graph.
void OnElementAdded(GstBin*, GstBin*, GstElement* element, gpointer threads)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory) return;
    const gchar* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    const gchar* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (!g_str_has_prefix(name, "avdec_") || !klass || !std::strstr(klass, "Video")) return;
    GObjectClass* cls = G_OBJECT_GET_CLASS(element);
    if (g_object_class_find_property(cls, "thread-type")) gst_util_set_object_arg(G_OBJECT(element), "thread-type", "frame");
    if (g_object_class_find_property(cls, "max-threads"))
        g_object_set(element, "max-threads", static_cast<gint>(GPOINTER_TO_INT(threads)), nullptr);
}

// Which side of the conversion a GStreamer error lies on.
ErrorDetail::Kind ErrorKindOf(const GError* error)
{
    if (!error || error->domain != GST_RESOURCE_ERROR) return ErrorDetail::Kind::Decode;
    switch (error->code) {
    case GST_RESOURCE_ERROR_OPEN_WRITE:
    case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
    case GST_RESOURCE_ERROR_WRITE:
    case GST_RESOURCE_ERROR_NO_SPACE_LEFT:
        return ErrorDetail::Kind::Output;
    case GST_RESOURCE_ERROR_NOT_FOUND:
    case GST_RESOURCE_ERROR_OPEN_READ:
    case GST_RESOURCE_ERROR_READ:
    case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
        return ErrorDetail::Kind::Input;
    default:
        return ErrorDetail::Kind::Decode;
    }
}

void GraphLogFunction(GstDebugCategory* category, GstDebugLevel level, const gchar* file, const gchar* function,
                      gint line, GObject*, GstDebugMessage* message, gpointer graph)
{
    static_cast<FilterGraph*>(graph)->Trace("%s %s %s:%d:%s %s", gst_debug_level_get_name(level),
                                            gst_debug_category_get_name(category), file, line, function,
                                            gst_debug_message_get(message));
}

}  // namespace

FilterGraph::FilterGraph() { EnsureGstInitialised(); }

FilterGraph::~FilterGraph()
{
    StopWatchdog();
    SetLogFile(nullptr);
    Teardown();
    for (auto& filter : m_filters) filter->Finish();
}

void FilterGraph::Trace(const char* format, ...)
{
    std::lock_guard lock(m_logMutex);
    if (!m_logFile) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(m_logFile, format, args);
    va_end(args);
    std::fputc('\n', m_logFile);
}

std::shared_ptr<BaseFilter> FilterGraph::AsFilter(const IBaseFilterPtr& filter) const
{
    return std::dynamic_pointer_cast<BaseFilter>(filter);
}

bool FilterGraph::Contains(const std::shared_ptr<BaseFilter>& filter) const
{
    return std::find(m_filters.begin(), m_filters.end(), filter) != m_filters.end();
}

// ---------------------------------------------------------------- graph building

HRESULT FilterGraph::AddFilter(const IBaseFilterPtr& filter, const std::string& name)
{
    auto f = AsFilter(filter);
    if (!f) return E_POINTER;
    if (Contains(f) || !f->m_graph.expired()) return E_INVALIDARG;
    f->m_name = name;
    f->m_graph = weak_from_this();
    m_filters.push_back(f);
    Trace("AddFilter \"%s\" %s", name.c_str(), StringFromCLSID(f->m_clsid).c_str());
    return S_OK;
}

HRESULT FilterGraph::RemoveFilter(const IBaseFilterPtr& filter)
{
    auto f = AsFilter(filter);
    if (!f) return E_POINTER;
    if (!Contains(f)) return VFW_E_NOT_IN_GRAPH;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    Trace("RemoveFilter \"%s\"", f->m_name.c_str());
    const bool connected = f->HasConnectedPin();
    if (connected || std::find(m_realized.begin(), m_realized.end(), f) != m_realized.end()) TopologyChanged();
    for (auto& pin : f->m_pins) BreakConnection(pin);
    f->Finish();
    f->m_graph.reset();
    m_filters.erase(std::find(m_filters.begin(), m_filters.end(), f));
    return S_OK;
}

HRESULT FilterGraph::EnumFilters(std::shared_ptr<IEnumFilters>* filters)
{
    if (!filters) return E_POINTER;
    *filters = MakeFilterEnum(m_filters);
    return S_OK;
}

void FilterGraph::BreakConnection(const std::shared_ptr<Pin>& pin)
{
    if (auto peer = pin->Peer()) peer->m_peer.reset();
    pin->m_peer.reset();
}

HRESULT FilterGraph::Disconnect(const IPinPtr& pin)
{
    auto p = std::dynamic_pointer_cast<Pin>(pin);
    if (!p) return E_POINTER;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!p->IsConnected()) return S_FALSE;
    auto owner = p->Owner();
    Trace("Disconnect \"%s\" pin \"%s\"", owner ? owner->m_name.c_str() : "", p->Name().c_str());
    TopologyChanged();
    BreakConnection(p);
    return S_OK;
}

HRESULT FilterGraph::ConnectPins(const std::shared_ptr<Pin>& out, const std::shared_ptr<Pin>& in)
{
    auto outFilter = out->Owner();
    auto inFilter = in->Owner();
    if (!outFilter || !inFilter || !Contains(outFilter) || !Contains(inFilter)) return VFW_E_NOT_IN_GRAPH;
    if (out->IsConnected() || in->IsConnected()) return VFW_E_ALREADY_CONNECTED;
    const MediaFormat format = outFilter->OutputFormat(*out);
    if (!inFilter->Accepts(*in, format)) return VFW_E_CANNOT_CONNECT;
    TopologyChanged();
    out->m_peer = in;
    in->m_peer = out;
    in->m_format = format;
    Trace("Connected \"%s\".\"%s\" -> \"%s\".\"%s\"", outFilter->m_name.c_str(), out->Name().c_str(),
          inFilter->m_name.c_str(), in->Name().c_str());
    return S_OK;
}

HRESULT FilterGraph::Connect(const IPinPtr& out, const IPinPtr& in)
{
    auto o = std::dynamic_pointer_cast<Pin>(out);
    auto i = std::dynamic_pointer_cast<Pin>(in);
    if (!o || !i) return E_POINTER;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (o->Direction() != PINDIR_OUTPUT || i->Direction() != PINDIR_INPUT) return E_INVALIDARG;
    return ConnectPins(o, i);
}

HRESULT FilterGraph::Render(const IPinPtr& out)
{
    auto o = std::dynamic_pointer_cast<Pin>(out);
    if (!o) return E_POINTER;
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (o->Direction() != PINDIR_OUTPUT) return E_INVALIDARG;
    if (o->IsConnected()) return VFW_E_ALREADY_CONNECTED;
    auto owner = o->Owner();
    if (!owner || !Contains(owner)) return VFW_E_NOT_IN_GRAPH;
    const MediaFormat format = owner->OutputFormat(*o);
    // A renderer already in the graph comes first (the Null Renderer or a kept video renderer).
    for (const auto& filter : m_filters) {
        if (!filter->IsRenderer() || filter == owner) continue;
        for (const auto& pin : filter->m_pins)
            if (pin->Direction() == PINDIR_INPUT && !pin->IsConnected() && filter->Accepts(*pin, format))
                return ConnectPins(o, pin);
    }
    std::shared_ptr<BaseFilter> renderer;
    const char* name = nullptr;
    if (format.major == MEDIATYPE_Video) {
        renderer = MakeFilter<VideoRendererFilter>();
        name = kVideoRendererName;
    } else if (format.major == MEDIATYPE_Audio && format.subtype == MEDIASUBTYPE_PCM) {
        renderer = MakeFilter<AudioRendererFilter>();
        name = kAudioRendererName;
    } else {
        return VFW_E_CANNOT_RENDER;
    }
    HRESULT hr = AddFilter(renderer, name);
    if (FAILED(hr)) return hr;
    hr = ConnectPins(o, renderer->PinAt(PINDIR_INPUT, 0));
    if (FAILED(hr)) RemoveFilter(renderer);
    return hr;
}

HRESULT FilterGraph::RenderFile(const std::string& path, const std::string&)
{
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    std::string file = path;
    if (IsAsxPath(path)) {
        std::string why;
        file = FirstPlaylistEntry(path, &why);
        if (file.empty()) {
            KeepError(ErrorDetail{ErrorDetail::Kind::Input, {}, why, {}});
            std::error_code ec;
            return std::filesystem::is_regular_file(path, ec) ? VFW_E_UNSUPPORTED_STREAM : HRESULT_FILE_NOT_FOUND;
        }
    }
    Trace("RenderFile \"%s\"", file.c_str());
    auto source = MakeFilter<SourceFilter>(CLSID_FileSource);
    HRESULT hr = source->Load(file, nullptr);
    if (FAILED(hr)) {
        ErrorDetail why;
        if (source->GetErrorDetail(&why) == S_OK) KeepError(why);
        Trace("Load failed 0x%08x: %s", static_cast<unsigned>(hr), why.text.c_str());
        return hr;
    }
    for (const std::string& warning : source->Warnings()) Trace("Warning: %s", warning.c_str());
    hr = AddFilter(source, file);
    if (FAILED(hr)) return hr;
    for (const auto& pin : source->m_pins) {
        hr = Render(pin);
        if (FAILED(hr)) {
            KeepError(ErrorDetail{ErrorDetail::Kind::Decode, {}, "No decoder for a stream of " + file, {}});
            RemoveFilter(source);
            return hr;
        }
    }
    return S_OK;
}

void FilterGraph::KeepError(const ErrorDetail& detail)
{
    std::lock_guard lock(m_errorMutex);
    if (m_firstError.kind == ErrorDetail::Kind::None) m_firstError = detail;
}

std::vector<std::string> FilterGraph::Warnings()
{
    std::vector<std::string> all;
    for (const auto& filter : m_filters) {
        const auto detail = std::dynamic_pointer_cast<IErrorDetail>(filter);
        if (!detail) continue;
        for (const std::string& warning : detail->Warnings())
            if (std::find(all.begin(), all.end(), warning) == all.end()) all.push_back(warning);
    }
    return all;
}

HRESULT FilterGraph::GetErrorDetail(ErrorDetail* detail)
{
    if (!detail) return E_POINTER;
    std::lock_guard lock(m_errorMutex);
    *detail = m_firstError;
    return m_firstError.kind == ErrorDetail::Kind::None ? S_FALSE : S_OK;
}

HRESULT FilterGraph::SetLogFile(std::FILE* file)
{
    std::FILE* previous = nullptr;
    {
        std::lock_guard lock(m_logMutex);
        previous = m_logFile;
        m_logFile = file;
    }
    if (file && !previous) {
        // GStreamer's own trace goes into the log while it is attached, not to the terminal.
        m_savedThreshold = gst_debug_get_default_threshold();
        gst_debug_remove_log_function(gst_debug_log_default);
        gst_debug_add_log_function(&GraphLogFunction, this, nullptr);
        gst_debug_set_default_threshold(GST_LEVEL_INFO);
    } else if (!file && previous) {
        gst_debug_remove_log_function_by_data(this);
        gst_debug_set_default_threshold(m_savedThreshold);
        gst_debug_add_log_function(gst_debug_log_default, nullptr, nullptr);
    }
    return S_OK;
}

// ---------------------------------------------------------------- realisation

void FilterGraph::TopologyChanged()
{
    if (m_pipeline) {
        m_position = QueryPosition();
        Teardown();
    }
    m_dirty = true;
}

void FilterGraph::Teardown()
{
    StopWatchdog();
    if (m_pipeline) {
        GstRef<GstBus> bus(gst_element_get_bus(m_pipeline.get()));
        gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
        m_pipeline.reset();
        // Decoded pictures are large and were freed on many streaming threads; hand
        // the memory back so one file after another does not pile it up.
        malloc_trim(0);
    }
    for (auto& filter : m_realized) filter->Unrealize();
    m_realized.clear();
    m_prerolled = false;
    m_dirty = true;
    m_gate->deliver.store(false);
}

HRESULT FilterGraph::Realize()
{
    Teardown();
    bool preferMpeg2 = false;
    for (auto& f : m_filters) preferMpeg2 |= f->m_clsid == CLSID_GplMpeg2Decoder;
    m_pipeline = AdoptFloating(gst_pipeline_new(nullptr));
    GstBin* bin = GST_BIN(m_pipeline.get());
    int height = 0;
    for (auto& f : m_filters)
        if (f->IsSource())
            for (auto& pin : f->m_pins)
                if (pin->m_format.major == MEDIATYPE_Video) height = std::max(height, pin->m_format.height);
    g_signal_connect(bin, "deep-element-added", G_CALLBACK(&OnElementAdded), GINT_TO_POINTER(DecodeThreadsFor(height)));
    // Sources last: they route their streams to the inputs the others have made.
    std::vector<std::shared_ptr<BaseFilter>> order;
    for (auto& f : m_filters)
        if (!f->IsSource() && f->HasConnectedPin()) order.push_back(f);
    for (auto& f : m_filters)
        if (f->IsSource()) order.push_back(f);
    for (auto& f : order) {
        if (auto source = std::dynamic_pointer_cast<SourceFilter>(f)) source->PreferMpeg2Decoder(preferMpeg2);
        if (auto grabber = std::dynamic_pointer_cast<SampleGrabberFilter>(f)) {
            std::weak_ptr<FilterGraph> self = weak_from_this();
            grabber->m_post = [self](long code) {
                if (auto graph = self.lock()) graph->QueueEvent(code);
            };
        }
        m_realized.push_back(f);
        if (!f->Realize(bin, m_gate)) {
            Trace("Could not realise \"%s\"", f->m_name.c_str());
            Teardown();
            return E_FAIL;
        }
    }
    for (auto& f : order) {
        if (f->IsSource()) continue;
        for (auto& pin : f->m_pins) {
            if (pin->Direction() != PINDIR_OUTPUT) continue;
            GstPad* src = f->OutputPad(pin->Index());
            if (!src) continue;
            GstPad* sink = nullptr;
            if (auto peer = pin->Peer())
                if (auto down = peer->Owner()) sink = down->InputPad(peer->Index());
            if (!sink) {
                GstElement* fake = MakeElement(bin, "fakesink");
                if (!fake) continue;
                g_object_set(fake, "sync", FALSE, "async", FALSE, nullptr);
                GstRef<GstPad> pad(gst_element_get_static_pad(fake, "sink"));
                gst_pad_link(src, pad.get());
                continue;
            }
            if (gst_pad_link(src, sink) != GST_PAD_LINK_OK) {
                Trace("Could not link \"%s\" to its peer", f->m_name.c_str());
                Teardown();
                return VFW_E_CANNOT_CONNECT;
            }
        }
    }
    GstRef<GstBus> bus(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), &FilterGraph::OnBusMessage, this, nullptr);
    if (m_noClock) gst_pipeline_use_clock(GST_PIPELINE(m_pipeline.get()), nullptr);
    m_gate->deliver.store(false);
    m_gate->discardUntil.store(-1);
    m_gate->firstVideoTime.store(-1);
    m_gate->lastActivityMs.store(MonotonicMs());
    m_errorPosted.store(false);
    m_eos.store(false);
    m_dirty = false;
    return S_OK;
}

GstStateChangeReturn FilterGraph::WaitForState(int timeoutMs)
{
    // Poll so that an error posted meanwhile ends the wait at once.
    const gint64 end = MonotonicMs() + timeoutMs;
    for (;;) {
        GstStateChangeReturn r = gst_element_get_state(m_pipeline.get(), nullptr, nullptr, kStatePollMs * GST_MSECOND);
        if (r != GST_STATE_CHANGE_ASYNC) return r;
        if (m_errorPosted.load()) return GST_STATE_CHANGE_FAILURE;
        if (MonotonicMs() >= end) return GST_STATE_CHANGE_ASYNC;
    }
}

HRESULT FilterGraph::SetPipelineState(GstState state)
{
    if (gst_element_set_state(m_pipeline.get(), state) == GST_STATE_CHANGE_FAILURE) return E_FAIL;
    const GstStateChangeReturn r = WaitForState(kStateWaitMs);
    if (r == GST_STATE_CHANGE_FAILURE) return E_FAIL;
    if (r == GST_STATE_CHANGE_ASYNC) return VFW_E_TIMEOUT;
    return S_OK;
}

gint64 FilterGraph::OriginNs() const
{
    const gint64 origin = m_gate->origin.load();
    return origin > 0 ? origin : 0;
}

HRESULT FilterGraph::EnsurePrerolled()
{
    if (m_pipeline && !m_dirty && m_prerolled) return S_OK;
    bool hasSource = false;
    for (auto& f : m_filters) hasSource |= f->IsSource();
    if (!hasSource) return VFW_E_NOT_CONNECTED;
    HRESULT hr = Realize();
    if (FAILED(hr)) return hr;
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
        for (const char* seekless : kSeeklessDemuxers) m_seekBroken |= std::strcmp(name, seekless) == 0;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    if (m_position > 0 && m_gate->discardUntil.load() < 0) return Reposition(m_position);
    return S_OK;
}

double FilterGraph::FrameSeconds() const
{
    for (auto& f : m_filters)
        if (f->IsSource())
            for (auto& pin : f->m_pins)
                if (pin->m_format.major == MEDIATYPE_Video && pin->m_format.fps > 0) return 1.0 / pin->m_format.fps;
    return kDefaultFrameSeconds;
}

HRESULT FilterGraph::RebuildDiscardingTo(REFERENCE_TIME target)
{
    // Decode from the start and drop everything before the target.
    const bool deliver = m_gate->deliver.load();
    HRESULT hr = Realize();
    if (FAILED(hr)) return hr;
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

bool FilterGraph::SeekFrom(gint64 start, REFERENCE_TIME position, GstStateChangeReturn* result)
{
    m_gate->firstVideoTime.store(-1);
    m_gate->discardUntil.store(position > 0 ? OriginNs() + position * 100 : -1);
    m_eos.store(false);
    // Sent through one sink only: a pipeline hands a seek to every sink, and the MPEG
    // program-stream demuxer then seeks once per stream, sending the range twice.
    GstEvent* seek = gst_event_new_seek(1.0, GST_FORMAT_TIME,
                                        static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                        GST_SEEK_TYPE_SET, start, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    GstElement* sink = nullptr;
    GstIterator* it = gst_bin_iterate_sinks(GST_BIN(m_pipeline.get()));
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(it, &item) == GST_ITERATOR_OK) sink = GST_ELEMENT(g_value_dup_object(&item));
    g_value_unset(&item);
    gst_iterator_free(it);
    GstRef<GstElement> target(sink ? sink : GST_ELEMENT(gst_object_ref(m_pipeline.get())));
    if (!gst_element_send_event(target.get(), seek)) return false;
    *result = WaitForState(kSeekWaitMs);
    return true;
}

HRESULT FilterGraph::Reposition(REFERENCE_TIME target)
{
    const gint64 targetNs = OriginNs() + target * 100;
    const auto tolerance = static_cast<gint64>(FrameSeconds() * GST_SECOND) + GST_MSECOND;
    bool hasVideo = false;
    for (auto& f : m_filters)
        if (f->IsSource())
            for (auto& pin : f->m_pins) hasVideo |= pin->m_format.major == MEDIATYPE_Video;
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
        // decoding starts a little before it (the part before the target is dropped), and
        // from the very start when even that lands too late.
        const gint64 starts[] = {target > 0 ? std::max<gint64>(0, targetNs - kSeekLeadNs) : 0, 0};
        for (gint64 start : starts) {
            GstStateChangeReturn r = GST_STATE_CHANGE_FAILURE;
            if (!SeekFrom(start, target, &r) || r == GST_STATE_CHANGE_ASYNC) {
                m_seekBroken = true;
                break;
            }
            if (r == GST_STATE_CHANGE_FAILURE) return E_FAIL;
            const gint64 first = m_gate->firstVideoTime.load();
            if (!hasVideo || first < 0 || first <= targetNs + tolerance || start == 0) {
                if (!deliver || !HasDeliveringFilters()) {
                    m_gate->deliver.store(deliver);
                    return S_OK;
                }
                // Once more from the same place, now handing everything on.
                m_gate->deliver.store(true);
                if (SeekFrom(start, target, &r) && r == GST_STATE_CHANGE_SUCCESS) return S_OK;
                m_seekBroken = true;
                break;
            }
        }
    }
    Trace("Seeking failed; decoding from the start to the position");
    m_gate->deliver.store(deliver);
    return RebuildDiscardingTo(target);
}

bool FilterGraph::HasDeliveringFilters() const
{
    for (auto& f : m_realized)
        if (f->m_clsid == CLSID_SampleGrabber || f->m_clsid == CLSID_FileWriter) return true;
    return false;
}

// ---------------------------------------------------------------- media control

HRESULT FilterGraph::Run()
{
    if (m_state == State_Running) return S_OK;
    HRESULT hr = EnsurePrerolled();
    if (FAILED(hr)) return hr;
    if (!m_gate->deliver.load()) {
        m_gate->deliver.store(true);
        // What went through while stopped reached no callback and no file: play the range again.
        if (HasDeliveringFilters()) {
            hr = m_seekBroken ? RebuildDiscardingTo(m_position) : Reposition(m_position);
            if (FAILED(hr)) return hr;
        }
    }
    if (gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return E_FAIL;
    if (WaitForState(kStateWaitMs) == GST_STATE_CHANGE_FAILURE) return E_FAIL;
    m_state = State_Running;
    StartWatchdog();
    return S_OK;
}

HRESULT FilterGraph::Pause()
{
    if (m_state == State_Paused) return S_OK;
    HRESULT hr = EnsurePrerolled();
    if (FAILED(hr)) return hr;
    StopWatchdog();
    if (m_state == State_Running) {
        hr = SetPipelineState(GST_STATE_PAUSED);
        if (hr == E_FAIL) return hr;
    }
    m_state = State_Paused;
    return S_OK;
}

HRESULT FilterGraph::Stop()
{
    StopWatchdog();
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

HRESULT FilterGraph::StopWhenReady()
{
    StopWatchdog();
    m_gate->deliver.store(false);
    HRESULT hr = EnsurePrerolled();
    if (FAILED(hr)) return hr;
    if (m_state == State_Running) {
        m_position = QueryPosition();
        hr = SetPipelineState(GST_STATE_PAUSED);
        if (hr == E_FAIL) return hr;
    }
    m_state = State_Stopped;
    return S_OK;
}

HRESULT FilterGraph::GetState(long timeoutMs, OAFilterState* state)
{
    if (!state) return E_POINTER;
    *state = m_state;
    if (!m_pipeline) return S_OK;
    const GstStateChangeReturn r =
        WaitForState(timeoutMs < 0 ? kStateWaitMs : static_cast<int>(timeoutMs));
    if (r == GST_STATE_CHANGE_ASYNC) return VFW_S_STATE_INTERMEDIATE;
    return r == GST_STATE_CHANGE_FAILURE ? E_FAIL : S_OK;
}

// ---------------------------------------------------------------- seeking

HRESULT FilterGraph::GetCapabilities(std::uint32_t* caps)
{
    if (!caps) return E_POINTER;
    *caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
            AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
    return S_OK;
}

HRESULT FilterGraph::IsFormatSupported(const GUID* format)
{
    if (!format) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT FilterGraph::GetTimeFormat(GUID* format)
{
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT FilterGraph::SetTimeFormat(const GUID* format)
{
    if (!format) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT FilterGraph::GetDuration(REFERENCE_TIME* duration)
{
    if (!duration) return E_POINTER;
    *duration = 0;
    for (auto& f : m_filters)
        if (auto source = std::dynamic_pointer_cast<SourceFilter>(f))
            *duration = std::max(*duration, source->Duration());
    return *duration > 0 ? S_OK : E_FAIL;
}

REFERENCE_TIME FilterGraph::QueryPosition() const
{
    if (!m_pipeline || m_dirty || !m_prerolled) return m_position;
    gint64 position = 0;
    if (!gst_element_query_position(m_pipeline.get(), GST_FORMAT_TIME, &position) || position < 0)
        return m_position;
    REFERENCE_TIME value = std::max<gint64>(0, position - OriginNs()) / 100;
    REFERENCE_TIME duration = 0;
    for (auto& f : m_filters)
        if (auto source = std::dynamic_pointer_cast<SourceFilter>(f))
            duration = std::max(duration, source->Duration());
    if (duration > 0) value = std::min(value, duration);
    return value;
}

HRESULT FilterGraph::GetCurrentPosition(REFERENCE_TIME* position)
{
    if (!position) return E_POINTER;
    *position = m_state == State_Stopped ? m_position : QueryPosition();
    return S_OK;
}

HRESULT FilterGraph::SetPositions(REFERENCE_TIME* current, std::uint32_t currentFlags, REFERENCE_TIME*,
                                  std::uint32_t)
{
    const std::uint32_t mode = currentFlags & AM_SEEKING_PositioningBitsMask;
    if (mode == AM_SEEKING_NoPositioning) return S_OK;
    if (!current) return E_POINTER;
    REFERENCE_TIME target = *current;
    if (mode == AM_SEEKING_RelativePositioning) target += QueryPosition();
    else if (mode != AM_SEEKING_AbsolutePositioning) return E_INVALIDARG;
    REFERENCE_TIME duration = 0;
    if (SUCCEEDED(GetDuration(&duration))) target = std::min(target, duration);
    target = std::max<REFERENCE_TIME>(0, target);
    m_position = target;
    m_eos.store(false);
    if (!m_pipeline || m_dirty || !m_prerolled) return S_OK;
    const bool running = m_state == State_Running;
    HRESULT hr = Reposition(target);
    if (FAILED(hr)) return hr;
    if (running && m_pipeline) gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);
    return S_OK;
}

// ---------------------------------------------------------------- events

void FilterGraph::QueueEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    std::lock_guard lock(m_eventMutex);
    m_events.push_back({code, param1, param2});
    m_eventReady.notify_all();
    if (m_notifyWindow)
        QCoreApplication::postEvent(m_notifyWindow, new QEvent(static_cast<QEvent::Type>(m_notifyMessage)));
}

GstBusSyncReply FilterGraph::OnBusMessage(GstBus*, GstMessage* message, gpointer self)
{
    auto* graph = static_cast<FilterGraph*>(self);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
        if (!graph->m_eos.exchange(true)) graph->QueueEvent(EC_COMPLETE, S_OK);
        break;
    case GST_MESSAGE_ERROR: {
        GError* raw = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &raw, &debug);
        ErrorRef error(raw);
        GCharRef debugText(debug);
        ErrorDetail detail;
        detail.kind = ErrorKindOf(error.get());
        detail.element = GST_MESSAGE_SRC(message) ? GST_OBJECT_NAME(GST_MESSAGE_SRC(message)) : "";
        detail.text = error ? error->message : "";
        detail.debug = debug ? debug : "";
        graph->Trace("Error from %s: %s (%s)", detail.element.c_str(), detail.text.c_str(), detail.debug.c_str());
        graph->KeepError(detail);
        graph->m_errorPosted.store(true);
        graph->QueueEvent(EC_ERRORABORT, E_FAIL);
        break;
    }
    case GST_MESSAGE_STEP_DONE:
        graph->QueueEvent(EC_STEP_COMPLETE);
        break;
    default:
        break;
    }
    return GST_BUS_DROP;
}

HRESULT FilterGraph::SetNotifyWindow(QObject* window, long message, LONG_PTR)
{
    std::lock_guard lock(m_eventMutex);
    m_notifyWindow = window;
    m_notifyMessage = message;
    if (window && !m_events.empty())
        QCoreApplication::postEvent(window, new QEvent(static_cast<QEvent::Type>(message)));
    return S_OK;
}

HRESULT FilterGraph::GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs)
{
    if (!code || !param1 || !param2) return E_POINTER;
    std::unique_lock lock(m_eventMutex);
    const auto ready = [this] { return !m_events.empty(); };
    if (timeoutMs < 0)
        m_eventReady.wait(lock, ready);
    else if (!m_eventReady.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return E_ABORT;
    const Event event = m_events.front();
    m_events.pop_front();
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

HRESULT FilterGraph::FreeEventParams(long, LONG_PTR, LONG_PTR) { return S_OK; }

void FilterGraph::StartWatchdog()
{
    StopWatchdog();
    m_gate->lastActivityMs.store(MonotonicMs());
    std::weak_ptr<FilterGraph> weak = weak_from_this();
    auto gate = m_gate;
    m_watchdog = std::jthread([this, gate](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        while (!stop.stop_requested()) {
            wake.wait_for(lock, stop, std::chrono::milliseconds(kWatchdogPeriodMs), [] { return false; });
            if (stop.stop_requested()) break;
            if (!m_eos.load() && MonotonicMs() - gate->lastActivityMs.load() > kStallMs) {
                // A stream that stopped delivering without an end is reported, once.
                KeepError(ErrorDetail{ErrorDetail::Kind::Decode, {},
                                      "The input delivered nothing for " + std::to_string(kStallMs / 1000) + " s",
                                      {}});
                QueueEvent(EC_ERRORABORT, VFW_E_TIMEOUT);
                break;
            }
        }
    });
}

void FilterGraph::StopWatchdog()
{
    if (m_watchdog.joinable()) {
        m_watchdog.request_stop();
        m_watchdog.join();
    }
}

// ---------------------------------------------------------------- video window, basic video and audio

std::shared_ptr<VideoRendererFilter> FilterGraph::FindVideoRenderer(bool connectedOnly) const
{
    for (auto& f : m_filters)
        if (auto renderer = std::dynamic_pointer_cast<VideoRendererFilter>(f))
            if (!connectedOnly || renderer->HasConnectedPin()) return renderer;
    return nullptr;
}

std::shared_ptr<AudioRendererFilter> FilterGraph::FindAudioRenderer() const
{
    for (auto& f : m_filters)
        if (auto renderer = std::dynamic_pointer_cast<AudioRendererFilter>(f))
            if (renderer->HasConnectedPin()) return renderer;
    return nullptr;
}

QWidget* FilterGraph::VideoWidget()
{
    auto renderer = FindVideoRenderer(false);
    return renderer ? renderer->Widget() : nullptr;
}

HRESULT FilterGraph::put_MessageDrain(QWidget*)
{
    // Qt hands input to the picture widget itself; only the presence of a picture matters.
    return FindVideoRenderer(true) ? S_OK : E_NOINTERFACE;
}

HRESULT FilterGraph::put_Visible(bool visible)
{
    QWidget* widget = VideoWidget();
    if (!widget) return E_NOINTERFACE;
    widget->setVisible(visible);
    return S_OK;
}

HRESULT FilterGraph::put_WindowStyle(long style)
{
    if (!VideoWidget()) return E_NOINTERFACE;
    m_windowStyle = style;
    return S_OK;
}

HRESULT FilterGraph::put_Owner(QWidget* owner)
{
    QWidget* widget = VideoWidget();
    if (!widget) return E_NOINTERFACE;
    const bool visible = widget->isVisible();
    widget->setParent(owner);
    if (!owner) widget->hide();
    else if (visible) widget->show();
    m_owner = owner;
    return S_OK;
}

HRESULT FilterGraph::SetWindowPosition(long left, long top, long width, long height)
{
    QWidget* widget = VideoWidget();
    if (!widget) return E_NOINTERFACE;
    widget->setGeometry(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                        static_cast<int>(height));
    return S_OK;
}

HRESULT FilterGraph::SetWindowForeground(bool)
{
    QWidget* widget = VideoWidget();
    if (!widget) return E_NOINTERFACE;
    widget->raise();
    return S_OK;
}

HRESULT FilterGraph::NotifyOwnerMessage(QWidget*, long, LONG_PTR, LONG_PTR) { return S_OK; }

HRESULT FilterGraph::GetVideoSize(long* width, long* height)
{
    if (!width || !height) return E_POINTER;
    auto renderer = FindVideoRenderer(true);
    if (!renderer) return E_NOINTERFACE;
    const auto in = renderer->PinAt(PINDIR_INPUT, 0);
    *width = in->m_format.width;
    *height = in->m_format.height;
    return S_OK;
}

HRESULT FilterGraph::get_Volume(long* volume)
{
    if (!volume) return E_POINTER;
    auto renderer = FindAudioRenderer();
    if (!renderer) return E_NOTIMPL;
    *volume = renderer->Volume();
    return S_OK;
}

HRESULT FilterGraph::put_Volume(long volume)
{
    auto renderer = FindAudioRenderer();
    if (!renderer) return E_NOTIMPL;
    if (volume < -10000 || volume > 0) return E_INVALIDARG;
    renderer->SetVolume(volume);
    return S_OK;
}

// ---------------------------------------------------------------- frame step, clock

HRESULT FilterGraph::CanStep(long, IUnknown*) { return FindVideoRenderer(true) ? S_OK : S_FALSE; }

HRESULT FilterGraph::Step(std::uint32_t frames, IUnknown*)
{
    auto renderer = FindVideoRenderer(true);
    if (!renderer || frames == 0) return E_FAIL;
    if (m_state != State_Paused) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (!renderer->Sink()) return E_FAIL;
    if (!gst_element_send_event(renderer->Sink(),
                                gst_event_new_step(GST_FORMAT_BUFFERS, frames, 1.0, TRUE, FALSE)))
        return E_FAIL;
    // The sink prerolls the next picture; once that is done it is on screen.
    WaitForState(kStateWaitMs);
    return S_OK;
}

HRESULT FilterGraph::SetSyncSource(IReferenceClock* clock)
{
    if (clock) return E_NOTIMPL;  // the layer only knows its own clock or none
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    m_noClock = true;
    if (m_pipeline) gst_pipeline_use_clock(GST_PIPELINE(m_pipeline.get()), nullptr);
    return S_OK;
}

// ---------------------------------------------------------------- description

std::string FilterGraph::Describe() const
{
    std::ostringstream out;
    out << "digraph FilterGraph {\n";
    for (std::size_t i = 0; i < m_filters.size(); ++i) {
        const auto& f = m_filters[i];
        out << "  f" << i << " [label=\"" << f->m_name << "\\n" << StringFromCLSID(f->m_clsid) << "\"];\n";
    }
    for (std::size_t i = 0; i < m_filters.size(); ++i) {
        for (const auto& pin : m_filters[i]->m_pins) {
            auto peer = pin->Peer();
            if (pin->Direction() != PINDIR_OUTPUT || !peer) continue;
            auto down = peer->Owner();
            const auto j = std::find(m_filters.begin(), m_filters.end(), down) - m_filters.begin();
            out << "  f" << i << " -> f" << j << " [taillabel=\"" << pin->Name() << "\", headlabel=\""
                << peer->Name() << "\"];\n";
        }
    }
    out << "}\n";
    return out.str();
}

}  // namespace zem::media
