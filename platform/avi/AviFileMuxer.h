#pragma once
// One AVI file being written through libavformat's "avi" muxer into a file writer: the header
// at open, one chunk per sample in arrival order, the index and counters at finish. After the
// finish it corrects what the muxer cannot know: the standard 40-byte header of a bit-field
// stream and, with a master sound stream, the video rate that makes the frames last as long as
// the sound. A write failure stops all writing; the finish then cuts the file after the last
// whole chunk that reached the file and makes its header describe exactly that. The writer
// writes behind: a failure comes back some chunks later, so the chunks not yet known to be in
// the file are kept until the writer's count of bytes written passes them.
//
// While the file grows its header is kept current: about once a second (and when the graph
// pauses) the sizes of the RIFF being written and its 'movi' list and the frame and stream
// lengths are put over the header's placeholders, queued behind the chunks they count, so a
// recording that is cut off by a crash or a power cut still reads up to that point. Until the
// muxer writes an index the header does not claim one.
#include "platform/avi/AviHeaderLayout.h"
#include "platform/avi/AviStreamFormat.h"
#include "platform/avi/FileWriter.h"
#include "platform/com/ComPtr.h"

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

struct AVFormatContext;
struct AVIOContext;

class CAviFileMuxer {
public:
    CAviFileMuxer() = default;
    ~CAviFileMuxer();  // frees what is left; a file not finished keeps what was written
    CAviFileMuxer(const CAviFileMuxer&) = delete;
    CAviFileMuxer& operator=(const CAviFileMuxer&) = delete;

    // Writes the header of the streams, in order; the output must be claimed (BeginOutput).
    HRESULT Open(IFileWriterOutput* pOutput, const std::vector<AviStreamFormat>& streams);
    // One sample. Video frames are numbered by arrival; sound is placed by its sample count
    // (PCM) or its start time. Key frames: every uncompressed frame, else bKey.
    HRESULT Write(int stream, const BYTE* pData, LONG cb, bool bKey, const REFERENCE_TIME* pStart,
                  const REFERENCE_TIME* pStop);
    // Finishes the file and ends the output. masterStream: a sound stream whose duration sets
    // the video rate, or -1.
    HRESULT Finish(int masterStream);

    // Puts the header's counts over the file now, unless a write has failed.
    void UpdateHeader();

    HRESULT Error() const { return m_hrError; }

    // libavformat's I/O callbacks (opaque = this).
    static int OnWrite(void* opaque, const uint8_t* buf, int size);
    static int64_t OnSeek(void* opaque, int64_t offset, int whence);

private:
    struct Stream {
        AviStreamFormat format;
        int64_t packets = 0;       // whole chunks written
        int64_t bytes = 0;
        int64_t lastDts = -1;
        REFERENCE_TIME lastStop = -1;  // sound: end of the last sample, when it had times
    };
    // A chunk (stream >= 0) or the header (stream -1) not yet known to be in the file.
    struct Pending {
        int64_t end;    // in the file
        int64_t given;  // bytes given to the writer by its end
        int stream;
        LONG cb;
        REFERENCE_TIME lastStop;  // the stream's before this chunk
    };
    using Fields = std::vector<std::pair<int64_t, uint32_t>>;  // (offset, value)
    // The sizes and counts that make the header describe the file up to end.
    Fields CurrentFields(int64_t end) const;
    uint32_t StreamLength(std::size_t i) const;
    void OnRiffStarted(int64_t at);
    void ConfirmWritten();
    void SettleAfterFailure();
    HRESULT Patch32(int64_t offset, uint32_t value);
    HRESULT FinishAfterFailure();
    HRESULT PatchHeader(int masterStream);
    void Free();

    ComPtr<IFileWriterOutput> m_output;
    AVFormatContext* m_ctx = nullptr;
    AVIOContext* m_pb = nullptr;
    std::vector<Stream> m_streams;
    std::vector<uint8_t> m_header;  // the first bytes of the file as written
    std::optional<AviHeaderLayout> m_layout;
    int64_t m_pos = 0;              // the output's position
    int64_t m_goodEnd = 0;          // end of the last whole chunk known to be in the file
    int64_t m_given = 0;            // bytes given to the writer, counted as it counts them
    std::deque<Pending> m_pending;  // in file order, after m_goodEnd
    HRESULT m_hrError = S_OK;       // the first write failure
    bool m_bFinished = false;

    // The RIFF being written: the first, then each 'AVIX' the muxer goes on in past 1 GiB.
    int64_t m_riffStart = 0;
    int64_t m_riffMovi = -1;        // its 'movi' list header
    int m_riffCount = 1;
    int64_t m_riffSeen = -1;        // where a write began a new RIFF, not yet taken in
    int64_t m_chunksEnd = 0;        // end of the last chunk given to the writer
    bool m_bIndexFlagCleared = false;
    std::chrono::steady_clock::time_point m_nextUpdate {};
};
