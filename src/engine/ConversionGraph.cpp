#include "ConversionGraph.h"

#include <cstring>
#include <iterator>

#include "ConversionHost.h"

namespace zem {

namespace {

class Builder {
public:
    Builder(ConversionGraph& m, const ConversionGraphSetup& setup) : m(m), s(setup), graph(*setup.graph) {}

    FailureCode Run() {
        FailureCode code = FindRenderers();
        // A film without sound converts with silence in its place (the run
        // writes it), so the sound chain is left out.
        m_sound = m.m_audioRenderer != nullptr;
        if (code == FailureCode::None && m_sound)
            code = AddAudioProcessor();
        if (code == FailureCode::None && m_sound)
            code = AddMp3Encoder();
        if (code == FailureCode::None && m_sound)
            code = AddWavDest();
        if (code == FailureCode::None && m_sound)
            code = AddFileWriter();
        if (code == FailureCode::None)
            code = AddSampleGrabber();
        if (code != FailureCode::None)
            return code;
        Snapshot("After_AddFilters");
        code = GetConversionPins();
        if (code != FailureCode::None)
            return code;
        code = DisconnectRenderers();
        if (code != FailureCode::None)
            return Reopen(code);
        Snapshot("After_DisconnectPINs");
        code = ConnectConversionGraph();
        if (code != FailureCode::None)
            return Reopen(code);
        return FailureCode::None;
    }

private:
    FailureCode Fail(FailureCode code, const char* message) {
        // The step's words name internal parts: the log's, not the user's.
        if (message != nullptr && s.host != nullptr)
            s.host->LogFailure(message);
        return code;
    }
    FailureCode Reopen(FailureCode code) {
        if (s.reopenPreview)
            s.reopenPreview();
        return code;
    }
    void Snapshot(const char* label) {
        if (s.saveSnapshot)
            s.saveSnapshot(label);
    }

    FailureCode FindRenderers() {
        // A file of sound alone has no video renderer at all: that is the
        // reason to give, not the missing pin it would fail at later.
        if (FAILED(FindRenderer(graph, MEDIATYPE_Video, &m.m_videoRenderer)) || !m.m_videoRenderer)
            return FailureCode::NoVideoRenderer;
        if (FAILED(FindRenderer(graph, MEDIATYPE_Audio, &m.m_audioRenderer)))
            return FailureCode::NoAudioRenderer;
        return FailureCode::None;
    }

    bool CreateByText(const char* clsidText, IBaseFilterPtr* filter) {
        CLSID id;
        return SUCCEEDED(CLSIDFromString(clsidText, &id)) && SUCCEEDED(CoCreateFilter(id, filter)) && *filter;
    }

    FailureCode AddAudioProcessor() {
        if (!CreateByText(kAudioProcessorClsid, &m.m_audioProcessor) ||
            FAILED(graph.AddFilter(m.m_audioProcessor, kNameAudioProcessor)))
            return Fail(FailureCode::AudioFilter, "Could not add FFDshow Processor");
        return FailureCode::None;
    }

    FailureCode AddMp3Encoder() {
        if (!CreateByText(kMp3EncoderClsid, &m.m_mp3Encoder) ||
            FAILED(graph.AddFilter(m.m_mp3Encoder, kNameMp3Encoder)))
            return Fail(FailureCode::AudioFilter, "Could not add MP3 encoder");
        return FailureCode::None;
    }

    FailureCode AddWavDest() {
        if (!CreateByText(kWavDestClsid, &m.m_wavDest))
            return Fail(FailureCode::WavDest, "Could not create WavDest");
        if (FAILED(graph.AddFilter(m.m_wavDest, kNameWavDest)))
            return Fail(FailureCode::WavDest, "Could not add WavDest");
        return FailureCode::None;
    }

    FailureCode AddFileWriter() {
        if (FAILED(CoCreateFilter(CLSID_FileWriter, &m.m_fileWriter)) || !m.m_fileWriter)
            return Fail(FailureCode::FileWriter, "Could not create FileWriter");
        if (FAILED(graph.AddFilter(m.m_fileWriter, kNameFileWriter)))
            return Fail(FailureCode::FileWriter, "Could not add FileWriter");
        m.m_fileSink = QueryInterface<IFileSinkFilter>(m.m_fileWriter);
        if (m.m_fileSink)
            m.m_fileSink->SetFileName(s.mp3Path, nullptr);
        return FailureCode::None;
    }

    FailureCode AddSampleGrabber() {
        if (FAILED(CoCreateFilter(CLSID_SampleGrabber, &m.m_grabberFilter)) || !m.m_grabberFilter)
            return Fail(FailureCode::SampleGrabber, "Could not create SampleGrabber");
        m.m_sampleGrabber = QueryInterface<ISampleGrabber>(m.m_grabberFilter);
        if (!m.m_sampleGrabber)
            return Fail(FailureCode::SampleGrabber, "Query SampleGrabber interface failed");
        AM_MEDIA_TYPE type;
        type.majortype = MEDIATYPE_Video;
        type.subtype = MEDIASUBTYPE_RGB24;
        if (FAILED(m.m_sampleGrabber->SetMediaType(&type)))
            return Fail(FailureCode::SampleGrabber, "Could not set SampleGrabber's media type");
        if (FAILED(graph.AddFilter(m.m_grabberFilter, kNameSampleGrabber)))
            return Fail(FailureCode::SampleGrabber, "Could not add SampleGrabber");
        return FailureCode::None;
    }

