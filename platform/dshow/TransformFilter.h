#pragma once
// CTransformFilter: one input pin, one output pin. The derived filter checks types
// (CheckInputType, CheckTransform), offers the output types (GetMediaType) and sizes the output
// buffers (DecideBufferSize). A one-to-one filter implements Transform(in, out); a filter that
// makes 0..n samples per input sample (a sound compressor buffering to its frame size) overrides
// Receive, hands each result to DeliverOutput, and delivers what it still holds in Drain, which
// runs at end of stream and when the filter stops. The output pin connects only after the input.
#include "platform/dshow/BasePin.h"

#include <atomic>

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(const wchar_t* pObjectName, CTransformFilter* pFilter, HRESULT* phr, LPCWSTR pName);

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;

    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

protected:
    CTransformFilter* m_pTransformFilter;
};

class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(const wchar_t* pObjectName, CTransformFilter* pFilter, HRESULT* phr, LPCWSTR pName);

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;

protected:
    CTransformFilter* m_pTransformFilter;
};

class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(const wchar_t* pName, IUnknown* pUnk, REFCLSID clsid);
    ~CTransformFilter() override;

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int n) override;

    // Leaving stopped: StartStreaming, then the pins go active. Stopping: no more input, the
    // held output is drained (unless end of stream did it), the pins go inactive, StopStreaming.
    HRESULT Stop() override;
    HRESULT Pause() override;

    // What the derived filter supplies.
    virtual HRESULT CheckInputType(const CMediaType* mtIn) = 0;
    virtual HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) = 0;
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) = 0;  // output types
    virtual HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pProp) = 0;
    // One output sample per input sample, prepared with the input's times and flags; S_FALSE
    // drops it.
    virtual HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut);
    // Called on the streaming thread under the receive lock.
    virtual HRESULT Receive(IMediaSample* pSample);
    virtual HRESULT Drain() { return S_OK; }
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }

    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt);
    virtual HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pPin);
    virtual HRESULT BreakConnect(PIN_DIRECTION direction);
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* pReceivePin);

    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    const CMediaType& InputType() const { return m_pInput->CurrentMediaType(); }
    const CMediaType& OutputType() const { return m_pOutput->CurrentMediaType(); }

protected:
    // A sample for the output pin carrying the input's times and flags (pIn may be null).
    HRESULT InitializeOutputSample(IMediaSample* pIn, IMediaSample** ppOut);
    // Copies one result into an output buffer and delivers it; a result larger than the buffer
    // fails with VFW_E_BUFFER_OVERFLOW rather than being cut.
    HRESULT DeliverOutput(const BYTE* pData, LONG cbData, REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                          bool bSyncPoint);
    // The same with times that may be missing (both null) and the discontinuity flag.
    HRESULT DeliverOutput(const BYTE* pData, LONG cbData, const REFERENCE_TIME* ptStart, const REFERENCE_TIME* ptStop,
                          bool bSyncPoint, bool bDiscontinuity);

    friend class CTransformInputPin;
    friend class CTransformOutputPin;

    CCritSec m_csFilter;   // state changes and connections
    CCritSec m_csReceive;  // the streaming path
    CTransformInputPin* m_pInput = nullptr;
    CTransformOutputPin* m_pOutput = nullptr;
    std::atomic<bool> m_bStopping {false};
    std::atomic<bool> m_bEOSDelivered {false};  // end of stream already drained and passed on
};
