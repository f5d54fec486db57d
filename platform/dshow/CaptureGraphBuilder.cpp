#include "platform/dshow/CaptureGraphBuilder.h"

#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/PinOwner.h"

#include <new>
#include <vector>

namespace {

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* pFilter)
{
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> pEnum;
    if (FAILED(pFilter->EnumPins(pEnum.ReleaseAndGetAddressOf())) || !pEnum) return pins;
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    while (pEnum->Next(1, pin.ReleaseAndGetAddressOf(), &fetched) == S_OK && fetched == 1) pins.push_back(pin);
    return pins;
}

PIN_DIRECTION DirectionOf(IPin* pPin)
{
    PIN_DIRECTION dir = PINDIR_INPUT;
    pPin->QueryDirection(&dir);
    return dir;
}

bool IsConnected(IPin* pPin)
{
    ComPtr<IPin> other;
    return SUCCEEDED(pPin->ConnectedTo(other.ReleaseAndGetAddressOf())) && other;
}

bool HasConnectedInput(IBaseFilter* pFilter)
{
    for (ComPtr<IPin>& pin : PinsOf(pFilter))
        if (DirectionOf(pin.Get()) == PINDIR_INPUT && IsConnected(pin.Get())) return true;
    return false;
}

bool HasCategory(IPin* pPin, IBaseFilter* pFilter, const GUID& category)
{
    ComPtr<IAMPinCategory> pc;
    if (SUCCEEDED(pPin->QueryInterface(IID_IAMPinCategory, pc.ReleaseAndGetVoidAddressOf())) && pc) {
        GUID own = GUID_NULL;
        return SUCCEEDED(pc->GetPinCategory(&own)) && own == category;
    }
    return category == PIN_CATEGORY_CAPTURE && DirectionOf(pPin) == PINDIR_OUTPUT && !HasConnectedInput(pFilter);
}

// The connection's major type, or any the pin offers while unconnected.
bool HasMajorType(IPin* pPin, const GUID& type)
{
    AM_MEDIA_TYPE mt {};
    if (SUCCEEDED(pPin->ConnectionMediaType(&mt))) {
        bool match = mt.majortype == type;
        FreeMediaType(mt);
        return match;
    }
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pPin->EnumMediaTypes(types.ReleaseAndGetAddressOf())) || !types) return false;
    AM_MEDIA_TYPE* pmt = nullptr;
    ULONG fetched = 0;
    bool match = false;
    while (!match && types->Next(1, &pmt, &fetched) == S_OK && fetched == 1) {
        match = pmt->majortype == type;
        DeleteMediaType(pmt);
    }
    return match;
}

ComPtr<IBaseFilter> FilterOf(IUnknown* pUnk)
{
    ComPtr<IBaseFilter> filter;
    if (pUnk) pUnk->QueryInterface(IID_IBaseFilter, filter.ReleaseAndGetVoidAddressOf());
    return filter;
}

} // namespace

CCaptureGraphBuilder::CCaptureGraphBuilder(IUnknown* pUnk) : CUnknown(L"CCaptureGraphBuilder", pUnk) {}

HRESULT CCaptureGraphBuilder::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_ICaptureGraphBuilder2) return GetInterface(static_cast<ICaptureGraphBuilder2*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CCaptureGraphBuilder::SetFiltergraph(IGraphBuilder* pfg)
{
    if (!pfg) return E_POINTER;
    if (m_graph) return m_graph.Get() == pfg ? S_OK : E_UNEXPECTED;
    m_graph = ComPtr<IGraphBuilder>(pfg);
    return S_OK;
}

HRESULT CCaptureGraphBuilder::GetFiltergraph(IGraphBuilder** ppfg)
{
    if (!ppfg) return E_POINTER;
    *ppfg = nullptr;
    if (!m_graph) return E_UNEXPECTED;
    return m_graph.CopyTo(ppfg);
}

bool CCaptureGraphBuilder::InGraph(IBaseFilter* pFilter) const
{
    FILTER_INFO info {};
    if (FAILED(pFilter->QueryFilterInfo(&info))) return false;
    if (!info.pGraph) return false;
    // Compare identities: the graph may hand out another interface of itself.
    ComPtr<IUnknown> a, b;
    info.pGraph->QueryInterface(IID_IUnknown, a.ReleaseAndGetVoidAddressOf());
    m_graph->QueryInterface(IID_IUnknown, b.ReleaseAndGetVoidAddressOf());
    info.pGraph->Release();
    return a && a == b;
}

HRESULT CCaptureGraphBuilder::SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                                                IFileSinkFilter** ppSink)
{
    if (!pType || !lpstrFile || !ppf) return E_POINTER;
    *ppf = nullptr;
    if (ppSink) *ppSink = nullptr;
    if (*pType != MEDIASUBTYPE_Avi) return E_INVALIDARG;
    if (!m_graph) return E_UNEXPECTED;

    ComPtr<IBaseFilter> mux, writer;
    HRESULT hr = CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  mux.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) return hr;
    hr = CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          writer.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) return hr;
    ComPtr<IFileSinkFilter> sink;
    hr = writer->QueryInterface(IID_IFileSinkFilter, sink.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) return hr;

    hr = m_graph->AddFilter(mux.Get(), L"Mux");
    if (FAILED(hr)) return hr;
    hr = m_graph->AddFilter(writer.Get(), L"File Writer");
    if (SUCCEEDED(hr)) hr = sink->SetFileName(lpstrFile, nullptr);
    if (SUCCEEDED(hr)) {
        ComPtr<IPin> out, in;
        hr = FindPin(mux.Get(), PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0, out.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = FindPin(writer.Get(), PINDIR_INPUT, nullptr, nullptr, TRUE, 0, in.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) hr = m_graph->Connect(out.Get(), in.Get());
    }
    if (FAILED(hr)) {
        m_graph->RemoveFilter(writer.Get());
        m_graph->RemoveFilter(mux.Get());
        return hr;
    }
    *ppf = mux.Detach();
    if (ppSink) *ppSink = sink.Detach();
    return S_OK;
}

