#include "platform/avi/FileWriter.h"

#include "platform/avi/AviClasses.h"
#include "platform/avi/AviRepair.h"
#include "platform/com/TaskMemory.h"
#include "platform/com/WideText.h"
#include "platform/dshow/FactoryTemplate.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <sys/stat.h>
#include <new>
#include <unistd.h>

namespace {

// Empties the file a recording goes into, as O_TRUNC would, once its lock is held: 0 or the errno.
// Only a file that holds data: on ext4 a truncation marks even an empty file for a flush of all
// its data at close, which a new recording would pay for at its stop.
int EmptyFile(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) return errno;
    return S_ISREG(st.st_mode) && st.st_size > 0 && ::ftruncate(fd, 0) != 0 ? errno : 0;
}

} // namespace

CFileWriterInputPin::CFileWriterInputPin(CFileWriter* pFilter, CCritSec* pLock, HRESULT* phr)
    : CBaseInputPin(L"CFileWriterInputPin", pFilter, pLock, phr, L"in"), m_pWriter(pFilter)
{
}

HRESULT CFileWriterInputPin::CheckMediaType(const CMediaType* pmt)
{
    return pmt->majortype == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CFileWriterInputPin::Receive(IMediaSample* pSample)
{
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    BYTE* p = nullptr;
    hr = pSample->GetPointer(&p);
    if (FAILED(hr)) return hr;
    REFERENCE_TIME start = 0, stop = 0;
    if (SUCCEEDED(pSample->GetTime(&start, &stop))) {
        hr = m_pWriter->Seek(start, SEEK_SET, nullptr);
        if (FAILED(hr)) return hr;
    }
    hr = m_pWriter->Write(p, pSample->GetActualDataLength());
    if (FAILED(hr)) {
        m_bRunTimeError = true;
        m_pWriter->NotifyError(hr);
    }
    return hr;
}

CFileWriter::CFileWriter(IUnknown* pUnk)
    : CBaseFilter(L"CFileWriter", pUnk, &m_lock, CLSID_FileWriter), m_pin(this, &m_lock, nullptr)
{
}

CFileWriter::~CFileWriter()
{
    CloseFile();
}

HRESULT CFileWriter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IFileSinkFilter) return GetInterface(static_cast<IFileSinkFilter*>(this), ppv);
    if (riid == IID_IFileWriterOutput) return GetInterface(static_cast<IFileWriterOutput*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

void CFileWriter::NotifyError(HRESULT hr)
{
    IFilterGraph* pGraph = m_pGraph;
    if (!pGraph) return;
    IMediaEventSink* pSink = nullptr;
    if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&pSink))) && pSink) {
        pSink->Notify(EC_ERRORABORT, hr, 0);
        pSink->Release();
    }
}

HRESULT CFileWriter::Pause()
{
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        HRESULT hr = S_OK;
        {
            std::lock_guard fileLock(m_fileMutex);
            m_file.reset();  // an earlier run's file its writer never ended: written and closed
            m_bClaimed = false;
            if (m_strFileName.empty()) {
                hr = E_UNEXPECTED;
            } else {
                std::string path = Utf8FromWide(m_strFileName.c_str());
                int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                if (fd < 0) {
                    hr = HResultFromErrno(errno);
                } else if (!LockRecordingFile(fd)) {
                    ::close(fd);  // another recording writes this file
                    hr = HRESULT_FROM_WIN32(32);  // ERROR_SHARING_VIOLATION
                } else if (int err = EmptyFile(fd)) {
                    hr = HResultFromErrno(err);
                    ::close(fd);
                } else {
                    m_file = std::make_unique<CWriteBehindFile>(fd);
                }
            }
            m_hrOpen = hr;
        }
        if (FAILED(hr)) {
            NotifyError(hr);
            return hr;
        }
    }
    return CBaseFilter::Pause();
}

