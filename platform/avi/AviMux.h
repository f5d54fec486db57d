#pragma once
// The AVI Mux: input pins made as they are needed (one is always free: "Input 01", then "Input
// 02" once the first is connected, ...), one output pin (MEDIATYPE_Stream / MEDIASUBTYPE_Avi) for
// the File Writer, and IConfigAviMux. Connected inputs become the file's streams in pin order.
// Leaving the stopped state starts the file through the connected writer; stopping finishes it.
#include "platform/avi/AviFileMuxer.h"
#include "platform/avi/AviStreamFormat.h"
#include "platform/dshow/BasePin.h"
#include "platform/dshow/CaptureInterfaces.h"

#include <memory>
#include <mutex>
#include <vector>

class CAviMux;

class CAviMuxInputPin final : public CBaseInputPin {
public:
    CAviMuxInputPin(CAviMux* pMux, CCritSec* pLock, HRESULT* phr, LPCWSTR pName);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;

    const AviStreamFormat& Format() const { return m_format; }
    int m_iStream = -1;  // its stream in the file of this run
    bool m_bEndOfStream = false;

private:
    CAviMux* m_pMux;
    AviStreamFormat m_format;
};

class CAviMuxOutputPin final : public CBaseOutputPin {
public:
    CAviMuxOutputPin(CAviMux* pMux, CCritSec* pLock, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
};

class CAviMux final : public CBaseFilter, public IConfigAviMux {
public:
    explicit CAviMux(IUnknown* pUnk);
    ~CAviMux() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;  // 0: the output, then the inputs
    HRESULT Pause() override;
    HRESULT Stop() override;

    // IConfigAviMux
    HRESULT SetMasterStream(LONG iStream) override;
    HRESULT GetMasterStream(LONG* pStream) override;
    HRESULT SetOutputCompatibilityIndex(BOOL fOldIndex) override;
    HRESULT GetOutputCompatibilityIndex(BOOL* pfOldIndex) override;

private:
    friend class CAviMuxInputPin;
    void OnInputConnected();
    HRESULT WriteSample(CAviMuxInputPin* pPin, IMediaSample* pSample);
    void OnEndOfStream(CAviMuxInputPin* pPin);
    HRESULT StartFile();
    void Notify(long code, LONG_PTR param1);

    CCritSec m_lock;
    CAviMuxOutputPin m_output;
    std::vector<std::unique_ptr<CAviMuxInputPin>> m_inputs;  // never shrinks: pins live with the filter
    LONG m_lMaster = -1;
    BOOL m_bOldIndex = TRUE;  // an idx1 is always written

    std::mutex m_writeMutex;  // the file of this run, shared by the streaming threads
    std::unique_ptr<CAviFileMuxer> m_file;
    HRESULT m_hrFailure = S_OK;  // reported once per run
    bool m_bCompleteSent = false;
};


