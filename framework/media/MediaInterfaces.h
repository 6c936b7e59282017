#pragma once
// The graph layer's interfaces. They keep the shape of the Windows media
// framework's interfaces so graph-building code reads the same; objects are
// held by std::shared_ptr, "release" means dropping the pointer, and
// QueryInterface<I>(object) asks an object for another of its interfaces.
//
// Threading: every call comes from the thread that owns the window (the Qt GUI
// thread). Only ISampleGrabberCB is called on a streaming thread.
//
// How the graph behaves (GStreamer underneath):
// - CreateFilterGraph gives one object that answers IGraphBuilder, IMediaControl,
//   IMediaSeeking, IMediaEventEx, IVideoWindow, IBasicVideo, IBasicAudio,
//   IVideoFrameStep and IMediaFilter. Filters come from CoCreateFilter by class id.
// - Topology (AddFilter with a connection, RemoveFilter, Connect, Disconnect,
//   Render) changes only while stopped (VFW_E_NOT_STOPPED otherwise); the graph
//   keeps its position across a rewiring and rebuilds its pipeline at the next
//   Pause / Run / StopWhenReady.
// - Positions are 100 ns units from the file's own start (an MPEG program stream's
//   clock offset is taken out). After SetPositions the first picture shown or
//   handed to the grabber is the one covering the position, whatever the
//   demuxer's seeking does; sound is cut at the same instant. Where a demuxer
//   cannot seek (RealMedia), the graph decodes from the start and drops what lies
//   before the position.
// - Sample grabber and File Writer receive data only while the graph runs (or is
//   paused after running): what passes while stopped (the picture shown by
//   StopWhenReady) is not handed on, and Run plays the range again from its start
//   for them. Grabber times are seconds from the start of the played range.
// - Without a clock (SetSyncSource(nullptr)) the graph runs as fast as it decodes.
// - Events: EC_COMPLETE at the end of every stream, EC_ERRORABORT (param1 E_FAIL,
//   or VFW_E_TIMEOUT when a running graph delivers nothing for 15 s),
//   EC_STEP_COMPLETE after Step. The File Writer's file is complete at
//   EC_COMPLETE and at the latest when the filter is released.
#include "MediaTypes.h"
#include "PictureColour.h"
#include "UserText.h"
#include "YuvRows.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class QObject;
class QWidget;

struct IUnknown {
    virtual ~IUnknown() = default;
};

template <class I, class T>
std::shared_ptr<I> QueryInterface(const std::shared_ptr<T>& object) {
    return std::dynamic_pointer_cast<I>(object);
}

struct IBaseFilter;
struct IFilterGraph;
struct IPin;
using IPinPtr = std::shared_ptr<IPin>;
using IBaseFilterPtr = std::shared_ptr<IBaseFilter>;

struct PIN_INFO {
    IBaseFilterPtr pFilter;
    PIN_DIRECTION dir = PINDIR_INPUT;
    std::string achName;
};

struct FILTER_INFO {
    std::string achName;
    std::shared_ptr<IFilterGraph> pGraph;
};

// Enumerators hand out one item per Next call: S_OK with an item, S_FALSE at the end.
struct IEnumPins : virtual IUnknown {
    virtual HRESULT Next(IPinPtr* pin) = 0;
    virtual HRESULT Reset() = 0;
};
struct IEnumFilters : virtual IUnknown {
    virtual HRESULT Next(IBaseFilterPtr* filter) = 0;
    virtual HRESULT Reset() = 0;
};

struct IPin : virtual IUnknown {
    // The pin this one is connected to, or VFW_E_NOT_CONNECTED.
    virtual HRESULT ConnectedTo(IPinPtr* pin) = 0;
    // The media type of the connection, or VFW_E_NOT_CONNECTED.
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* dir) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
};

struct IBaseFilter : virtual IUnknown {
    virtual HRESULT EnumPins(std::shared_ptr<IEnumPins>* pins) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    virtual HRESULT GetClassID(CLSID* id) = 0;
};

