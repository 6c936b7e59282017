#include "dshowutil.h"

#include "MessageBoxSeam.h"

#include <gst/gst.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>

void ReportFailure(const char* format, ...) {
    char text[kFailureTextMax + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    text[kFailureTextMax] = '\0';
    std::fputs(text, stderr);
    std::fflush(stderr);
    ShowMessageBox(text, kMessageBoxCaption, MB_OK);
}

HRESULT CreateFilter(const CLSID& clsid, IBaseFilterPtr* filter) {
    if (!filter)
        return E_POINTER;
    const HRESULT hr = CoCreateFilter(clsid, filter);
    if (FAILED(hr)) {
        ReportFailure("CreateFilter: Failed to create filter!  hr=0x%x\n", static_cast<unsigned>(hr));
        filter->reset();
    }
    return hr;
}

HRESULT RenderOutputPins(IGraphBuilder* graph, IBaseFilter* filter) {
    if (!graph || !filter)
        return E_POINTER;
    std::shared_ptr<IEnumPins> pins;
    HRESULT hr = filter->EnumPins(&pins);
    if (FAILED(hr))
        return hr;
    IPinPtr pin;
    while ((hr = pins->Next(&pin)) == S_OK) {
        IPinPtr peer;
        hr = pin->ConnectedTo(&peer);
        peer.reset();
        if (hr == VFW_E_NOT_CONNECTED) {
            PIN_DIRECTION dir;
            hr = pin->QueryDirection(&dir);
            if (hr == S_OK && dir == PINDIR_OUTPUT)
                hr = graph->Render(pin);
        }
        pin.reset();
        if (FAILED(hr))
            break;
    }
    return hr;
}

HRESULT SaveGraphToFile(IUnknown* graph, const std::string& path) {
    if (!graph)
        return E_POINTER;
    const std::string description = DescribeGraph(graph);
    if (description.empty())
        return E_NOINTERFACE;
    std::string pipelineText;
    if (GstElement* pipeline = GraphPipelineForDiagnostics(graph)) {
        gchar* dot = gst_debug_bin_to_dot_data(GST_BIN(pipeline), GST_DEBUG_GRAPH_SHOW_ALL);
        if (dot)
            pipelineText = dot;
        g_free(dot);
        gst_object_unref(pipeline);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return E_FAIL;
    out << description << pipelineText;
    out.close();
    return out ? S_OK : E_FAIL;
}

void FreeMediaTypeContents(AM_MEDIA_TYPE& type) {
    if (type.cbFormat != 0) {
        type.pbFormat.reset();
        type.cbFormat = 0;
    }
    type.pUnk.reset();
}
