#pragma once
// The sound capture filter's output pin "Capture": PCM in the format chosen through
// IAMStreamConfig (the only type it connects with), recorded from the filter's enabled input on
// its streaming thread. Samples are stamped by sample count since the stream started, so paused
// stretches leave no gap and nothing is counted twice.
#include "platform/dshow/CaptureInterfaces.h"
#include "platform/dshow/Source.h"
#include "platform/pulse/AudioFormats.h"
#include "platform/pulse/PulseRecordStream.h"

#include <atomic>
#include <memory>
#include <string>

class CAudioCaptureFilter;

class CAudioCaptureStream final : public CSourceStream, public IAMStreamConfig, public IAMPinCategory {
public:
    CAudioCaptureStream(CAudioCaptureFilter* pFilter, HRESULT* phr);
    ~CAudioCaptureStream() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CSourceStream::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CSourceStream::AddRef(); }
    ULONG Release() override { return CSourceStream::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IAMStreamConfig: the formats of SupportedPcmFormats; SetFormat only while stopped.
    HRESULT SetFormat(AM_MEDIA_TYPE* pmt) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** ppmt) override;
    HRESULT GetNumberOfCapabilities(int* piCount, int* piSize) override;
    HRESULT GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override;
    // IAMPinCategory
    HRESULT GetPinCategory(GUID* pCategory) override;

    PcmFormat Format();
    // The filter's run control: the server's flow starts and stops with the graph's running.
    HRESULT StartFlow();
    HRESULT PauseFlow();
    HRESULT Active() override;
    HRESULT Inactive() override;

protected:
    using CSourceStream::GetMediaType;
    HRESULT GetMediaType(CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT FillBuffer(IMediaSample*) override { return E_UNEXPECTED; }  // the loop below fills
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;
    HRESULT DoBufferProcessingLoop() override;

private:
    // Whole blocks of about ms milliseconds.
    static std::uint32_t BytesFor(const PcmFormat& format, DWORD ms);
    void ReportError(HRESULT hr);
    // Fills a sample with at least minBytes of what the server handed over, waiting up to
    // timeoutMs, and stamps it by the sample count. S_FALSE: not enough came.
    HRESULT FillFromServer(IMediaSample* pSample, std::size_t minBytes, int timeoutMs);
    // Delivers what was received and not read yet, without waiting for more.
    void DeliverTail();

    CAudioCaptureFilter* m_pCapture;
    PcmFormat m_format;  // under the filter's lock
    // What the streaming thread records, fixed when the filter leaves stopped.
    PcmFormat m_recordFormat;
    std::unique_ptr<CPulseRecordStream> m_pRecord;
    std::atomic<bool> m_bRunning {false};
    LONGLONG m_llFrames = 0;  // delivered since the stream started
    bool m_bFirstSample = true;
};