struct IFilterGraph : virtual IUnknown {
    // Adds a filter under a name (names need not be unique: the two audio
    // conversion filters share one). VFW_E_DUPLICATE_NAME is not used.
    virtual HRESULT AddFilter(const IBaseFilterPtr& filter, const std::string& name) = 0;
    virtual HRESULT RemoveFilter(const IBaseFilterPtr& filter) = 0;
    virtual HRESULT EnumFilters(std::shared_ptr<IEnumFilters>* filters) = 0;
    // Breaks the connection at this pin (both ends); S_FALSE when it had none.
    // Only while stopped: VFW_E_NOT_STOPPED otherwise.
    virtual HRESULT Disconnect(const IPinPtr& pin) = 0;
};

struct IGraphBuilder : IFilterGraph {
    // Connects an output pin to an input pin, converting pictures or sound in
    // between when the two sides' types differ.
    virtual HRESULT Connect(const IPinPtr& out, const IPinPtr& in) = 0;
    // Completes one output pin to a renderer: a renderer already in the graph with
    // a free input that takes the pin's type is used first, else a new one is added.
    virtual HRESULT Render(const IPinPtr& out) = 0;
    // Builds the playback chain for a file: source with one output pin per decoded
    // stream, a video renderer and an audio renderer. ".asx" renders the first local
    // media file it references. Failure codes: HRESULT_FILE_NOT_FOUND,
    // VFW_E_UNSUPPORTED_STREAM (unreadable, empty, no audio or video), VFW_E_TIMEOUT.
    virtual HRESULT RenderFile(const std::string& path, const std::string& playList = {}) = 0;
    // The graph writes its trace (and GStreamer's log) to this open file until
    // called again with nullptr. The caller keeps owning the file.
    virtual HRESULT SetLogFile(std::FILE* file) = 0;
};

struct IMediaControl : virtual IUnknown {
    // Run, Pause and StopWhenReady wait (bounded) for the first picture; they
    // return a failure code when the file cannot be played.
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    // Keeps the position; the last picture stays shown.
    virtual HRESULT Stop() = 0;
    // Stopped, with the picture at the current position shown.
    virtual HRESULT StopWhenReady() = 0;
    // VFW_S_STATE_INTERMEDIATE while a change is still under way after timeoutMs.
    virtual HRESULT GetState(long timeoutMs, OAFilterState* state) = 0;
};

struct IMediaSeeking : virtual IUnknown {
    virtual HRESULT GetCapabilities(std::uint32_t* caps) = 0;
    virtual HRESULT IsFormatSupported(const GUID* format) = 0;
    virtual HRESULT GetTimeFormat(GUID* format) = 0;
    virtual HRESULT SetTimeFormat(const GUID* format) = 0;
    virtual HRESULT GetDuration(REFERENCE_TIME* duration) = 0;
    virtual HRESULT GetCurrentPosition(REFERENCE_TIME* position) = 0;
    // Absolute (or relative) current position; a stop flag of
    // AM_SEEKING_NoPositioning leaves the stop position alone. The picture shown
    // and the first picture played afterwards are the one covering the position.
    virtual HRESULT SetPositions(REFERENCE_TIME* current, std::uint32_t currentFlags, REFERENCE_TIME* stop,
                                 std::uint32_t stopFlags) = 0;
};