HRESULT CCaptureGraphBuilder::FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                                            void** ppint)
{
    if (!pf || !ppint) return E_POINTER;
    *ppint = nullptr;
    if (SUCCEEDED(pf->QueryInterface(riid, ppint)) && *ppint) return S_OK;
    for (ComPtr<IPin>& pin : PinsOf(pf)) {
        if (pCategory && !HasCategory(pin.Get(), pf, *pCategory)) continue;
        if (pType && !HasMajorType(pin.Get(), *pType)) continue;
        if (SUCCEEDED(pin->QueryInterface(riid, ppint)) && *ppint) return S_OK;
    }
    *ppint = nullptr;
    return E_NOINTERFACE;
}

HRESULT CCaptureGraphBuilder::FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory,
                                      const GUID* pType, BOOL fUnconnected, int num, IPin** ppPin)
{
    if (!pSource || !ppPin) return E_POINTER;
    *ppPin = nullptr;
    ComPtr<IBaseFilter> filter = FilterOf(pSource);
    if (!filter) return E_INVALIDARG;
    for (ComPtr<IPin>& pin : PinsOf(filter.Get())) {
        if (DirectionOf(pin.Get()) != pindir) continue;
        if (pCategory && !HasCategory(pin.Get(), filter.Get(), *pCategory)) continue;
        if (pType && !HasMajorType(pin.Get(), *pType)) continue;
        if (fUnconnected && IsConnected(pin.Get())) continue;
        if (num-- > 0) continue;
        *ppPin = pin.Detach();
        return S_OK;
    }
    return E_FAIL;
}

HRESULT CCaptureGraphBuilder::RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                                           IBaseFilter* pfCompressor, IBaseFilter* pfRenderer)
{
    if (!pSource) return E_POINTER;
    if (!pfCompressor && !pfRenderer) return E_INVALIDARG;  // there is no default renderer
    if (!m_graph) return E_UNEXPECTED;

    // The source may be a filter or one of its output pins.
    ComPtr<IPin> out;
    ComPtr<IBaseFilter> source;
    if (SUCCEEDED(pSource->QueryInterface(IID_IPin, out.ReleaseAndGetVoidAddressOf())) && out) {
        if (DirectionOf(out.Get()) != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
        if (IsConnected(out.Get())) return VFW_E_ALREADY_CONNECTED;
        source = OwnerOf(out.Get());
    } else {
        source = FilterOf(pSource);
        if (!source) return E_NOINTERFACE;
    }
    if (!source || !InGraph(source.Get())) return VFW_E_NOT_IN_GRAPH;
    if (pfCompressor && !InGraph(pfCompressor)) return VFW_E_NOT_IN_GRAPH;
    if (pfRenderer && !InGraph(pfRenderer)) return VFW_E_NOT_IN_GRAPH;
    if (!out) {
        HRESULT hr = FindPin(source.Get(), PINDIR_OUTPUT, pCategory, pType, TRUE, 0, out.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return VFW_E_NOT_FOUND;
    }

    std::vector<ComPtr<IPin>> made;  // output pins connected here, taken back on failure
    auto connect = [&](IPin* pOut, IBaseFilter* pDownstream) -> HRESULT {
        ComPtr<IPin> in;
        HRESULT hr = FindPin(pDownstream, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, in.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return VFW_E_NOT_FOUND;
        hr = m_graph->Connect(pOut, in.Get());
        if (SUCCEEDED(hr)) made.push_back(ComPtr<IPin>(pOut));
        return hr;
    };
    auto undo = [&] {
        for (ComPtr<IPin>& pin : made) {
            ComPtr<IPin> other;
            if (SUCCEEDED(pin->ConnectedTo(other.ReleaseAndGetAddressOf())) && other) m_graph->Disconnect(other.Get());
            m_graph->Disconnect(pin.Get());
        }
    };

    ComPtr<IPin> next = out;
    if (pfCompressor) {
        HRESULT hr = connect(out.Get(), pfCompressor);
        if (FAILED(hr)) return hr;
        if (!pfRenderer) return S_OK;
        hr = FindPin(pfCompressor, PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0, next.ReleaseAndGetAddressOf());
        if (FAILED(hr)) {
            undo();
            return VFW_E_NOT_FOUND;
        }
    }
    HRESULT hr = connect(next.Get(), pfRenderer);
    if (FAILED(hr)) undo();
    return hr;
}

HRESULT CreateCaptureGraphBuilder2(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    return CreateComObject<CCaptureGraphBuilder>(pUnkOuter, riid, ppv);
}
