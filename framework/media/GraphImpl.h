#pragma once
// Inside of the graph layer: pins, the filter base and the graph object. Not
// for use outside framework/media (the public surface is MediaInterfaces.h).
#include "GstPtr.h"
#include "MediaInterfaces.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace zem::media {

class BaseFilter;
class FilterGraph;

// What travels over a connection, as far as the layer needs to know.
struct MediaFormat {
    GUID major;
    GUID subtype;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    int channels = 0;
    double fps = 0.0;
};
void FillMediaType(const MediaFormat& format, AM_MEDIA_TYPE* type);

// State shared between the graph (window thread) and the streaming threads.
struct StreamGate {
    // Pictures and sound reach callbacks and files only while this is set.
    std::atomic<bool> deliver{false};
    // Stream time (ns) before which decoded data is dropped; -1 = none.
    std::atomic<gint64> discardUntil{-1};
    // Earliest picture start (ns, stream time) seen since the last positioning.
    std::atomic<gint64> firstVideoTime{-1};
    // Smallest segment time seen on the first positioning: the file's own origin.
    std::atomic<gint64> origin{-1};
    std::atomic<bool> originFixed{false};
    // Monotonic ms of the last buffer seen at any decoded pad.
    std::atomic<gint64> lastActivityMs{0};
    std::atomic<bool> oneShotDone{false};
};

class Pin : public IPin, public std::enable_shared_from_this<Pin> {
public:
    Pin(std::weak_ptr<BaseFilter> owner, PIN_DIRECTION dir, std::string name, int index)
        : m_owner(std::move(owner)), m_dir(dir), m_name(std::move(name)), m_index(index) {}

    HRESULT ConnectedTo(IPinPtr* pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT QueryDirection(PIN_DIRECTION* dir) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;

    std::shared_ptr<BaseFilter> Owner() const { return m_owner.lock(); }
    std::shared_ptr<Pin> Peer() const { return m_peer.lock(); }
    bool IsConnected() const { return !m_peer.expired(); }
    PIN_DIRECTION Direction() const { return m_dir; }
    int Index() const { return m_index; }
    const std::string& Name() const { return m_name; }

    std::weak_ptr<BaseFilter> m_owner;
    PIN_DIRECTION m_dir;
    std::string m_name;
    int m_index;  // among the filter's pins of the same direction
    std::weak_ptr<Pin> m_peer;
    MediaFormat m_format;  // of the connection (inputs) or of what the pin offers (outputs)
};

class BaseFilter : public IBaseFilter, public std::enable_shared_from_this<BaseFilter> {
public:
    explicit BaseFilter(const CLSID& clsid) : m_clsid(clsid) {}
    ~BaseFilter() override = default;

    HRESULT EnumPins(std::shared_ptr<IEnumPins>* pins) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT GetClassID(CLSID* id) override;

    // Called once after construction (pins need the owner's weak pointer).
    virtual void CreatePins() {}
    std::shared_ptr<Pin> AddPin(PIN_DIRECTION dir, const std::string& name);
    std::shared_ptr<Pin> PinAt(PIN_DIRECTION dir, int index) const;
    int CountPins(PIN_DIRECTION dir) const;
    bool HasConnectedPin() const;

    // Whether an input pin takes what the upstream pin offers (converters included).
    virtual bool Accepts(const Pin& in, const MediaFormat& upstream) const = 0;
    // What an output pin offers, from the connected inputs.
    virtual MediaFormat OutputFormat(const Pin& out) const { return out.m_format; }
    virtual bool IsSource() const { return false; }
    // Filters Render may reuse as the end of a chain.
    virtual bool IsRenderer() const { return CountPins(PINDIR_OUTPUT) == 0; }

    // Creates the filter's GStreamer elements inside the bin. A failure leaves no
    // element behind.
    virtual bool Realize(GstBin* bin, const std::shared_ptr<StreamGate>& gate) = 0;
    // Borrowed pads of the realised elements (nullptr for pads made at run time).
    virtual GstPad* InputPad(int index) = 0;
    virtual GstPad* OutputPad(int index) = 0;
    // Forgets the elements after the pipeline has gone to NULL.
    virtual void Unrealize() = 0;
    // Extra work when the graph reaches its end or is torn down (files are closed here).
    virtual void Finish() {}

    CLSID m_clsid;
    std::string m_name;
    std::weak_ptr<FilterGraph> m_graph;
    std::vector<std::shared_ptr<Pin>> m_pins;
};

template <class F, class... Args>
std::shared_ptr<F> MakeFilter(Args&&... args)
{
    auto filter = std::make_shared<F>(std::forward<Args>(args)...);
    filter->CreatePins();
    return filter;
}

// Adds an element to the bin; false (and nothing added) when the factory is missing.
GstElement* MakeElement(GstBin* bin, const char* factory, const char* name = nullptr);
bool LinkChain(const std::vector<GstElement*>& chain);

gint64 MonotonicMs();

}  // namespace zem::media
