// Pins, the filter base, enumerators and small GStreamer helpers: the bottom of
// the graph layer, used by the filters and the graph above it.
#include "GraphImpl.h"

#include <malloc.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

namespace zem::media {

namespace {

// Decoded pictures (3 MB at 1080p) are made and freed on different streaming
// threads. With glibc's sliding threshold they soon come from per-thread heaps
// that keep the freed space; mapped and unmapped on their own, and with two
// heaps, a 1080p conversion peaks about 10 MB lower at the same speed.
constexpr int kPictureMapThreshold = 256 * 1024;
constexpr int kMallocArenas = 2;

// GStreamer only logs a plugin that failed to load; the log handler keeps
// the text for the failure it leads to. Any thread may load a plugin.
std::mutex g_loadFailureLock;
PluginLoadFailure g_loadFailure; // guarded by g_loadFailureLock

void KeepPluginLoadFailures(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    // The loader's errno is still the dlopen's here: ENOMEM when the plugin
    // could not be mapped. The loader words the same cause as glibc's
    // "failed to map segment" when errno has moved on.
    const int error = errno;
    if (message != nullptr && std::strstr(message, "Failed to load plugin") != nullptr) {
        std::lock_guard<std::mutex> hold(g_loadFailureLock);
        g_loadFailure.text = message;
        g_loadFailure.outOfMemory = error == ENOMEM || std::strstr(message, "failed to map segment") != nullptr;
    }
    g_log_default_handler(domain, level, message, nullptr);
}

} // namespace

void EnsureGstInitialised() {
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, kPictureMapThreshold);
        mallopt(M_ARENA_MAX, kMallocArenas);
        g_log_set_handler("GStreamer", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL),
                          KeepPluginLoadFailures, nullptr);
        gst_init(nullptr, nullptr);
    });
}

PluginLoadFailure LastPluginLoadFailure() {
    std::lock_guard<std::mutex> hold(g_loadFailureLock);
    return g_loadFailure;
}

gint64 MonotonicMs() {
    return g_get_monotonic_time() / 1000;
}

GstElement* MakeElement(GstBin* bin, const char* factory, const char* name) {
    GstElement* element = gst_element_factory_make(factory, name);
    if (!element)
        return nullptr;
    if (!gst_bin_add(bin, element)) {
        gst_object_unref(element);
        return nullptr;
    }
    return element;
}

bool LinkChain(const std::vector<GstElement*>& chain) {
    for (std::size_t i = 1; i < chain.size(); ++i)
        if (!gst_element_link(chain[i - 1], chain[i]))
            return false;
    return true;
}

void FillMediaType(const MediaFormat& format, AM_MEDIA_TYPE* type) {
    *type = AM_MEDIA_TYPE{};
    type->majortype = format.major;
    type->subtype = format.subtype;
    type->width = format.width;
    type->height = format.height;
    type->sampleRate = format.sampleRate;
    type->channels = format.channels;
    type->framesPerSecond = format.fps;
    type->pixelAspectN = format.pixelAspectN;
    type->pixelAspectD = format.pixelAspectD;
    if (format.major == MEDIATYPE_Video) {
        VIDEOINFOHEADER header;
        header.rcSource = {0, 0, format.width, format.height};
        header.rcTarget = header.rcSource;
        if (format.fps > 0)
            header.AvgTimePerFrame = static_cast<REFERENCE_TIME>(10000000.0 / format.fps);
        header.bmiHeader.biWidth = format.width;
        header.bmiHeader.biHeight = format.height;
        if (format.subtype == MEDIASUBTYPE_RGB24) {
            header.bmiHeader.biBitCount = 24;
            header.bmiHeader.biSizeImage = static_cast<std::uint32_t>(Rgb24Stride(format.width) * format.height);
            type->lSampleSize = header.bmiHeader.biSizeImage;
        }
        type->formattype = FORMAT_VideoInfo;
        type->cbFormat = sizeof header;
        type->pbFormat = std::make_unique<std::uint8_t[]>(sizeof header);
        std::memcpy(type->pbFormat.get(), &header, sizeof header);
    } else if (format.major == MEDIATYPE_Audio) {
        type->formattype = FORMAT_WaveFormatEx;
    }
}

