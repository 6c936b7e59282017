#pragma once
// Inside of the graph layer: pins, the filter base and the graph object. Not
// for use outside framework/media (the public surface is MediaInterfaces.h).
#include "GstPtr.h"
#include "MediaInterfaces.h"
#include "PictureSkip.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
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
    int pixelAspectN = 1; // a picture's pixel is N:D wide to high
    int pixelAspectD = 1;
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
    // A buffer has left the source since the pipeline was built.
    std::atomic<bool> dataSeen{false};
    // Pictures the decoder leaves out because the conversion would not show them.
    std::shared_ptr<PictureSkip> skip = std::make_shared<PictureSkip>();
};

// Pins and filters belong to the thread that owns the window (the graph's
// thread): they are made, connected and read only there. Streaming threads see
// the StreamGate above and each filter's own realised state.
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
    // Of the connection (inputs) or of what the pin offers (outputs).
    const MediaFormat& Format() const { return m_format; }
    void SetFormat(const MediaFormat& format) { m_format = format; }
    // One end of a connection; the graph sets both ends.
    void SetPeer(const std::shared_ptr<Pin>& peer) { m_peer = peer; }
    void ClearPeer() { m_peer.reset(); }

private:
    std::weak_ptr<BaseFilter> m_owner;
    PIN_DIRECTION m_dir;
    std::string m_name;
    int m_index; // among the filter's pins of the same direction
    std::weak_ptr<Pin> m_peer;
    MediaFormat m_format;
};

class VideoView;

// What the graph hands every filter it realises.
struct RealizeContext {
    std::shared_ptr<StreamGate> gate;
    // An MPEG-2 decoder filter is in the graph: sources decode MPEG-1/2 video with it.
    bool preferMpeg2 = false;
    // Queues a graph event; callable from any thread while the graph lives.
    std::function<void(long code)> post;
    // An error with this text is damage the source knows its file has and
    // plays through (a demuxer that reports it and goes on): it is logged,
    // not reported.
    std::function<void(const std::string& text)> tolerateError;
};

// The video renderer as the graph sees it (IVideoWindow, IBasicVideo, IVideoFrameStep).
class PictureOutput {
public:
    // Where the pictures are shown: nullptr when no widget library is linked.
    virtual VideoView* View() = 0;
    // The picture on screen: its stream time and length (ns; length 0 when the
    // stream does not say). False before the first picture.
    virtual bool ShownPicture(gint64* streamTime, gint64* duration) const = 0;

protected:
    ~PictureOutput() = default;
};

// The audio renderer as the graph sees it (IBasicAudio).
class SoundOutput {
public:
    virtual long Volume() const = 0;
    virtual void SetVolume(long volume) = 0;
    // Whether the realised sink plays on a real output (false for a fake sink,
    // which is what autoaudiosink falls back to on a machine without one).
    virtual bool ReachesOutput() const = 0;

protected:
    ~SoundOutput() = default;
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
    const std::vector<std::shared_ptr<Pin>>& Pins() const { return m_pins; }

    const CLSID& ClassId() const { return m_clsid; }
    const std::string& Name() const { return m_name; }
    bool InGraph() const { return !m_graph.expired(); }
    void JoinGraph(std::weak_ptr<IFilterGraph> graph, const std::string& name);
    void LeaveGraph() { m_graph.reset(); }

    // Whether an input pin takes what the upstream pin offers (converters included).
    virtual bool Accepts(const Pin& in, const MediaFormat& upstream) const = 0;
    // What an output pin offers, from the connected inputs.
    virtual MediaFormat OutputFormat(const Pin& out) const { return out.Format(); }
    virtual bool IsSource() const { return false; }
    // Filters Render may reuse as the end of a chain.
    virtual bool IsRenderer() const { return CountPins(PINDIR_OUTPUT) == 0; }

    // Creates the filter's GStreamer elements inside the bin. A failure leaves no
    // element behind.
    virtual bool Realize(GstBin* bin, const RealizeContext& context) = 0;
    // Borrowed pads of the realised elements (nullptr for pads made at run time).
    virtual GstPad* InputPad(int) { return nullptr; }
    virtual GstPad* OutputPad(int) { return nullptr; }
    // Forgets the elements after the pipeline has gone to NULL.
    virtual void Unrealize() {}
    // Extra work when the graph reaches its end or is torn down (files are closed here).
    virtual void Finish() {}

    // What the graph and the other filters ask a filter, instead of its class id.
    // The length of the file a source reads (100 ns units; 0 when unknown or no source).
    virtual REFERENCE_TIME Duration() const { return 0; }
    // The GPL MPEG-2 decoder filter: its presence makes sources prefer it.
    virtual bool SelectsMpeg2Decoder() const { return false; }
    // Hands data to callbacks or files only while the gate delivers (grabber, File Writer).
    virtual bool Delivers() const { return false; }
    // WavDest: the File Writer behind it puts the WAV head in front of the data.
    virtual bool AsksForWavHead() const { return false; }
    virtual PictureOutput* Pictures() { return nullptr; }
    virtual SoundOutput* Sound() { return nullptr; }

private:
    CLSID m_clsid;
    std::string m_name;
    std::weak_ptr<IFilterGraph> m_graph;
    std::vector<std::shared_ptr<Pin>> m_pins;
};

// A filter realised as a chain of GStreamer elements: data enters at the first
// element's "sink" pad and leaves at the last one's "src" pad (pin 0 each way).
class ElementChainFilter : public BaseFilter {
public:
    using BaseFilter::BaseFilter;
    GstPad* InputPad(int index) override;
    // nullptr for a filter without output pins (renderers).
    GstPad* OutputPad(int index) override;
    // Forgets the ends; filters that keep further elements forget them and call this.
    void Unrealize() override { m_first = m_last = nullptr; }

protected:
    void SetChain(GstElement* first, GstElement* last) {
        m_first = first;
        m_last = last;
    }
    GstElement* Last() const { return m_last; }

private:
    GstElement* m_first = nullptr;
    GstElement* m_last = nullptr;
};

template <class F, class... Args>
std::shared_ptr<F> MakeFilter(Args&&... args) {
    auto filter = std::make_shared<F>(std::forward<Args>(args)...);
    filter->CreatePins();
    return filter;
}

// Adds an element to the bin; false (and nothing added) when the factory is missing.
GstElement* MakeElement(GstBin* bin, const char* factory, const char* name = nullptr);
bool LinkChain(const std::vector<GstElement*>& chain);

gint64 MonotonicMs();

} // namespace zem::media
