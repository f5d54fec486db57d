#pragma once
// The interfaces of capture graphs: building them (Capture Graph Builder 2), writing AVI files
// (the multiplexer and the file writer), configuring a capture pin's format and a capture
// device's inputs, property pages, and the graph's event sink.
#include "platform/com/Variant.h"
#include "platform/base/WinGdiTypes.h"
#include "platform/dshow/Interfaces.h"

constexpr IID IID_ICaptureGraphBuilder2 {0x93E5A4E0, 0x2D50, 0x11D2, {0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3, 0x8D}};
constexpr IID IID_IFileSinkFilter {0xA2104830, 0x7C70, 0x11CF, {0x8B, 0xCE, 0x00, 0xAA, 0x00, 0xA3, 0xF1, 0xA6}};
constexpr IID IID_IConfigAviMux {0x5ACD6AA0, 0xF482, 0x11CE, {0x8B, 0x67, 0x00, 0xAA, 0x00, 0xA3, 0xF1, 0xA6}};
constexpr IID IID_IAMStreamConfig {0xC6E13340, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
constexpr IID IID_IAMAudioInputMixer {0x54C39221, 0x8380, 0x11D0, {0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};
constexpr IID IID_ISpecifyPropertyPages {0xB196B28B, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr IID IID_IPropertyPage {0xB196B28D, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr IID IID_IMediaEventSink {0x56A868A2, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IMediaEvent {0x56A868B6, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IAMPinCategory {0x9B2B3F1E, 0x6C5A, 0x4F0B, {0x9A, 0x61, 0x2E, 0x4B, 0x8D, 0x11, 0x57, 0x03}};

constexpr CLSID CLSID_CaptureGraphBuilder2 {0xBF87B6E1, 0x8C27, 0x11D0, {0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};
constexpr CLSID CLSID_AviDest {0xE2510970, 0xF137, 0x11CE, {0x8B, 0x67, 0x00, 0xAA, 0x00, 0xA3, 0xF1, 0xA6}};
constexpr CLSID CLSID_FileWriter {0x8596E5F0, 0x0DA5, 0x11D0, {0xBD, 0x21, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

constexpr GUID PIN_CATEGORY_CAPTURE {0xFB6C4281, 0x0353, 0x11D1, {0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};
constexpr GUID PIN_CATEGORY_PREVIEW {0xFB6C4282, 0x0353, 0x11D1, {0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};

// Events a filter reports to its graph.
constexpr long EC_COMPLETE = 0x01;
constexpr long EC_USERABORT = 0x02;
constexpr long EC_ERRORABORT = 0x03;
constexpr long EC_STREAM_ERROR_STOPPED = 0x06;
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);

struct IFileSinkFilter : IUnknown {
    virtual HRESULT SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) = 0;
    // *ppszFileName is CoTaskMemAlloc'd; pmt may be null.
    virtual HRESULT GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) = 0;
};

struct IConfigAviMux : IUnknown {
    virtual HRESULT SetMasterStream(LONG iStream) = 0;  // -1: none
    virtual HRESULT GetMasterStream(LONG* pStream) = 0;
    virtual HRESULT SetOutputCompatibilityIndex(BOOL fOldIndex) = 0;
    virtual HRESULT GetOutputCompatibilityIndex(BOOL* pfOldIndex) = 0;
};

struct IAMStreamConfig : IUnknown {
    virtual HRESULT SetFormat(AM_MEDIA_TYPE* pmt) = 0;
    // *ppmt is made with CreateMediaType; the caller frees it with DeleteMediaType.
    virtual HRESULT GetFormat(AM_MEDIA_TYPE** ppmt) = 0;
    virtual HRESULT GetNumberOfCapabilities(int* piCount, int* piSize) = 0;
    virtual HRESULT GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) = 0;
};

// An input line of a capture device (on its input pins).
struct IAMAudioInputMixer : IUnknown {
    virtual HRESULT put_Enable(BOOL fEnable) = 0;
    virtual HRESULT get_Enable(BOOL* pfEnable) = 0;
    virtual HRESULT put_Mono(BOOL fMono) = 0;
    virtual HRESULT get_Mono(BOOL* pfMono) = 0;
    virtual HRESULT put_Loudness(BOOL fLoudness) = 0;
    virtual HRESULT get_Loudness(BOOL* pfLoudness) = 0;
    virtual HRESULT put_MixLevel(double Level) = 0;
    virtual HRESULT get_MixLevel(double* pLevel) = 0;
    virtual HRESULT put_Pan(double Pan) = 0;
    virtual HRESULT get_Pan(double* pPan) = 0;
    virtual HRESULT put_Treble(double Treble) = 0;
    virtual HRESULT get_Treble(double* pTreble) = 0;
    virtual HRESULT get_TrebleRange(double* pRange) = 0;
    virtual HRESULT put_Bass(double Bass) = 0;
    virtual HRESULT get_Bass(double* pBass) = 0;
    virtual HRESULT get_BassRange(double* pRange) = 0;
};

// What the platform asks through the pin's property set: the pin's category (PIN_CATEGORY_CAPTURE
// ...). A pin without it counts as a capture pin when its filter is a source.
struct IAMPinCategory : IUnknown {
    virtual HRESULT GetPinCategory(GUID* pCategory) = 0;
};

struct CAUUID {
    ULONG cElems;
    GUID* pElems;  // CoTaskMemAlloc'd; the caller frees it
};

struct ISpecifyPropertyPages : IUnknown {
    virtual HRESULT GetPages(CAUUID* pPages) = 0;
};

struct PROPPAGEINFO {
    ULONG cb;
    LPOLESTR pszTitle;  // CoTaskMemAlloc'd
    SIZE size;
    LPOLESTR pszDocString;
    LPOLESTR pszHelpFile;
    DWORD dwHelpContext;
};

// A property page made by class id (CoCreateInstance) and shown by OleCreatePropertyFrame: it puts
// its controls into the frame's page area, a native window (the X window id of a widget of ours).
struct IPropertyPage : IUnknown {
    virtual HRESULT SetPageSite(IUnknown* pPageSite) = 0;
    virtual HRESULT Activate(HWND hWndParent, const RECT* pRect, BOOL bModal) = 0;
    virtual HRESULT Deactivate() = 0;
    virtual HRESULT GetPageInfo(PROPPAGEINFO* pPageInfo) = 0;
    virtual HRESULT SetObjects(ULONG cObjects, IUnknown** ppUnk) = 0;
    virtual HRESULT Show(UINT nCmdShow) = 0;
    virtual HRESULT Move(const RECT* pRect) = 0;
    virtual HRESULT IsPageDirty() = 0;  // S_OK: dirty
    virtual HRESULT Apply() = 0;
    virtual HRESULT Help(LPCOLESTR pszHelpDir) = 0;
    virtual HRESULT TranslateAccelerator(void* pMsg) = 0;
};

using LONG_PTR = long;

// Filters report errors and completion to the graph; the graph queues them for its owner.
struct IMediaEventSink : IUnknown {
    virtual HRESULT Notify(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) = 0;
};

// The automation members of the platform's interface are left out.
struct IMediaEvent : IUnknown {
    virtual HRESULT GetEventHandle(LONG_PTR* hEvent) = 0;
    // E_ABORT when no event arrives within msTimeout.
    virtual HRESULT GetEvent(long* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, long msTimeout) = 0;
    virtual HRESULT WaitForCompletion(long msTimeout, long* pEvCode) = 0;
    virtual HRESULT CancelDefaultHandling(long lEvCode) = 0;
    virtual HRESULT RestoreDefaultHandling(long lEvCode) = 0;
    virtual HRESULT FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;
};

// The pieces of the capture graph builder used here. pCategory/pType may be null (any).
struct ICaptureGraphBuilder2 : IUnknown {
    virtual HRESULT SetFiltergraph(IGraphBuilder* pfg) = 0;
    virtual HRESULT GetFiltergraph(IGraphBuilder** ppfg) = 0;
    // MEDIASUBTYPE_Avi only: adds an AVI multiplexer and a file writer on lpstrFile, connected.
    virtual HRESULT SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                                      IFileSinkFilter** ppSink) = 0;
    // Looks on the filter, then on its pins of that category and major type.
    virtual HRESULT FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                                  void** ppint) = 0;
    // Connects the source's free output pin (of that category and type) to the intermediate
    // filter, if any, and on to the sink.
    virtual HRESULT RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                                 IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) = 0;
    virtual HRESULT FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory, const GUID* pType,
                            BOOL fUnconnected, int num, IPin** ppPin) = 0;
};

// Shows a modal frame with the pages for the objects; returns when the user closes it.
HRESULT OleCreatePropertyFrame(HWND hwndOwner, UINT x, UINT y, LPCOLESTR lpszCaption, ULONG cObjects,
                               IUnknown** ppUnk, ULONG cPages, const CLSID* pPageClsID, DWORD lcid,
                               DWORD dwReserved, void* pvReserved);