// ---------------------------------------------------------------- enumerators

namespace {

template <class Interface, class Item>
class VectorEnum : public Interface {
public:
    explicit VectorEnum(std::vector<Item> items) : m_items(std::move(items)) {}
    HRESULT Next(Item* item) override {
        if (!item)
            return E_POINTER;
        if (m_next >= m_items.size()) {
            item->reset();
            return S_FALSE;
        }
        *item = m_items[m_next++];
        return S_OK;
    }
    HRESULT Reset() override {
        m_next = 0;
        return S_OK;
    }

private:
    std::vector<Item> m_items;
    std::size_t m_next = 0;
};

} // namespace

std::shared_ptr<IEnumFilters> MakeFilterEnum(const std::vector<std::shared_ptr<BaseFilter>>& filters) {
    std::vector<IBaseFilterPtr> items(filters.begin(), filters.end());
    return std::make_shared<VectorEnum<IEnumFilters, IBaseFilterPtr>>(std::move(items));
}

// ---------------------------------------------------------------- pin

HRESULT Pin::ConnectedTo(IPinPtr* pin) {
    if (!pin)
        return E_POINTER;
    auto peer = Peer();
    *pin = peer;
    return peer ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT Pin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (!type)
        return E_POINTER;
    auto peer = Peer();
    if (!peer) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    const Pin& in = m_dir == PINDIR_INPUT ? *this : *peer;
    FillMediaType(in.m_format, type);
    return S_OK;
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* dir) {
    if (!dir)
        return E_POINTER;
    *dir = m_dir;
    return S_OK;
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info) {
    if (!info)
        return E_POINTER;
    info->pFilter = Owner();
    info->dir = m_dir;
    info->achName = m_name;
    return S_OK;
}

// ---------------------------------------------------------------- filter base

HRESULT BaseFilter::EnumPins(std::shared_ptr<IEnumPins>* pins) {
    if (!pins)
        return E_POINTER;
    std::vector<IPinPtr> items(m_pins.begin(), m_pins.end());
    *pins = std::make_shared<VectorEnum<IEnumPins, IPinPtr>>(std::move(items));
    return S_OK;
}

HRESULT BaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info)
        return E_POINTER;
    info->achName = m_name;
    info->pGraph = m_graph.lock();
    return S_OK;
}

HRESULT BaseFilter::GetClassID(CLSID* id) {
    if (!id)
        return E_POINTER;
    *id = m_clsid;
    return S_OK;
}

std::shared_ptr<Pin> BaseFilter::AddPin(PIN_DIRECTION dir, const std::string& name) {
    auto pin = std::make_shared<Pin>(weak_from_this(), dir, name, CountPins(dir));
    m_pins.push_back(pin);
    return pin;
}

std::shared_ptr<Pin> BaseFilter::PinAt(PIN_DIRECTION dir, int index) const {
    for (const auto& pin : m_pins)
        if (pin->Direction() == dir && pin->Index() == index)
            return pin;
    return nullptr;
}

int BaseFilter::CountPins(PIN_DIRECTION dir) const {
    int count = 0;
    for (const auto& pin : m_pins)
        count += pin->Direction() == dir ? 1 : 0;
    return count;
}

void BaseFilter::JoinGraph(std::weak_ptr<IFilterGraph> graph, const std::string& name) {
    m_graph = std::move(graph);
    m_name = name;
}

bool BaseFilter::HasConnectedPin() const {
    for (const auto& pin : m_pins)
        if (pin->IsConnected())
            return true;
    return false;
}

// ---------------------------------------------------------------- element chain

GstPad* ElementChainFilter::InputPad(int index) {
    if (index != 0 || !m_first)
        return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_first, "sink"));
    return pad.get(); // the element keeps the pad alive
}

GstPad* ElementChainFilter::OutputPad(int index) {
    if (index != 0 || !m_last || CountPins(PINDIR_OUTPUT) == 0)
        return nullptr;
    GstRef<GstPad> pad(gst_element_get_static_pad(m_last, "src"));
    return pad.get();
}

} // namespace zem::media
