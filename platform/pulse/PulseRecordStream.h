#pragma once
// A record stream from one server source in one PCM format, on a connection of its own. The
// server's data flows from the start but is kept only while accepting (SetAccepting); the rest
// is dropped as it arrives, so reading continues where it left off. The stream is not corked
// for pauses: some sources (the sine source among them) hand over the corked time in one burst
// when uncorked. Holes the server reports are filled with silence: the byte count always
// matches the time.
#include "platform/pulse/AudioFormats.h"
#include "platform/pulse/PulseContext.h"

#include <pulse/stream.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

class CPulseRecordStream {
public:
    CPulseRecordStream() = default;
    ~CPulseRecordStream();
    CPulseRecordStream(const CPulseRecordStream&) = delete;
    CPulseRecordStream& operator=(const CPulseRecordStream&) = delete;

    // Connects to the server and the source; the server delivers in fragments of about
    // fragmentBytes. E_FAIL (LastError says why) when either cannot be reached in time.
    HRESULT Open(const std::string& sourceName, const PcmFormat& format, std::uint32_t fragmentBytes);
    void SetAccepting(bool bAccept);
    // Waits up to timeoutMs for minBytes, then takes whole blocks, at most maxBytes. The count
    // taken (0 when not enough came in time); E_FAIL when the stream broke.
    HRESULT Read(BYTE* pDest, std::size_t maxBytes, std::size_t minBytes, int timeoutMs, std::size_t* pcbRead);
    // Forgets what was received and not read yet.
    void Discard();
    const std::string& LastError() const { return m_strError; }

private:
    void OnReadable();
    void OnState();
    void Close();

    CPulseContext m_ctx;
    pa_stream* m_pStream = nullptr;
    PcmFormat m_format;
    std::string m_strError;

    std::mutex m_mutex;  // guards the fields below, shared with the loop's thread
    std::condition_variable m_cv;
    std::deque<BYTE> m_data;
    bool m_bDropping = true;
    bool m_bFailed = false;
};