HRESULT CFileWriter::Stop()
{
    CAutoLock lock(m_pLock);
    HRESULT hr = CBaseFilter::Stop();
    bool claimed;
    {
        std::lock_guard fileLock(m_fileMutex);
        claimed = m_bClaimed;
    }
    // The multiplexer upstream stops after us and still finishes its file.
    if (!claimed) {
        HRESULT hrClose = CloseFile();
        if (SUCCEEDED(hr)) hr = hrClose;
    }
    return hr;
}

HRESULT CFileWriter::CloseFile()
{
    std::lock_guard fileLock(m_fileMutex);
    m_bClaimed = false;
    if (!m_file) return S_OK;
    HRESULT hr = m_file->Close();
    m_file.reset();
    m_hrOpen = E_UNEXPECTED;
    return hr;
}

HRESULT CFileWriter::SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE*)
{
    if (!pszFileName) return E_POINTER;
    if (!*pszFileName) return E_INVALIDARG;
    std::lock_guard fileLock(m_fileMutex);
    m_strFileName = pszFileName;
    return S_OK;
}

HRESULT CFileWriter::GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt)
{
    if (!ppszFileName) return E_POINTER;
    *ppszFileName = nullptr;
    std::lock_guard fileLock(m_fileMutex);
    if (pmt) {
        CMediaType stream;
        stream.SetType(&MEDIATYPE_Stream);
        stream.SetSubtype(&MEDIASUBTYPE_Avi);
        HRESULT hr = CopyMediaType(pmt, &stream);
        if (FAILED(hr)) return hr;
    }
    if (m_strFileName.empty()) return E_FAIL;
    std::size_t bytes = (m_strFileName.size() + 1) * sizeof(OLECHAR);
    *ppszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*ppszFileName) return E_OUTOFMEMORY;
    std::wmemcpy(*ppszFileName, m_strFileName.c_str(), m_strFileName.size() + 1);
    return S_OK;
}

HRESULT CFileWriter::BeginOutput()
{
    std::lock_guard fileLock(m_fileMutex);
    if (!m_file) return FAILED(m_hrOpen) ? m_hrOpen : E_UNEXPECTED;
    m_bClaimed = true;
    return S_OK;
}

HRESULT CFileWriter::Write(const BYTE* pData, LONG cb)
{
    if (cb < 0 || (!pData && cb > 0)) return E_INVALIDARG;
    std::lock_guard fileLock(m_fileMutex);
    if (!m_file) return VFW_E_WRONG_STATE;
    return m_file->Write(pData, static_cast<std::size_t>(cb));
}

HRESULT CFileWriter::WriteAt(LONGLONG offset, const BYTE* pData, LONG cb)
{
    if (cb < 0 || (!pData && cb > 0)) return E_INVALIDARG;
    std::lock_guard fileLock(m_fileMutex);
    if (!m_file) return VFW_E_WRONG_STATE;
    return m_file->WriteAt(offset, pData, static_cast<std::size_t>(cb));
}

HRESULT CFileWriter::Seek(LONGLONG offset, int whence, LONGLONG* pPos)
{
    std::lock_guard fileLock(m_fileMutex);
    if (!m_file) return VFW_E_WRONG_STATE;
    int64_t pos = 0;
    HRESULT hr = m_file->Seek(offset, whence, &pos);
    if (SUCCEEDED(hr) && pPos) *pPos = pos;
    return hr;
}

HRESULT CFileWriter::Truncate(LONGLONG size)
{
    std::lock_guard fileLock(m_fileMutex);
    if (!m_file) return VFW_E_WRONG_STATE;
    return m_file->Truncate(size);
}

HRESULT CFileWriter::GetBytesWritten(LONGLONG* pBytes)
{
    if (!pBytes) return E_POINTER;
    std::lock_guard fileLock(m_fileMutex);
    if (!m_file) return VFW_E_WRONG_STATE;
    *pBytes = m_file->BytesWritten();
    return S_OK;
}

HRESULT CFileWriter::EndOutput()
{
    return CloseFile();
}

HRESULT CreateFileWriter(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    return CreateComObject<CFileWriter>(pUnkOuter, riid, ppv);
}
