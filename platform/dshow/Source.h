#pragma once
// CSource: a filter of output pins only (CSourceStream), which it owns. CSourceStream: an output
// pin with a streaming thread that asks for a buffer, lets the derived pin fill it (FillBuffer)
// and delivers it, until the filter stops.
#include "platform/dshow/AMThread.h"
#include "platform/dshow/BasePin.h"
#include "platform/dshow/TickClock.h"

class CSourceStream;

// FillBuffer's answer when a command came in while it waited to fill the sample: the sample goes
// back unsent and the loop answers the command. (Ours; the platform has no such code.)
constexpr HRESULT S_SOURCE_NO_SAMPLE = 0x00040300;

class CSource : public CBaseFilter {
public:
    CSource(const wchar_t* pName, IUnknown* pUnk, REFCLSID clsid, HRESULT* phr = nullptr);
    ~CSource() override;  // deletes the pins

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    CCritSec* pStateLock() { return &m_cStateLock; }

    // Pins add and remove themselves.
    HRESULT AddPin(CSourceStream* pStream);
    HRESULT RemovePin(CSourceStream* pStream);

protected:
    int m_iPins = 0;
    CSourceStream** m_paStreams = nullptr;
    CCritSec m_cStateLock;
};

class CSourceStream : public CAMThread, public CBaseOutputPin {
public:
    enum Command : DWORD { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };

    // The pin adds itself to pParent; the tick clock paces retries and derived pins' timing.
    CSourceStream(const wchar_t* pObjectName, HRESULT* phr, CSource* pParent, LPCWSTR pPinName,
                  ITickClock* pClock = nullptr);
    ~CSourceStream() override;

    HRESULT QueryId(LPWSTR* Id) override;

    // Leaving stopped starts the thread (OnThreadCreate on it); stopping ends it.
    HRESULT Active() override;
    HRESULT Inactive() override;

    ITickClock& TickClock() const { return *m_pTickClock; }
    void SetTickClock(ITickClock* pClock) { m_pTickClock = pClock ? pClock : &SystemTickClock(); }

protected:
    // S_OK: deliver the sample; S_FALSE: end of stream; S_SOURCE_NO_SAMPLE: nothing this time,
    // look at the commands; a failure aborts the stream.
    virtual HRESULT FillBuffer(IMediaSample* pSample) = 0;
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }

    DWORD ThreadProc() override;
    virtual HRESULT DoBufferProcessingLoop();

    HRESULT CheckMediaType(const CMediaType* pMediaType) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    // A pin with one type overrides this one instead of the positional form.
    virtual HRESULT GetMediaType(CMediaType* pMediaType);

    HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
    HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
    HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
    HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
    HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }

    CSource* m_pFilter;
    ITickClock* m_pTickClock;
};