    FailureCode GetConversionPins() {
        struct PinStep {
            IPinPtr* pin;
            const IBaseFilterPtr* filter; // nullptr: the pin connected to `peer`
            PIN_DIRECTION direction;
            const IPinPtr* peer;
            const char* message;
            FailureCode code;
        };
        const PinStep steps[] = {
            {&m.m_videoRendererIn, &m.m_videoRenderer, PINDIR_INPUT, nullptr, "Could not get video renderer input",
             FailureCode::VideoRendererIn},
            {&m.m_videoOut, nullptr, PINDIR_OUTPUT, &m.m_videoRendererIn, "Could not get video output",
             FailureCode::VideoOut},
            {&m.m_grabberIn, &m.m_grabberFilter, PINDIR_INPUT, nullptr, "Could not get SampleGrabber input",
             FailureCode::GrabberIn},
            {&m.m_grabberOut, &m.m_grabberFilter, PINDIR_OUTPUT, nullptr, "Could not get SampleGrabber output",
             FailureCode::GrabberOut},
            {&m.m_audioRendererIn, &m.m_audioRenderer, PINDIR_INPUT, nullptr, "Could not get audio renderer input",
             FailureCode::AudioRendererIn},
            {&m.m_audioOut, nullptr, PINDIR_OUTPUT, &m.m_audioRendererIn, "Could not get audio output",
             FailureCode::AudioOut},
            {&m.m_processorIn, &m.m_audioProcessor, PINDIR_INPUT, nullptr, "Could not get MP3 encoder input",
             FailureCode::EncoderIn},
            {&m.m_processorOut, &m.m_audioProcessor, PINDIR_OUTPUT, nullptr, "Could not get MP3 encoder output",
             FailureCode::EncoderOut},
            {&m.m_encoderIn, &m.m_mp3Encoder, PINDIR_INPUT, nullptr, "Could not get MP3 encoder input",
             FailureCode::EncoderIn},
            {&m.m_encoderOut, &m.m_mp3Encoder, PINDIR_OUTPUT, nullptr, "Could not get MP3 encoder output",
             FailureCode::EncoderOut},
            {&m.m_wavDestIn, &m.m_wavDest, PINDIR_INPUT, nullptr, "Could not get audio MUX input",
             FailureCode::WavDestIn},
            {&m.m_wavDestOut, &m.m_wavDest, PINDIR_OUTPUT, nullptr, "Could not get audio MUX output",
             FailureCode::WavDestOut},
            {&m.m_writerIn, &m.m_fileWriter, PINDIR_INPUT, nullptr, "Could not get file writer input",
             FailureCode::WriterIn},
        };
        // The first four pins are the picture's, the rest the sound's.
        constexpr size_t kPictureSteps = 4;
        const size_t count = m_sound ? std::size(steps) : kPictureSteps;
        for (size_t i = 0; i < count; ++i) {
            const PinStep& step = steps[i];
            HRESULT hr = E_FAIL;
            if (step.filter != nullptr)
                hr = GetPin(*step.filter, step.direction, 0, step.pin);
            else if (*step.peer)
                hr = (*step.peer)->ConnectedTo(step.pin);
            if (FAILED(hr) || !*step.pin)
                return Fail(step.code, step.message);
        }
        return FailureCode::None;
    }

    FailureCode DisconnectRenderers() {
        HRESULT hr = graph.Disconnect(m.m_videoOut);
        if (FAILED(hr))
            return Fail(FailureCode::DisconnectVideoOut, hr == VFW_E_NOT_STOPPED
                                                            ? "Could not disconnect video output(VFW_E_NOT_STOPPED)"
                                                            : "Could not disconnect video output");
        if (FAILED(graph.Disconnect(m.m_videoRendererIn)))
            return Fail(FailureCode::DisconnectVideoRendererIn, "Could not disconnect video renderer input");
        if (m_sound && FAILED(graph.Disconnect(m.m_audioOut)))
            return Fail(FailureCode::DisconnectAudioOut, "Could not disconnect audio output");
        if (m_sound && FAILED(graph.Disconnect(m.m_audioRendererIn)))
            return Fail(FailureCode::DisconnectAudioRendererIn, "Could not disconnect audio renderer input");
        if (!s.monitoring) {
            if (FAILED(graph.RemoveFilter(m.m_videoRenderer)))
                return Fail(FailureCode::RemoveVideoRenderer, "Could not remove video renderer");
            if (SUCCEEDED(CoCreateFilter(CLSID_NullRenderer, &m.m_nullRenderer)) && m.m_nullRenderer &&
                FAILED(graph.AddFilter(m.m_nullRenderer, kNameNullRenderer)))
                return Fail(FailureCode::AddNullRenderer, "Could not add NullRenderer");
        }
        return FailureCode::None;
    }

