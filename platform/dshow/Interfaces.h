#pragma once
// The media graph's interfaces, in the platform's method order, with their interface ids.
#include "platform/dshow/MediaTypes.h"

struct IPin;
struct IBaseFilter;
struct IFilterGraph;
struct IMemAllocator;

constexpr IID IID_IMediaFilter {0x56A86899, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IBaseFilter {0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IPin {0x56A86891, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IEnumPins {0x56A86892, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IEnumFilters {0x56A86893, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IEnumMediaTypes {0x89C31040, 0x846B, 0x11CE, {0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr IID IID_IReferenceClock {0x56A86897, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IMediaSample {0x56A8689A, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IMemAllocator {0x56A8689C, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IMemInputPin {0x56A8689D, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IFilterGraph {0x56A8689F, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IQualityControl {0x56A868A5, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IGraphBuilder {0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IMediaControl {0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr IID IID_IAMovieSetup {0xA3D8CEC0, 0x7E5A, 0x11CF, {0xBB, 0xC5, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x20}};
constexpr IID IID_IFilterMapper2 {0xB79BB0B0, 0x33C1, 0x11D1, {0xAB, 0xE1, 0x00, 0xA0, 0xC9, 0x05, 0xF3, 0x75}};

constexpr CLSID CLSID_SystemClock {0xE436EBB1, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr CLSID CLSID_FilterMapper {0xE436EBB2, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr CLSID CLSID_FilterGraph {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr CLSID CLSID_FilterMapper2 {0xCDA42200, 0xBD88, 0x11D0, {0xBD, 0x4E, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr CLSID CLSID_LegacyAmFilterCategory {0x083863F1, 0x70DE, 0x11D0, {0xBD, 0x40, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

struct FILTER_INFO {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;  // referenced; the caller releases it
};

struct PIN_INFO {
    IBaseFilter* pFilter;  // referenced; the caller releases it
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

struct IReferenceClock : IUnknown {
    virtual HRESULT GetTime(REFERENCE_TIME* pTime) = 0;
};

struct IMediaFilter : IPersist {
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME tStart) = 0;
    virtual HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* pClock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** pClock) = 0;
};

struct IEnumPins : IUnknown {
    virtual HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cPins) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** ppEnum) = 0;
};

struct IEnumMediaTypes : IUnknown {
    // Each type handed out is CoTaskMemAlloc'd with its format; free with DeleteMediaType.
    virtual HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cMediaTypes) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** ppEnum) = 0;
};

struct IBaseFilter : IMediaFilter {
    virtual HRESULT EnumPins(IEnumPins** ppEnum) = 0;
    virtual HRESULT FindPin(LPCWSTR Id, IPin** ppPin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* pInfo) = 0;
    virtual HRESULT JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) = 0;
    virtual HRESULT QueryVendorInfo(LPWSTR* pVendorInfo) = 0;
};

struct IPin : IUnknown {
    virtual HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pPin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* pInfo) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* pPinDir) = 0;
    virtual HRESULT QueryId(LPWSTR* Id) = 0;
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) = 0;
    virtual HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) = 0;
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) = 0;
};

struct Quality {
    int Type;
    long Proportion;
    REFERENCE_TIME Late;
    REFERENCE_TIME TimeStamp;
};

struct IQualityControl : IUnknown {
    virtual HRESULT Notify(IBaseFilter* pSelf, Quality q) = 0;
    virtual HRESULT SetSink(IQualityControl* piqc) = 0;
};

struct IMediaSample : IUnknown {
    virtual HRESULT GetPointer(BYTE** ppBuffer) = 0;
    virtual LONG GetSize() = 0;
    virtual HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
    virtual HRESULT SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
    virtual HRESULT IsSyncPoint() = 0;
    virtual HRESULT SetSyncPoint(BOOL bIsSyncPoint) = 0;
    virtual HRESULT IsPreroll() = 0;
    virtual HRESULT SetPreroll(BOOL bIsPreroll) = 0;
    virtual LONG GetActualDataLength() = 0;
    virtual HRESULT SetActualDataLength(LONG lLen) = 0;
    virtual HRESULT GetMediaType(AM_MEDIA_TYPE** ppMediaType) = 0;
    virtual HRESULT SetMediaType(AM_MEDIA_TYPE* pMediaType) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(BOOL bDiscontinuity) = 0;
    virtual HRESULT GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
    virtual HRESULT SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
};

struct IMemAllocator : IUnknown {
    virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Commit() = 0;
    virtual HRESULT Decommit() = 0;
    virtual HRESULT GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                              DWORD dwFlags) = 0;
    virtual HRESULT ReleaseBuffer(IMediaSample* pBuffer) = 0;
};

struct IMemInputPin : IUnknown {
    virtual HRESULT GetAllocator(IMemAllocator** ppAllocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) = 0;
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Receive(IMediaSample* pSample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) = 0;
    virtual HRESULT ReceiveCanBlock() = 0;
};

struct IEnumFilters : IUnknown {
    virtual HRESULT Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cFilters) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** ppEnum) = 0;
};

struct IFilterGraph : IUnknown {
    virtual HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* pFilter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** ppEnum) = 0;
    virtual HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) = 0;
    virtual HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT Reconnect(IPin* ppin) = 0;
    virtual HRESULT Disconnect(IPin* ppin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};

// Only direct connections: there is no intelligent connect, so Connect is ConnectDirect without a
// proposed type and Render/RenderFile/AddSourceFilter give E_NOTIMPL.
struct IGraphBuilder : IFilterGraph {
    virtual HRESULT Connect(IPin* ppinOut, IPin* ppinIn) = 0;
    virtual HRESULT Render(IPin* ppinOut) = 0;
    virtual HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) = 0;
    virtual HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                    IBaseFilter** ppFilter) = 0;
    virtual HRESULT SetLogFile(UINT_PTR hFile) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ShouldOperationContinue() = 0;
};

using OAFilterState = LONG;
// The automation methods of the platform's interface are left out; only run control remains.
struct IMediaControl : IUnknown {
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* pfs) = 0;
    virtual HRESULT StopWhenReady() = 0;
};

struct IAMovieSetup : IUnknown {
    virtual HRESULT Register() = 0;
    virtual HRESULT Unregister() = 0;
};

// Filter registration data (the layout self-registration hands to IFilterMapper2).
struct REGPINTYPES {
    const CLSID* clsMajorType;
    const CLSID* clsMinorType;
};
struct REGFILTERPINS {
    LPWSTR strName;
    BOOL bRendered;
    BOOL bOutput;
    BOOL bZero;
    BOOL bMany;
    const CLSID* clsConnectsToFilter;
    const WCHAR* strConnectsToPin;
    UINT nMediaTypes;
    const REGPINTYPES* lpMediaType;
};
struct REGFILTER2 {
    DWORD dwVersion;  // 1: rgPins
    DWORD dwMerit;
    ULONG cPins;
    const REGFILTERPINS* rgPins;
};
struct IMoniker;

struct IFilterMapper2 : IUnknown {
    virtual HRESULT CreateCategory(REFCLSID clsidCategory, DWORD dwCategoryMerit, LPCWSTR Description) = 0;
    virtual HRESULT UnregisterFilter(const CLSID* pclsidCategory, LPCWSTR szInstance, REFCLSID Filter) = 0;
    virtual HRESULT RegisterFilter(REFCLSID clsidFilter, LPCWSTR Name, IMoniker** ppMoniker,
                                   const CLSID* pclsidCategory, LPCWSTR szInstance, const REGFILTER2* prf2) = 0;
};
