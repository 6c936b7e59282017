#pragma once
// Turns a rendered preview graph into the conversion graph: decoded video to
// the sample grabber (and on to a null renderer, or the video renderer while
// monitoring), decoded sound through the audio processor, the MP3 encoder and
// WavDest into the File Writer that writes the ".mp3".

#include <functional>
#include <memory>
#include <string>

#include "FailureCodes.h"
#include "FrameEncoder.h"
#include "MediaInterfaces.h"

namespace zem {

class ConversionHost;

// Class ids of the outside audio filters, as the program names them.
inline constexpr const char* kAudioProcessorClsid = "B86F6BEE-E7C0-4D03-8D52-5B4430CF6C88";
inline constexpr const char* kMp3EncoderClsid = "B8D27088-DF5F-4B7C-98DC-0E91A1696286";
inline constexpr const char* kWavDestClsid = "3C78B8E2-6C4D-11D1-ADE2-0000F8754B99";
inline constexpr const char* kMpeg2DecoderClsid = "CE1B27BE-851B-45DD-AB26-44389A8F71B4";

// Names the conversion filters get in the graph.
inline constexpr const char* kNameAudioProcessor = "MP3 Encoder";
inline constexpr const char* kNameMp3Encoder = "MP3 Encoder";
inline constexpr const char* kNameWavDest = "WAV Dest";
inline constexpr const char* kNameFileWriter = "File Writer";
inline constexpr const char* kNameSampleGrabber = "VideoGrabber";
inline constexpr const char* kNameNullRenderer = "Null Renderer";
inline constexpr const char* kNameMpeg2Decoder = "GPLMpeg2Decoder";

// Hands each decoded picture to the frame encoder; lives as long as the run.
// Threads: called on the grabber's streaming thread only; it keeps no state
// of its own, and the frame encoder says how it shares its own.
class FrameGrabberCallback : public ISampleGrabberCB {
public:
    explicit FrameGrabberCallback(FrameCaptureContext& context) : m_context(context) {}
    HRESULT SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT BufferCB(double sampleTime, std::uint8_t* buffer, long length) override {
        m_context.OnFrameSample(sampleTime, buffer, length > 0 ? size_t(length) : 0);
        return S_OK;
    }
    bool WillTakeSample(double sampleTime) override { return m_context.WillTakeSample(sampleTime); }
    bool SkipGrid(double* first, double* interval) override { return m_context.SkipGrid(*first, *interval); }
    void SkippedSample(double sampleTime) override { m_context.OnSkippedSample(sampleTime); }
    // The frame encoder converts only the rows its shrink reads, as it reads them.
    bool TakesRows() const override { return true; }
    HRESULT RowsCB(double sampleTime, IPictureRows& picture) override {
        LayerRows rows(picture);
        m_context.OnFrameRows(sampleTime, rows);
        return S_OK;
    }

private:
    class LayerRows : public PictureRowReader {
    public:
        explicit LayerRows(IPictureRows& picture) : m_picture(picture) {}
        bool ReadRow(uint32_t row, uint8_t* bgr) override { return m_picture.ReadRow(int(row), bgr); }
        bool Planes(YuvPlanes& planes) override { return !PictureRowsAsked() && m_picture.Planes(planes); }
        bool WidePlanes(colour::WidePlanes& planes) override { return m_picture.WidePlanes(planes); }
        void DrawOverlay(uint8_t* bgr, ptrdiff_t stride, uint16_t width, uint16_t height) override {
            m_picture.DrawOverlay(bgr, stride, width, height);
        }

    private:
        IPictureRows& m_picture;
    };

    FrameCaptureContext& m_context;
};

// The filters and pins of one conversion; cleared with the graph.
struct ConversionGraph {
    IBaseFilterPtr m_videoRenderer, m_audioRenderer, m_nullRenderer, m_grabberFilter;
    std::shared_ptr<ISampleGrabber> m_sampleGrabber;
    IBaseFilterPtr m_audioProcessor, m_mp3Encoder, m_wavDest, m_fileWriter, m_mpegDecoder;
    std::shared_ptr<IFileSinkFilter> m_fileSink;
    IPinPtr m_videoRendererIn, m_videoOut, m_audioRendererIn, m_audioOut, m_grabberIn, m_grabberOut, m_processorIn,
        m_processorOut, m_encoderIn, m_encoderOut, m_wavDestIn, m_wavDestOut, m_writerIn;

    void Release() { *this = ConversionGraph{}; }
    // A film without sound is built with no sound chain.
    bool HasSound() const { return m_audioProcessor != nullptr; }
};

struct ConversionGraphSetup {
    IGraphBuilder* graph = nullptr;
    ConversionHost* host = nullptr;
    std::string mp3Path;
    bool monitoring = false;
    // Writes a description of the graph at a labelled step (when logging is on).
    std::function<void(const char* label)> saveSnapshot;
    // Loads the input again for the preview after a failure that left the graph rewired.
    std::function<void()> reopenPreview;
};

// The first renderer (one input, no output) whose input carries `majorType`.
// A renderer with an unconnected input ends the search with a failure.
HRESULT FindRenderer(IFilterGraph& graph, const GUID& majorType, IBaseFilterPtr* renderer);
// The n-th pin of the given direction; E_POINTER without a filter, E_FAIL without such a pin.
HRESULT GetPin(const IBaseFilterPtr& filter, PIN_DIRECTION direction, int n, IPinPtr* pin);

// Returns None or the failure code of the first step that failed (5 to 32).
FailureCode BuildConversionGraph(ConversionGraph& members, const ConversionGraphSetup& setup);

// Fills the context from the grabber's picture size and the settings the
// caller put into it, registers the callback and takes the clock away.
void StartFrameCapture(ConversionGraph& members, FrameCaptureContext& context, FrameGrabberCallback& callback,
                       IMediaFilter* mediaFilter);

} // namespace zem
