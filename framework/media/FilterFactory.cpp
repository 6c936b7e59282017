// The factory table (the layer's CoCreateInstance): class id -> filter, and the
// graph object. It sits above the filters and the graph; GraphCore below both.
#include "FilterGraph.h"
#include "Filters.h"

namespace zem::media {

namespace {

struct FactoryEntry {
    const CLSID* clsid;
    IBaseFilterPtr (*create)();
};

template <class F>
IBaseFilterPtr Create() {
    return MakeFilter<F>();
}

IBaseFilterPtr CreateAsfReader() {
    return MakeFilter<SourceFilter>(CLSID_WMAsfReader);
}
IBaseFilterPtr CreateFileSource() {
    return MakeFilter<SourceFilter>(CLSID_FileSource);
}

const FactoryEntry kFactoryTable[] = {
    {&CLSID_WMAsfReader, &CreateAsfReader},
    {&CLSID_FileSource, &CreateFileSource},
    {&CLSID_GplMpeg2Decoder, &Create<Mpeg2DecoderFilter>},
    {&CLSID_SampleGrabber, &Create<SampleGrabberFilter>},
    {&CLSID_NullRenderer, &Create<NullRendererFilter>},
    {&CLSID_AudioProcessor, &Create<AudioProcessorFilter>},
    {&CLSID_Mp3Encoder, &Create<Mp3EncoderFilter>},
    {&CLSID_WavDest, &Create<WavDestFilter>},
    {&CLSID_FileWriter, &Create<FileWriterFilter>},
    {&CLSID_VideoRenderer, &Create<VideoRendererFilter>},
    {&CLSID_AudioRenderer, &Create<AudioRendererFilter>},
};

} // namespace

} // namespace zem::media

HRESULT CoCreateFilter(const CLSID& clsid, IBaseFilterPtr* filter) {
    if (!filter)
        return E_POINTER;
    filter->reset();
    zem::media::EnsureGstInitialised();
    for (const auto& entry : zem::media::kFactoryTable) {
        if (*entry.clsid == clsid) {
            *filter = entry.create();
            return S_OK;
        }
    }
    return REGDB_E_CLASSNOTREG;
}

HRESULT CreateFilterGraph(std::shared_ptr<IGraphBuilder>* graph) {
    if (!graph)
        return E_POINTER;
    zem::media::EnsureGstInitialised();
    *graph = std::make_shared<zem::media::FilterGraph>();
    return S_OK;
}

_GstElement* GraphPipelineForDiagnostics(IUnknown* graph) {
    auto* g = dynamic_cast<zem::media::FilterGraph*>(graph);
    if (!g || !g->Pipeline())
        return nullptr;
    return GST_ELEMENT(gst_object_ref(g->Pipeline()));
}

std::string DescribeGraph(IUnknown* graph) {
    auto* g = dynamic_cast<zem::media::FilterGraph*>(graph);
    return g ? g->Describe() : std::string();
}
