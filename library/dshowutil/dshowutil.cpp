#include "dshowutil.h"

#include "MessageBoxSeam.h"

#include <gst/gst.h>

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>

namespace {

struct RotEntry {
    std::string name;
    std::shared_ptr<IUnknown> graph;
};

std::mutex g_rotMutex;
std::map<std::uint32_t, RotEntry> g_rot;
std::uint32_t g_nextCookie = 1;

} // namespace

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

std::string RotItemName(const void* graph) {
    char name[64];
    std::snprintf(name, sizeof name, "FilterGraph %08x pid %08x",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(graph)), static_cast<unsigned>(getpid()));
    return name;
}

void RegisterGraphInRot(const std::shared_ptr<IUnknown>& graph, std::uint32_t* cookie) {
    if (!graph || !cookie)
        return;
    std::lock_guard lock(g_rotMutex);
    const std::uint32_t id = g_nextCookie++;
    g_rot[id] = RotEntry{RotItemName(graph.get()), graph};
    *cookie = id;
}

void RevokeGraphFromRot(std::uint32_t cookie) {
    std::lock_guard lock(g_rotMutex);
    g_rot.erase(cookie);
}

std::shared_ptr<IUnknown> FindGraphInRot(const std::string& itemName) {
    std::lock_guard lock(g_rotMutex);
    for (const auto& [cookie, entry] : g_rot)
        if (entry.name == itemName)
            return entry.graph;
    return nullptr;
}

std::vector<std::string> RotItemNames() {
    std::lock_guard lock(g_rotMutex);
    std::vector<std::string> names;
    for (const auto& [cookie, entry] : g_rot)
        names.push_back(entry.name);
    return names;
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
