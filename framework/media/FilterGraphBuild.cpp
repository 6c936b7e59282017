// Building the graph: filters in and out, connections, and rendering a pin or a file.
#include "FilterGraph.h"

#include "AsxPlaylist.h"
#include "Filters.h"
#include "MediaTexts.h"

#include <algorithm>
#include <filesystem>

namespace zem::media {

std::shared_ptr<IEnumFilters> MakeFilterEnum(const std::vector<std::shared_ptr<BaseFilter>>& filters);

namespace {

constexpr const char* kVideoRendererName = "Video Renderer";
constexpr const char* kAudioRendererName = "Audio Renderer";

} // namespace

std::shared_ptr<BaseFilter> FilterGraph::AsFilter(const IBaseFilterPtr& filter) const {
    return std::dynamic_pointer_cast<BaseFilter>(filter);
}

bool FilterGraph::Contains(const std::shared_ptr<BaseFilter>& filter) const {
    return std::find(m_filters.begin(), m_filters.end(), filter) != m_filters.end();
}

HRESULT FilterGraph::AddFilter(const IBaseFilterPtr& filter, const std::string& name) {
    auto f = AsFilter(filter);
    if (!f)
        return E_POINTER;
    if (Contains(f) || f->InGraph())
        return E_INVALIDARG;
    f->JoinGraph(weak_from_this(), name);
    m_filters.push_back(f);
    Trace("AddFilter \"%s\" %s", name.c_str(), StringFromCLSID(f->ClassId()).c_str());
    return S_OK;
}

HRESULT FilterGraph::RemoveFilter(const IBaseFilterPtr& filter) {
    auto f = AsFilter(filter);
    if (!f)
        return E_POINTER;
    if (!Contains(f))
        return VFW_E_NOT_IN_GRAPH;
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    Trace("RemoveFilter \"%s\"", f->Name().c_str());
    const bool connected = f->HasConnectedPin();
    if (connected || std::find(m_realized.begin(), m_realized.end(), f) != m_realized.end())
        TopologyChanged();
    for (const auto& pin : f->Pins())
        BreakConnection(pin);
    f->Finish();
    f->LeaveGraph();
    m_filters.erase(std::find(m_filters.begin(), m_filters.end(), f));
    return S_OK;
}

HRESULT FilterGraph::EnumFilters(std::shared_ptr<IEnumFilters>* filters) {
    if (!filters)
        return E_POINTER;
    *filters = MakeFilterEnum(m_filters);
    return S_OK;
}

void FilterGraph::BreakConnection(const std::shared_ptr<Pin>& pin) {
    if (auto peer = pin->Peer())
        peer->ClearPeer();
    pin->ClearPeer();
}

HRESULT FilterGraph::Disconnect(const IPinPtr& pin) {
    auto p = std::dynamic_pointer_cast<Pin>(pin);
    if (!p)
        return E_POINTER;
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!p->IsConnected())
        return S_FALSE;
    auto owner = p->Owner();
    Trace("Disconnect \"%s\" pin \"%s\"", owner ? owner->Name().c_str() : "", p->Name().c_str());
    TopologyChanged();
    BreakConnection(p);
    return S_OK;
}

HRESULT FilterGraph::ConnectPins(const std::shared_ptr<Pin>& out, const std::shared_ptr<Pin>& in) {
    auto outFilter = out->Owner();
    auto inFilter = in->Owner();
    if (!outFilter || !inFilter || !Contains(outFilter) || !Contains(inFilter))
        return VFW_E_NOT_IN_GRAPH;
    if (out->IsConnected() || in->IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    const MediaFormat format = outFilter->OutputFormat(*out);
    if (!inFilter->Accepts(*in, format))
        return VFW_E_CANNOT_CONNECT;
    TopologyChanged();
    out->SetPeer(in);
    in->SetPeer(out);
    in->SetFormat(format);
    Trace("Connected \"%s\".\"%s\" -> \"%s\".\"%s\"", outFilter->Name().c_str(), out->Name().c_str(),
          inFilter->Name().c_str(), in->Name().c_str());
    return S_OK;
}

HRESULT FilterGraph::Connect(const IPinPtr& out, const IPinPtr& in) {
    auto o = std::dynamic_pointer_cast<Pin>(out);
    auto i = std::dynamic_pointer_cast<Pin>(in);
    if (!o || !i)
        return E_POINTER;
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (o->Direction() != PINDIR_OUTPUT || i->Direction() != PINDIR_INPUT)
        return E_INVALIDARG;
    return ConnectPins(o, i);
}

HRESULT FilterGraph::Render(const IPinPtr& out) {
    auto o = std::dynamic_pointer_cast<Pin>(out);
    if (!o)
        return E_POINTER;
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (o->Direction() != PINDIR_OUTPUT)
        return E_INVALIDARG;
    if (o->IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    auto owner = o->Owner();
    if (!owner || !Contains(owner))
        return VFW_E_NOT_IN_GRAPH;
    const MediaFormat format = owner->OutputFormat(*o);
    // A renderer already in the graph comes first (the Null Renderer or a kept video renderer).
    for (const auto& filter : m_filters) {
        if (!filter->IsRenderer() || filter == owner)
            continue;
        for (const auto& pin : filter->Pins())
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
    if (FAILED(hr))
        return hr;
    hr = ConnectPins(o, renderer->PinAt(PINDIR_INPUT, 0));
    if (FAILED(hr))
        RemoveFilter(renderer);
    return hr;
}

HRESULT FilterGraph::RenderFile(const std::string& path, const std::string&) {
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    std::string file = path;
    if (IsAsxPath(path)) {
        UserText why;
        file = FirstPlaylistEntry(path, &why);
        if (file.empty()) {
            m_events.KeepError(ErrorDetail{ErrorDetail::Kind::Input, {}, why.English(), {}, why});
            std::error_code ec;
            return std::filesystem::is_regular_file(path, ec) ? VFW_E_UNSUPPORTED_STREAM : HRESULT_FILE_NOT_FOUND;
        }
    }
    Trace("RenderFile \"%s\"", file.c_str());
    auto source = MakeFilter<SourceFilter>(CLSID_FileSource);
    HRESULT hr = source->Load(file, nullptr);
    if (FAILED(hr)) {
        ErrorDetail why;
        if (source->GetErrorDetail(&why) == S_OK)
            m_events.KeepError(why);
        Trace("Load failed 0x%08x: %s", static_cast<unsigned>(hr), why.text.c_str());
        return hr;
    }
    for (const UserText& warning : source->Warnings())
        Trace("Warning: %s", warning.English().c_str());
    hr = AddFilter(source, file);
    if (FAILED(hr))
        return hr;
    for (const auto& pin : source->Pins()) {
        hr = Render(pin);
        if (FAILED(hr)) {
            const UserText said = UserText(kTextNoDecoderForStream).With("file", file);
            m_events.KeepError(ErrorDetail{ErrorDetail::Kind::Decode, {}, said.English(), {}, said});
            RemoveFilter(source);
            return hr;
        }
    }
    return S_OK;
}

} // namespace zem::media
