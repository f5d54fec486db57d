#pragma once
// CMemAllocator: a fixed set of samples over buffers of one size. GetBuffer blocks until a sample
// is free or the allocator is decommitted; a sample returns itself when its last reference goes.
#include "platform/dshow/BaseUnknown.h"
#include "platform/dshow/Interfaces.h"
#include "platform/dshow/MediaType.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class CMemAllocator;

class CMediaSample final : public IMediaSample {
public:
    CMediaSample(CMemAllocator* pAllocator, BYTE* pBuffer, LONG length);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetPointer(BYTE** ppBuffer) override;
    LONG GetSize() override { return m_cbBuffer; }
    HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    HRESULT SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    HRESULT IsSyncPoint() override { return m_bSyncPoint ? S_OK : S_FALSE; }
    HRESULT SetSyncPoint(BOOL b) override { m_bSyncPoint = b != FALSE; return S_OK; }
    HRESULT IsPreroll() override { return m_bPreroll ? S_OK : S_FALSE; }
    HRESULT SetPreroll(BOOL b) override { m_bPreroll = b != FALSE; return S_OK; }
    LONG GetActualDataLength() override { return m_lActual; }
    HRESULT SetActualDataLength(LONG lLen) override;
    HRESULT GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    HRESULT SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
    HRESULT IsDiscontinuity() override { return m_bDiscontinuity ? S_OK : S_FALSE; }
    HRESULT SetDiscontinuity(BOOL b) override { m_bDiscontinuity = b != FALSE; return S_OK; }
    HRESULT GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    HRESULT SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

private:
    friend class CMemAllocator;
    void ResetProperties();

    CMemAllocator* m_pAllocator;
    BYTE* m_pBuffer;
    LONG m_cbBuffer;
    std::atomic<LONG> m_cRef {0};
    LONG m_lActual;
    bool m_bTimeValid = false;
    bool m_bStopValid = false;
    bool m_bMediaTimeValid = false;
    bool m_bSyncPoint = false;
    bool m_bPreroll = false;
    bool m_bDiscontinuity = false;
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tStop = 0;
    LONGLONG m_llMediaStart = 0;
    LONGLONG m_llMediaStop = 0;
    std::unique_ptr<CMediaType> m_pMediaType;
};

class CMemAllocator final : public CUnknown, public IMemAllocator {
public:
    CMemAllocator(const wchar_t* pName, IUnknown* pUnk, HRESULT* phr);
    ~CMemAllocator() override;
    static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;
    HRESULT GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
    HRESULT Commit() override;
    HRESULT Decommit() override;
    HRESULT GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                      DWORD dwFlags) override;
    HRESULT ReleaseBuffer(IMediaSample* pBuffer) override;

    // Grants at least this many buffers whatever the request: for a consumer that holds samples
    // past Receive, while a producer asks for the one buffer it fills at a time.
    void SetMinimumBuffers(LONG cBuffers);

private:
    void FreeBuffersIfIdle();  // under m_mutex

    std::mutex m_mutex;
    std::condition_variable m_cvFree;
    ALLOCATOR_PROPERTIES m_props {0, 0, 1, 0};
    bool m_bCommitted = false;
    bool m_bPropertiesSet = false;
    LONG m_lMinimumBuffers = 0;
    std::vector<BYTE> m_memory;
    std::vector<std::unique_ptr<CMediaSample>> m_samples;
    std::vector<CMediaSample*> m_free;
};

constexpr DWORD AM_GBF_NOWAIT = 4;
