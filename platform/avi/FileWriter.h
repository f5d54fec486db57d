#pragma once
// The File Writer: one input pin of MEDIATYPE_Stream and IFileSinkFilter. It owns the file: it
// opens (creates, truncates) it when the filter leaves the stopped state and closes it at stop, so
// nothing is written while stopped and a new file name counts from the next run. The multiplexer
// upstream writes through IFileWriterOutput (seeking back to finish its header); samples that
// arrive on the pin are written at the byte position of their start time, or appended. The bytes
// are written behind the caller by the file's own thread (CWriteBehindFile): a write failure
// comes back from a later call, and GetBytesWritten tells how far the data really reached. The
// open file holds the recording's lock (LockRecordingFile), so no repair touches it meanwhile.
#include "platform/avi/WriteBehindFile.h"
#include "platform/dshow/BasePin.h"
#include "platform/dshow/CaptureInterfaces.h"

#include <memory>
#include <mutex>
#include <string>

// Our own interface between the multiplexer and the writer it is connected to.
constexpr IID IID_IFileWriterOutput {0x6A3B2F10, 0x4C1D, 0x4E8A, {0x9B, 0x51, 0x7D, 0x20, 0xC4, 0x3E, 0x11, 0x5A}};

struct IFileWriterOutput : IUnknown {
    // Claims the file opened for this run; the open failure when there is none. A claimed file
    // stays open past the writer's own stop (the graph stops it first) until EndOutput.
    virtual HRESULT BeginOutput() = 0;
    // Queues the bytes at the position. A failure to write earlier bytes is returned by the next
    // call (Write, Seek, Truncate or EndOutput), once; the position is then where writing stopped.
    virtual HRESULT Write(const BYTE* pData, LONG cb) = 0;
    // Puts bytes over ones already written (a header's counters) after everything given before,
    // without moving the position and without waiting for the queue.
    virtual HRESULT WriteAt(LONGLONG offset, const BYTE* pData, LONG cb) = 0;
    // whence: SEEK_SET / SEEK_CUR / SEEK_END; *pPos gets the new position.
    virtual HRESULT Seek(LONGLONG offset, int whence, LONGLONG* pPos) = 0;
    virtual HRESULT Truncate(LONGLONG size) = 0;
    // Writes what is queued and closes the file; a failure to write or to close (data not on
    // disk) is reported.
    virtual HRESULT EndOutput() = 0;
    // How many of the bytes given to Write since the file was opened are in the file, counted in
    // the order given: after a failure, those before the point where writing stopped.
    virtual HRESULT GetBytesWritten(LONGLONG* pBytes) = 0;
};

class CFileWriter;

class CFileWriterInputPin final : public CBaseInputPin {
public:
    CFileWriterInputPin(CFileWriter* pFilter, CCritSec* pLock, HRESULT* phr);
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;

private:
    CFileWriter* m_pWriter;
};

class CFileWriter final : public CBaseFilter, public IFileSinkFilter, public IFileWriterOutput {
public:
    explicit CFileWriter(IUnknown* pUnk);
    ~CFileWriter() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    HRESULT Pause() override;
    HRESULT Stop() override;

    // IFileSinkFilter
    HRESULT SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override;
    // IFileWriterOutput
    HRESULT BeginOutput() override;
    HRESULT Write(const BYTE* pData, LONG cb) override;
    HRESULT WriteAt(LONGLONG offset, const BYTE* pData, LONG cb) override;
    HRESULT Seek(LONGLONG offset, int whence, LONGLONG* pPos) override;
    HRESULT Truncate(LONGLONG size) override;
    HRESULT EndOutput() override;
    HRESULT GetBytesWritten(LONGLONG* pBytes) override;

    // Reports a failure to the graph (EC_ERRORABORT with the result).
    void NotifyError(HRESULT hr);

private:
    HRESULT CloseFile();

    CCritSec m_lock;
    CFileWriterInputPin m_pin;
    std::mutex m_fileMutex;  // the file's state; never held while calling out
    std::wstring m_strFileName;
    std::unique_ptr<CWriteBehindFile> m_file;
    bool m_bClaimed = false;
    HRESULT m_hrOpen = S_OK;  // why this run has no file
};