    FailureCode ConnectConversionGraph() {
        if (FAILED(graph.Connect(m.m_videoOut, m.m_grabberIn)))
            return Fail(FailureCode::ConnectVideo, "Could not connect video to SampleGrabber");
        if (m_sound) {
            if (FAILED(graph.Connect(m.m_audioOut, m.m_processorIn)))
                return Fail(FailureCode::ConnectAudio, "Could not connect audio to FFDSHOW Processor");
            if (FAILED(graph.Connect(m.m_processorOut, m.m_encoderIn)))
                return Fail(FailureCode::ConnectEncoder, "Could not connect MP3 encoder to Lame III");
            if (FAILED(graph.Connect(m.m_encoderOut, m.m_wavDestIn)))
                return Fail(FailureCode::ConnectEncoder, "Could not connect MP3 encoder to WavDest");
            if (FAILED(graph.Connect(m.m_wavDestOut, m.m_writerIn)))
                return Fail(FailureCode::ConnectWriter, "Could not connect WavDest to file writer");
        }
        Snapshot("Before_Render(pSampleGrabberOut)");
        if (FAILED(graph.Render(m.m_grabberOut)))
            return Fail(FailureCode::RenderGrabber, "Could not render SampleGrabber output");
        Snapshot("After_Render(pSampleGrabberOut)");
        return FailureCode::None;
    }

    ConversionGraph& m;
    const ConversionGraphSetup& s;
    IGraphBuilder& graph;
    bool m_sound = true;
};

int PinCount(const IBaseFilterPtr& filter, PIN_DIRECTION direction) {
    std::shared_ptr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return 0;
    int count = 0;
    IPinPtr pin;
    while (pins->Next(&pin) == S_OK) {
        PIN_DIRECTION dir;
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == direction)
            ++count;
    }
    return count;
}

} // namespace

HRESULT GetPin(const IBaseFilterPtr& filter, PIN_DIRECTION direction, int n, IPinPtr* pin) {
    *pin = nullptr;
    if (!filter)
        return E_POINTER;
    std::shared_ptr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return E_FAIL;
    IPinPtr candidate;
    while (pins->Next(&candidate) == S_OK) {
        PIN_DIRECTION dir;
        if (SUCCEEDED(candidate->QueryDirection(&dir)) && dir == direction && n-- == 0) {
            *pin = candidate;
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT FindRenderer(IFilterGraph& graph, const GUID& majorType, IBaseFilterPtr* renderer) {
    *renderer = nullptr;
    std::shared_ptr<IEnumFilters> filters;
    HRESULT hr = graph.EnumFilters(&filters);
    if (FAILED(hr) || !filters)
        return FAILED(hr) ? hr : E_FAIL;
    IBaseFilterPtr filter;
    while (filters->Next(&filter) == S_OK) {
        if (PinCount(filter, PINDIR_INPUT) != 1 || PinCount(filter, PINDIR_OUTPUT) != 0)
            continue;
        IPinPtr input;
        if (FAILED(GetPin(filter, PINDIR_INPUT, 0, &input)))
            continue;
        AM_MEDIA_TYPE type;
        hr = input->ConnectionMediaType(&type);
        if (FAILED(hr))
            return hr;
        if (type.majortype == majorType) {
            *renderer = filter;
            return S_OK;
        }
    }
    return S_OK;
}

FailureCode BuildConversionGraph(ConversionGraph& members, const ConversionGraphSetup& setup) {
    if (setup.graph == nullptr)
        return FailureCode::NoVideoRenderer;
    return Builder(members, setup).Run();
}

void StartFrameCapture(ConversionGraph& members, FrameCaptureContext& context, FrameGrabberCallback& callback,
                       IMediaFilter* mediaFilter) {
    // The pacing starts afresh before the grabber can call the frame encoder.
    context.lastSampleTime = 0.0;
    context.frameTaken = false;
    if (members.m_sampleGrabber) {
        AM_MEDIA_TYPE type;
        if (SUCCEEDED(members.m_sampleGrabber->GetConnectedMediaType(&type))) {
            if (type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
                VIDEOINFOHEADER header;
                std::memcpy(&header, type.pbFormat.get(), sizeof header);
                context.sourceWidth = uint16_t(header.bmiHeader.biWidth);
                context.sourceHeight = uint16_t(header.bmiHeader.biHeight);
            } else {
                context.sourceWidth = uint16_t(type.width);
                context.sourceHeight = uint16_t(type.height);
            }
            if (type.pixelAspectN > 0 && type.pixelAspectD > 0) {
                context.pixelAspectN = uint32_t(type.pixelAspectN);
                context.pixelAspectD = uint32_t(type.pixelAspectD);
            }
        }
        members.m_sampleGrabber->SetBufferSamples(false);
        members.m_sampleGrabber->SetOneShot(false);
        members.m_sampleGrabber->SetCallback(&callback, 1);
    }
    if (mediaFilter != nullptr)
        mediaFilter->SetSyncSource(nullptr);
}

} // namespace zem