struct IMediaEventEx : virtual IUnknown {
    // Posts a QEvent of type (QEvent::Type)message to the object whenever an event
    // is queued; nullptr stops the posting. lParam is kept for the window's use.
    virtual HRESULT SetNotifyWindow(QObject* window, long message, LONG_PTR lParam) = 0;
    // E_ABORT when nothing arrived within timeoutMs (0 = do not wait).
    virtual HRESULT GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) = 0;
    virtual HRESULT FreeEventParams(long code, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IVideoWindow : virtual IUnknown {
    // Fails with E_NOINTERFACE when the graph has no picture to show.
    virtual HRESULT put_MessageDrain(QWidget* drain) = 0;
    virtual HRESULT put_Visible(bool visible) = 0;
    virtual HRESULT put_WindowStyle(long style) = 0;
    // The picture widget becomes a child of the owner; nullptr detaches it.
    virtual HRESULT put_Owner(QWidget* owner) = 0;
    virtual HRESULT SetWindowPosition(long left, long top, long width, long height) = 0;
    virtual HRESULT SetWindowForeground(bool focus) = 0;
    // Qt delivers input to the picture widget itself, so this only answers S_OK.
    virtual HRESULT NotifyOwnerMessage(QWidget* owner, long message, LONG_PTR wParam, LONG_PTR lParam) = 0;
    // The picture widget (nullptr without one); tests grab it.
    virtual QWidget* VideoWidget() = 0;
};

struct IBasicVideo : virtual IUnknown {
    virtual HRESULT GetVideoSize(long* width, long* height) = 0;
    // The shape the picture is shown in: its size with its pixels' aspect
    // ratio applied (x : y), as the second version of this interface has it.
    virtual HRESULT GetPreferredAspectRatio(long* x, long* y) = 0;
};

struct IBasicAudio : virtual IUnknown {
    // -10000 (silent) .. 0 (full), hundredths of a decibel. E_NOTIMPL without a sound path.
    virtual HRESULT get_Volume(long* volume) = 0;
    virtual HRESULT put_Volume(long volume) = 0;
    // Once the graph is paused or running: S_OK when the sound reaches a sound
    // output, S_FALSE when none could be opened and it plays into a fake sink;
    // E_NOTIMPL without a sound path, VFW_E_NOT_CONNECTED before it is built.
    virtual HRESULT HasSoundOutput() = 0;
};

struct IVideoFrameStep : virtual IUnknown {
    // S_OK when stepping is possible (a rendered picture stream), S_FALSE otherwise.
    virtual HRESULT CanStep(long multiple, IUnknown* filter) = 0;
    // Moves one picture on from the picture on screen, the position into it, and
    // posts EC_STEP_COMPLETE; pauses the graph first. S_FALSE, with nothing
    // moved, when the last picture is on screen.
    virtual HRESULT Step(std::uint32_t frames, IUnknown* filter) = 0;
};

struct IReferenceClock : virtual IUnknown {};

struct IMediaFilter : virtual IUnknown {
    // nullptr: no clock; the graph then runs as fast as decoding allows.
    virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
};

// One decoded picture handed to ISampleGrabberCB::SampleCB.
struct IMediaSample {
    virtual ~IMediaSample() = default;
    virtual HRESULT GetPointer(std::uint8_t** buffer) = 0;
    virtual long GetActualDataLength() = 0;
};

// A decoded picture in the decoder's own format, valid during the call that
// hands it over; its rows become 24-bit BGR only when read.
struct IPictureRows {
    virtual ~IPictureRows() = default;
    // Row `row` of the picture BufferCB would get (bottom row first), width * 3
    // bytes into dst.
    virtual bool ReadRow(int row, std::uint8_t* dst) = 0;
    // The picture's YUV planes, for a reader that converts them itself with
    // libyuv's arithmetic; false when the rows must be read with ReadRow (RGB
    // formats, or subtitles to be drawn into the BGR rows).
    virtual bool Planes(zem::YuvPlanes& /*planes*/) { return false; }
    // The planes of a picture that needs the colour work (more than 8 bits,
    // BT.2020, HDR), which ReadRow and Planes do not give; false for the others.
    virtual bool WidePlanes(zem::colour::WidePlanes& /*planes*/) { return false; }
    // Draws the subtitles attached to the picture into a BGR picture made from
    // it at width x height (bottom row first, rows `stride` bytes apart).
    virtual void DrawOverlay(std::uint8_t* /*bgr*/, std::ptrdiff_t /*stride*/, int /*width*/, int /*height*/) {}
};

// Called on the streaming thread for every picture that reaches the grabber.
struct ISampleGrabberCB {
    virtual ~ISampleGrabberCB() = default;
    virtual HRESULT SampleCB(double sampleTime, IMediaSample* sample) = 0;
    // The picture as 24-bit BGR, bottom row first, rows padded to 4 bytes; time in
    // seconds since the start of the played range.
    virtual HRESULT BufferCB(double sampleTime, std::uint8_t* buffer, long length) = 0;
    // Asked first, from the time alone: false means the picture is not wanted and
    // is neither converted nor handed on. The default takes every picture.
    virtual bool WillTakeSample(double /*sampleTime*/) { return true; }
    // With the buffer callback chosen, a callback that answers true gets the
    // picture through RowsCB instead of BufferCB and converts what it needs.
    virtual bool TakesRows() const { return false; }
    // Whether pictures the callback would refuse may stay undecoded, and when it
    // takes them: at first, first + interval, ... (first negative until the first
    // picture is taken).
    virtual bool SkipGrid(double* /*first*/, double* /*interval*/) { return false; }
    // A picture left undecoded, in display order among the others: the callback
    // paces it as a refused picture.
    virtual void SkippedSample(double /*sampleTime*/) {}
    virtual HRESULT RowsCB(double /*sampleTime*/, IPictureRows& /*picture*/) { return E_NOTIMPL; }
};

struct ISampleGrabber : virtual IUnknown {
    // Only video / MEDIASUBTYPE_RGB24 is accepted (VFW_E_TYPE_NOT_ACCEPTED otherwise).
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type) = 0;
    // RGB24 with a VIDEOINFOHEADER holding the picture size; VFW_E_NOT_CONNECTED before a connection.
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT SetBufferSamples(bool buffer) = 0;
    // One-shot: the first picture is handed over, the stream then ends with EC_COMPLETE.
    virtual HRESULT SetOneShot(bool oneShot) = 0;
    // which 0: SampleCB, 1: BufferCB. The callback object must outlive the run.
    virtual HRESULT SetCallback(ISampleGrabberCB* callback, long which) = 0;
};

