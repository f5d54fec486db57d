#pragma once
// The capture filter's output pin: uncompressed RGB types of the frame size, one buffer of one
// frame, and on the streaming thread one screen capture per sample, time-stamped from measured
// tick intervals so that consecutive samples abut.
#include "filter/ScreenGrabber.h"
#include "platform/dshow/Source.h"

#include <atomic>
#include <memory>

class CCaptureStream : public CSourceStream {
public:
    // pClock paces the pause wait and the ceiling and gives the tick count (the system's if null).
    CCaptureStream(HRESULT* phr, CSource* pParent, LPCWSTR pPinName, ITickClock* pClock = nullptr);
    ~CCaptureStream() override;

    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT CheckMediaType(const CMediaType* pMediaType) override;
    HRESULT SetMediaType(const CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
    HRESULT Notify(IBaseFilter* pSelf, Quality q) override;

    HRESULT FillBuffer(IMediaSample* pSample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;

    // The IOravane side (the filter forwards here).
    CScreenGrabber* Grabber() const { return m_pGrabber.get(); }
    void SetFrameSize(LONG width, LONG height);
    // Takes effect at once: a capture in progress finishes first, no frame is captured while
    // paused, and the paused time counts neither in the sample times nor in the frame rate.
    void SetPause(BOOL bPause);
    BOOL GetPause() const { return m_bPaused.load(); }
    double GetActualFrameRate();
    void SetMaxFrameRate(double dFps);

    static constexpr REFERENCE_TIME kInitialFrameLength = 666666;  // 1/15 s, truncated
    static constexpr double kDefaultMaxFrameRate = 15.0;

private:
    // How long a wait sleeps at most before it looks at the pause and at the commands again.
    static constexpr DWORD kWaitSliceMs = 5;
    // Milliseconds until the ceiling lets the next capture go (0: now). Under m_cSharedState.
    DWORD FrameSlotWaitMs(DWORD now);
    // One capture into the sample and its time stamps. Under m_cSharedState.
    void CaptureFrame(IMediaSample* pSample);

    std::unique_ptr<CScreenGrabber> m_pGrabber;
    REFERENCE_TIME m_rtNextStart = 0;
    BOOL m_bFirstFrame = TRUE;
    // Written under m_cSharedState with the timing it changes; read alone by GetPause.
    std::atomic<BOOL> m_bPaused {FALSE};
    DWORD m_dwLastTick = 0;
    unsigned long long m_llElapsedMs = 0;
    LONG m_iHeight = 480;
    LONG m_iWidth = 640;
    DWORD m_dwRunMs = 0;
    DWORD m_nFrames = 0;
    DWORD m_dwRunStart = 0;
    double m_dActualFps = 0.0;
    REFERENCE_TIME m_rtFrameLength = kInitialFrameLength;
    int m_nBitCount = 32;
    CMediaType m_mtNegotiated;
    // Guards the timing, the pause's effect on it, the ceiling's schedule and the grabber.
    CCritSec m_cSharedState;

    // The frame-rate ceiling: captures since m_dwCeilingBase, paced from there.
    std::atomic<double> m_dMaxFps {kDefaultMaxFrameRate};
    bool m_bCeilingArmed = false;
    DWORD m_dwCeilingBase = 0;
    DWORD m_nCeilingFrames = 0;
};
