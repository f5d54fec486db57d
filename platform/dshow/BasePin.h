#pragma once
// CBasePin: the connection protocol. The output side (Connect) proposes types - the caller's, or
// the receiving pin's own list first, then its own (GetMediaType) - and for each one checks it
// (CheckMediaType), asks the receiver (ReceiveConnection), then fixes it (SetMediaType) and lets
// the derived pin finish (CompleteConnect: the output pin's allocator negotiation).
#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/MediaType.h"

#include <string>

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    CBasePin(const wchar_t* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
             LPCWSTR pName, PIN_DIRECTION dir);
    ~CBasePin() override;

    // A pin lives as long as its filter: its references are the filter's.
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return GetOwner()->QueryInterface(riid, ppv); }
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override { return AddRef(); }
    ULONG NonDelegatingRelease() override { return Release(); }

    // IPin
    HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pPin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT QueryPinInfo(PIN_INFO* pInfo) override;
    HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override;
    HRESULT QueryId(LPWSTR* Id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    HRESULT QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT EndOfStream() override { return S_OK; }
    HRESULT BeginFlush() override = 0;
    HRESULT EndFlush() override = 0;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IQualityControl
    HRESULT Notify(IBaseFilter*, Quality) override { return E_NOTIMPL; }
    HRESULT SetSink(IQualityControl* piqc) override;

    // What a derived pin supplies.
    virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType);  // VFW_S_NO_MORE_ITEMS
    virtual HRESULT SetMediaType(const CMediaType* pmt);
    virtual HRESULT CheckConnect(IPin* pPin);
    virtual HRESULT BreakConnect() { return S_OK; }
    virtual HRESULT CompleteConnect(IPin*) { return S_OK; }
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

    bool IsConnected() const { return m_Connected != nullptr; }
    IPin* GetConnected() const { return m_Connected; }
    const std::wstring& Name() const { return m_strName; }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    bool IsStopped() const { return m_pFilter->IsStopped(); }

protected:
    HRESULT AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt);
    HRESULT TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum);
    HRESULT AttemptConnection(IPin* pReceivePin, const CMediaType* pmt);
    void ReleaseConnection();

    std::wstring m_strName;
    IPin* m_Connected = nullptr;  // referenced
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;
    CBaseFilter* m_pFilter;
    IQualityControl* m_pQSink = nullptr;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tStop = 0;
    double m_dRate = 1.0;
};

// Sends samples to the connected IMemInputPin through an allocator agreed at connection.
class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const wchar_t* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                   LPCWSTR pName);
    ~CBaseOutputPin() override;

    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // The input pin's allocator if it has one, else our own; sized by DecideBufferSize.
    virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc);
    virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) = 0;
    virtual HRESULT InitAllocator(IMemAllocator** ppAlloc);
    virtual HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime, DWORD dwFlags);
    virtual HRESULT Deliver(IMediaSample* pSample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();

    // Input-side calls make no sense on an output pin.
    HRESULT EndOfStream() override { return E_UNEXPECTED; }
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

protected:
    IMemAllocator* m_pAllocator = nullptr;  // referenced
    IMemInputPin* m_pInputPin = nullptr;    // referenced
};

// Receives samples: answers IMemInputPin, offers an allocator, refuses samples unless streaming.
class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const wchar_t* pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                  LPCWSTR pName);
    ~CBaseInputPin() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CBasePin::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CBasePin::AddRef(); }
    ULONG Release() override { return CBasePin::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemInputPin
    HRESULT GetAllocator(IMemAllocator** ppAllocator) override;
    HRESULT NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    // The buffers the pin holds at once, when it holds samples past Receive.
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    // Checks the state; a derived pin calls this first, then takes the sample.
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) override;
    HRESULT ReceiveCanBlock() override { return S_OK; }

    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT BreakConnect() override;
    HRESULT Inactive() override;
    HRESULT CheckConnect(IPin* pPin) override;

    HRESULT CheckStreaming();
    // The allocator the pin offers grants at least this many buffers (set before connecting).
    void SetAllocatorMinimum(LONG cBuffers) { m_lMinimumBuffers = cBuffers; }
    bool IsFlushing() const { return m_bFlushing; }
    bool IsReadOnly() const { return m_bReadOnly; }

protected:
    IMemAllocator* m_pAllocator = nullptr;  // referenced
    std::atomic<bool> m_bFlushing {false};
    bool m_bReadOnly = false;
    std::atomic<bool> m_bRunTimeError {false};
    LONG m_lMinimumBuffers = 0;
};

// Lists the pins of a filter, a snapshot taken when made.
class CEnumPins final : public IEnumPins {
public:
    explicit CEnumPins(CBaseFilter* pFilter);
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override;
    HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cPins) override;
    HRESULT Reset() override { m_nPosition = 0; return S_OK; }
    HRESULT Clone(IEnumPins** ppEnum) override;

private:
    ~CEnumPins();
    CBaseFilter* m_pFilter;  // referenced
    std::atomic<LONG> m_cRef {1};
    int m_nPosition = 0;
};

// Lists the types a pin offers (its GetMediaType positions), asked afresh on each Next.
class CEnumMediaTypes final : public IEnumMediaTypes {
public:
    explicit CEnumMediaTypes(CBasePin* pPin);
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override;
    HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cMediaTypes) override;
    HRESULT Reset() override { m_nPosition = 0; return S_OK; }
    HRESULT Clone(IEnumMediaTypes** ppEnum) override;

private:
    ~CEnumMediaTypes();
    CBasePin* m_pPin;  // referenced
    std::atomic<LONG> m_cRef {1};
    int m_nPosition = 0;
};
