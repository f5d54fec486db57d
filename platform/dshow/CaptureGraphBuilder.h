#pragma once
// Capture Graph Builder 2: builds capture graphs in the graph it is given - the AVI multiplexer
// and file writer for an output file, a stream from a source through an optional intermediate
// filter to a sink, and interfaces looked up on a filter or its pins. It keeps the graph, but no
// filter beyond a call. Filters must be in the graph already.
//
// Pin categories: a pin's IAMPinCategory names its category; an output pin without it counts as
// a capture pin when none of its filter's input pins is connected (the filter is a source).
#include "platform/com/ComPtr.h"
#include "platform/dshow/BaseUnknown.h"
#include "platform/dshow/CaptureInterfaces.h"

class CCaptureGraphBuilder final : public CUnknown, public ICaptureGraphBuilder2 {
public:
    explicit CCaptureGraphBuilder(IUnknown* pUnk);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Once set, the graph stays (E_UNEXPECTED for another).
    HRESULT SetFiltergraph(IGraphBuilder* pfg) override;
    HRESULT GetFiltergraph(IGraphBuilder** ppfg) override;
    HRESULT SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                              IFileSinkFilter** ppSink) override;
    HRESULT FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                          void** ppint) override;
    // Connections made by a failing call are taken back.
    HRESULT RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource, IBaseFilter* pfCompressor,
                         IBaseFilter* pfRenderer) override;
    HRESULT FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory, const GUID* pType,
                    BOOL fUnconnected, int num, IPin** ppPin) override;

private:
    bool InGraph(IBaseFilter* pFilter) const;

    ComPtr<IGraphBuilder> m_graph;
};

HRESULT CreateCaptureGraphBuilder2(IUnknown* pUnkOuter, REFIID riid, void** ppv);