struct IFileSourceFilter : virtual IUnknown {
    // Opens the file and creates one output pin per decodable stream.
    virtual HRESULT Load(const std::string& path, const AM_MEDIA_TYPE* type) = 0;
};

// Times of the sound that passed a filter, on the sample grabber's clock (since
// the start of the played range), so a conversion can line the sound up with
// the pictures. Read on the window's thread while the graph runs or after.
struct IStreamTimes : virtual IUnknown {
    // Start of the first sample since the graph last started; S_FALSE (and 0)
    // while nothing has passed.
    virtual HRESULT GetFirstSampleTime(REFERENCE_TIME* time) = 0;
    // End of the latest sample; S_FALSE (and 0) while nothing has passed.
    virtual HRESULT GetLastSampleTime(REFERENCE_TIME* time) = 0;
};

struct IFileSinkFilter : virtual IUnknown {
    virtual HRESULT SetFileName(const std::string& path, const AM_MEDIA_TYPE* type) = 0;
};

// Why something failed, in words: the file and the system's reason, or the
// GStreamer element and its message. Result codes say that a call failed;
// this says why, for the user's message and the graph log.
struct ErrorDetail {
    enum class Kind {
        None,
        Input,  // the input could not be opened or read (missing, denied, a folder, not media)
        Output, // a file the graph writes could not be created or written (a full disk)
        Decode, // anything else the pipeline met (damaged data, a missing decoder)
    };
    Kind kind = Kind::None;
    std::string element; // the GStreamer element that reported it, when one did
    std::string text;    // "Cannot write /x/scratch.mp3: No space left on device"
    std::string debug;   // GStreamer's debug text (the log keeps it; the user sees text)
    zem::UserText said;  // text in wordings that can be translated; empty: text as it stands

    zem::UserText Said() const { return said.empty() ? zem::UserText(text) : said; }
};

// Answered by the graph (the first failure of a RenderFile or of the running
// pipeline, kept until the graph is built again), by the file source (why
// Load failed) and by the File Writer (why its file could not be written).
struct IErrorDetail : virtual IUnknown {
    // S_OK with the detail, S_FALSE when nothing failed.
    virtual HRESULT GetErrorDetail(ErrorDetail* detail) = 0;
    // What was left out without failing (a subtitle file that cannot be read).
    virtual std::vector<zem::UserText> Warnings() { return {}; }
};

// Creates a filter from the factory table; REGDB_E_CLASSNOTREG for an unknown class id. The graph itself comes from
// CreateFilterGraph.
HRESULT CoCreateFilter(const CLSID& clsid, IBaseFilterPtr* filter);
HRESULT CreateFilterGraph(std::shared_ptr<IGraphBuilder>* graph);

// The GStreamer pipeline currently realising the graph (nullptr when none); for
// diagnostics (graph snapshots) only. Returned with a new reference.
struct _GstElement;
_GstElement* GraphPipelineForDiagnostics(IUnknown* graph);
// A description of the graph's filters and connections in Graphviz form.
std::string DescribeGraph(IUnknown* graph);
