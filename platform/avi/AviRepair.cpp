#include "platform/avi/AviRepair.h"

#include "platform/avi/AviHeaderLayout.h"
#include "platform/avi/AviKeyFrames.h"
#include "platform/avi/WriteBehindFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kHeaderRead = 64 * 1024;
constexpr std::size_t kLargeHeaderRead = 4 * 1024 * 1024;
constexpr uint32_t AVIIF_KEYFRAME = 0x10;
constexpr uint32_t kNotKey = 0x80000000;  // an OpenDML index entry's size bit
constexpr int kMaxRiffs = 100000;         // far past anything a muxer writes (256 at most)
constexpr auto kRecentlyWritten = std::chrono::seconds(10);

struct StreamInfo {
    bool video = false, audio = false;
    uint32_t sampleSize = 0;
    uint32_t scale = 0, rate = 0;
    AviVideoCoding coding = AviVideoCoding::EveryFrameKey;
};

struct Header {
    std::vector<uint8_t> bytes;
    AviHeaderLayout layout;
    std::vector<StreamInfo> streams;

    uint32_t At(int64_t offset) const { return AviLe32(bytes.data() + offset); }
};

std::optional<Header> ParseHeader(std::vector<uint8_t> bytes)
{
    std::optional<AviHeaderLayout> layout = ParseAviHeader(bytes.data(), bytes.size());
    if (!layout || layout->strh.empty() || layout->strh.size() > 100) return std::nullopt;
    Header h {std::move(bytes), *layout, {}};
    for (std::size_t i = 0; i < h.layout.strh.size(); ++i) {
        const int64_t strh = h.layout.strh[i], strf = h.layout.strf[i];
        StreamInfo s;
        s.video = AviIsId(h.bytes.data() + strh, "vids");
        s.audio = AviIsId(h.bytes.data() + strh, "auds");
        s.scale = h.At(strh + AviHeaderLayout::kStrhScale);
        s.rate = h.At(strh + AviHeaderLayout::kStrhRate);
        s.sampleSize = h.At(strh + AviHeaderLayout::kStrhSampleSize);
        if (s.video && static_cast<std::size_t>(strf) + 20 <= h.bytes.size())
            s.coding = AviVideoCodingOf(h.At(strh + 4), h.At(strf + 16));
        h.streams.push_back(s);
    }
    return h;
}

std::optional<Header> ReadHeader(CAviFileAccess& file)
{
    const int64_t size = file.Size();
    for (std::size_t want : {kHeaderRead, kLargeHeaderRead}) {
        std::size_t n = static_cast<std::size_t>(std::min<int64_t>(size, static_cast<int64_t>(want)));
        std::vector<uint8_t> bytes(n);
        if (n < 12 || !file.ReadAt(0, bytes.data(), n)) return std::nullopt;
        if (std::optional<Header> h = ParseHeader(std::move(bytes))) return h;
        if (static_cast<int64_t>(n) == size) break;
    }
    return std::nullopt;
}

// The stream of a data chunk id ("00dc", "01wb", ...), or -1.
int DataChunkStream(const uint8_t* id, std::size_t streams)
{
    if (id[0] < '0' || id[0] > '9' || id[1] < '0' || id[1] > '9') return -1;
    int n = (id[0] - '0') * 10 + (id[1] - '0');
    if (static_cast<std::size_t>(n) >= streams) return -1;
    bool data = (id[2] == 'd' && (id[3] == 'c' || id[3] == 'b')) || (id[2] == 'w' && id[3] == 'b');
    return data ? n : -1;
}

// Chunks that may sit between the data chunks of 'movi' and are stepped over.
bool IsOtherChunk(const uint8_t* id)
{
    return AviIsId(id, "JUNK") || AviIsId(id, "idx1") || (id[0] == 'i' && id[1] == 'x') ||
           ((id[0] >= '0' && id[0] <= '9') && (id[1] >= '0' && id[1] <= '9') &&
            ((id[2] == 'p' && id[3] == 'c') || (id[2] == 't' && id[3] == 'x') || (id[2] == 's' && id[3] == 'b')));
}

// Reads the file through a window, for walks over many small chunk headers.
class CWindowReader {
public:
    explicit CWindowReader(CAviFileAccess& file) : m_file(file), m_size(file.Size()) {}
    int64_t Size() const { return m_size; }
    // n bytes at pos, all inside the file; false past its end or on a read failure.
    bool Read(int64_t pos, uint8_t* out, std::size_t n)
    {
        if (pos < 0 || n > kWindow || pos > m_size - static_cast<int64_t>(n)) return false;
        if (pos < m_start || pos + static_cast<int64_t>(n) > m_start + static_cast<int64_t>(m_data.size())) {
            std::size_t want = static_cast<std::size_t>(std::min<int64_t>(kWindow, m_size - pos));
            m_data.resize(want);
            if (!m_file.ReadAt(pos, m_data.data(), want)) {
                m_data.clear();
                m_failed = true;
                return false;
            }
            m_start = pos;
        }
        std::memcpy(out, m_data.data() + (pos - m_start), n);
        return true;
    }
    // The same without moving the window, for a look far ahead.
    bool ReadOnce(int64_t pos, uint8_t* out, std::size_t n)
    {
        return pos >= 0 && pos <= m_size - static_cast<int64_t>(n) && m_file.ReadAt(pos, out, n);
    }
    bool Failed() const { return m_failed; }

private:
    static constexpr std::size_t kWindow = 256 * 1024;
    CAviFileAccess& m_file;
    int64_t m_size;
    int64_t m_start = 0;
    std::vector<uint8_t> m_data;
    bool m_failed = false;
};

struct Chunk {
    int64_t pos;
    uint32_t size;
    int stream;
    uint8_t id[4];
    int64_t End() const { return pos + 8 + size + (size & 1); }
};

struct Riff {
    int64_t start = 0;
    int64_t movi = -1;  // its 'movi' list header
    std::vector<Chunk> chunks;
};

struct Scan {
    std::vector<Riff> riffs;
    int64_t skipped = 0;
    bool readFailed = false;
};

// A place where a chunk can start: a data chunk whose next neighbour is a chunk too, or an
// OpenDML part. Two headers in a row are not met by chance inside a frame's bytes.
bool IsChunkStart(CWindowReader& in, int64_t pos, std::size_t streams)
{
    uint8_t h[12];
    if (!in.Read(pos, h, 8)) return false;
    if (AviIsId(h, "RIFF")) return in.Read(pos, h, 12) && AviIsId(h + 8, "AVIX");
    if (DataChunkStream(h, streams) < 0) return false;
    const int64_t next = pos + 8 + AviLe32(h + 4) + (AviLe32(h + 4) & 1);
    uint8_t n[8];
    if (!in.ReadOnce(next, n, 8)) return false;
    return DataChunkStream(n, streams) >= 0 || IsOtherChunk(n) || AviIsId(n, "RIFF") || AviIsId(n, "LIST");
}

// The next chunk start at an even position from pos on, or -1.
int64_t Resync(CWindowReader& in, int64_t pos, std::size_t streams)
{
    for (pos += pos & 1; pos + 8 <= in.Size(); pos += 2) {
        uint8_t id[4];
        if (!in.Read(pos, id, 4)) return -1;
        if ((DataChunkStream(id, streams) >= 0 || AviIsId(id, "RIFF")) && IsChunkStart(in, pos, streams)) return pos;
    }
    return -1;
}

// Every whole data chunk after the first 'movi', RIFF by RIFF, to the last one that reached the
// file whole.
Scan ScanChunks(CWindowReader& in, const Header& header)
{
    const std::size_t streams = header.streams.size();
    Scan scan;
    scan.riffs.push_back(Riff {0, header.layout.movi, {}});
    int64_t pos = header.layout.movi + 12;
    while (pos + 8 <= in.Size()) {
        uint8_t h[12];
        if (!in.Read(pos, h, 8)) break;
        const bool list = in.Read(pos, h, 12);
        const uint32_t len = AviLe32(h + 4);
        const int64_t end = pos + 8 + static_cast<int64_t>(len);
        const int stream = DataChunkStream(h, streams);
        if (stream >= 0 && end <= in.Size()) {
            Chunk c {pos, len, stream, {h[0], h[1], h[2], h[3]}};
            scan.riffs.back().chunks.push_back(c);
            pos = c.End();
            continue;
        }
        if (IsOtherChunk(h) && end <= in.Size()) {
            pos = end + (len & 1);
            continue;
        }
        if (list && AviIsId(h, "LIST") && (AviIsId(h + 8, "movi") || AviIsId(h + 8, "rec "))) {
            if (AviIsId(h + 8, "movi") && scan.riffs.back().movi < 0) scan.riffs.back().movi = pos;
            pos += 12;
            continue;
        }
        if (list && AviIsId(h, "RIFF") && AviIsId(h + 8, "AVIX") && scan.riffs.size() < kMaxRiffs) {
            scan.riffs.push_back(Riff {pos, -1, {}});
            pos += 12;
            continue;
        }
        // A damaged header, or the incomplete last chunk: whatever whole chunk follows.
        int64_t next = Resync(in, pos + 2, streams);
        if (next < 0) break;
        scan.skipped += next - pos;
        pos = next;
    }
    scan.readFailed = in.Failed();
    return scan;
}

// The RIFF headers from the start: each must begin where the one before ends, the last at the
// end of the file. Empty when they do not.
std::vector<int64_t> RiffChain(CAviFileAccess& file)
{
    std::vector<int64_t> starts;
    const int64_t size = file.Size();
    for (int64_t pos = 0;;) {
        uint8_t h[12];
        if (pos + 12 > size || !file.ReadAt(pos, h, 12) || !AviIsId(h, "RIFF") ||
            !AviIsId(h + 8, pos == 0 ? "AVI " : "AVIX"))
            return {};
        starts.push_back(pos);
        const uint32_t len = AviLe32(h + 4);
        pos += 8 + static_cast<int64_t>(len) + (len & 1);
        if (pos == size) return starts;
        if (pos > size || starts.size() >= kMaxRiffs) return {};
    }
}

std::vector<uint8_t> Le32Bytes(uint32_t v)
{
    std::vector<uint8_t> b(4);
    AviPutLe32(b.data(), v);
    return b;
}

class CIndexBuilder {
public:
    explicit CIndexBuilder(std::vector<uint8_t>& out) : m_out(out) {}
    void Id(const char* id) { m_out.insert(m_out.end(), id, id + 4); }
    void Id(const uint8_t* id) { m_out.insert(m_out.end(), id, id + 4); }
    void U32(uint32_t v)
    {
        auto b = Le32Bytes(v);
        m_out.insert(m_out.end(), b.begin(), b.end());
    }
    void U16(uint16_t v) { m_out.insert(m_out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}); }
    void U8(uint8_t v) { m_out.push_back(v); }
    void U64(uint64_t v)
    {
        U32(static_cast<uint32_t>(v));
        U32(static_cast<uint32_t>(v >> 32));
    }

private:
    std::vector<uint8_t>& m_out;
};

// The repair of one file; every write goes through Put so that the first failure stops it.
class CRepair {
public:
    CRepair(CAviFileAccess& file, Header header) : m_file(file), m_h(std::move(header)), m_in(file) {}
    AviRepairResult Run();

private:
    bool IsKey(const Chunk& c);
    std::vector<bool> KeyFlags(const std::vector<Chunk>& chunks);
    std::vector<uint8_t> Idx1(const Riff& riff);
    // The 'ix##' chunks of a RIFF, one per stream, and where each begins in them.
    std::vector<uint8_t> StandardIndexes(const Riff& riff, std::vector<int64_t>* offsets);
    void Put(int64_t offset, uint32_t value);
    void PutBytes(int64_t offset, const void* data, std::size_t cb);
    void SetCounts(const std::vector<Riff>& riffs);

    CAviFileAccess& m_file;
    Header m_h;
    CWindowReader m_in;
    AviRepairResult m_result;
    bool m_ok = true;
};

void CRepair::PutBytes(int64_t offset, const void* data, std::size_t cb)
{
    if (m_ok && !m_file.WriteAt(offset, data, cb)) {
        m_ok = false;
        m_result.error = m_file.Error();
    }
}

void CRepair::Put(int64_t offset, uint32_t value)
{
    uint8_t b[4];
    AviPutLe32(b, value);
    PutBytes(offset, b, 4);
}

bool CRepair::IsKey(const Chunk& c)
{
    const StreamInfo& s = m_h.streams[c.stream];
    if (!s.video) return true;
    std::size_t n = AviKeyFrameBytes(s.coding, c.size);
    if (n == 0) return IsAviKeyFrame(s.coding, nullptr, 0);
    std::vector<uint8_t> data(n);
    if (!m_file.ReadAt(c.pos + 8, data.data(), n)) return true;
    return IsAviKeyFrame(s.coding, data.data(), n);
}

std::vector<bool> CRepair::KeyFlags(const std::vector<Chunk>& chunks)
{
    std::vector<bool> keys;
    keys.reserve(chunks.size());
    for (const Chunk& c : chunks)
        keys.push_back(IsKey(c));
    return keys;
}

std::vector<uint8_t> CRepair::Idx1(const Riff& riff)
{
    std::vector<uint8_t> out;
    CIndexBuilder b(out);
    std::vector<bool> keys = KeyFlags(riff.chunks);
    b.Id("idx1");
    b.U32(static_cast<uint32_t>(16 * riff.chunks.size()));
    for (std::size_t i = 0; i < riff.chunks.size(); ++i) {
        const Chunk& c = riff.chunks[i];
        b.Id(c.id);
        b.U32(keys[i] ? AVIIF_KEYFRAME : 0);
        b.U32(static_cast<uint32_t>(c.pos - (riff.movi + 8)));  // from the list's type
        b.U32(c.size);
    }
    return out;
}

std::vector<uint8_t> CRepair::StandardIndexes(const Riff& riff, std::vector<int64_t>* offsets)
{
    std::vector<uint8_t> out;
    CIndexBuilder b(out);
    std::vector<bool> keys = KeyFlags(riff.chunks);
    const int64_t base = riff.movi + 8;
    for (std::size_t s = 0; s < m_h.streams.size(); ++s) {
        offsets->push_back(static_cast<int64_t>(out.size()));
        std::vector<std::size_t> mine;
        for (std::size_t i = 0; i < riff.chunks.size(); ++i)
            if (riff.chunks[i].stream == static_cast<int>(s)) mine.push_back(i);
        const char tag[5] = {'i', 'x', static_cast<char>('0' + s / 10), static_cast<char>('0' + s % 10), 0};
        const char id[5] = {tag[2], tag[3], m_h.streams[s].audio ? 'w' : 'd', m_h.streams[s].audio ? 'b' : 'c', 0};
        b.Id(tag);
        b.U32(static_cast<uint32_t>(24 + 8 * mine.size()));
        b.U16(2);  // longs per entry
        b.U8(0);   // frame index
        b.U8(1);   // an index of chunks
        b.U32(static_cast<uint32_t>(mine.size()));
        b.Id(mine.empty() ? reinterpret_cast<const uint8_t*>(id) : riff.chunks[mine.front()].id);
        b.U64(static_cast<uint64_t>(base));
        b.U32(0);
        for (std::size_t i : mine) {
            const Chunk& c = riff.chunks[i];
            b.U32(static_cast<uint32_t>(c.pos + 8 - base));
            b.U32((c.size & ~kNotKey) | (keys[i] ? 0 : kNotKey));
        }
    }
    return out;
}

void CRepair::SetCounts(const std::vector<Riff>& riffs)
{
    const std::size_t n = m_h.streams.size();
    std::vector<int64_t> chunks(n), bytes(n), largest(n), firstRiffChunks(n);
    for (std::size_t r = 0; r < riffs.size(); ++r)
        for (const Chunk& c : riffs[r].chunks) {
            ++chunks[c.stream];
            bytes[c.stream] += c.size;
            largest[c.stream] = std::max<int64_t>(largest[c.stream], c.size);
            if (r == 0) ++firstRiffChunks[c.stream];
        }
    int64_t frames = 0, firstFrames = 0;
    bool firstVideo = true;
    for (std::size_t i = 0; i < n; ++i) {
        const StreamInfo& s = m_h.streams[i];
        const int64_t strh = m_h.layout.strh[i];
        Put(strh + AviHeaderLayout::kStrhLength,
            static_cast<uint32_t>(s.sampleSize ? bytes[i] / s.sampleSize : chunks[i]));
        if (largest[i] > 0) Put(strh + AviHeaderLayout::kStrhSuggestedBufferSize, static_cast<uint32_t>(largest[i]));
        if (s.video) {
            frames = std::max(frames, chunks[i]);
            firstFrames = std::max(firstFrames, firstRiffChunks[i]);
            if (firstVideo) {
                m_result.videoFrames = chunks[i];
                if (s.rate > 0) m_result.seconds = static_cast<double>(chunks[i]) * s.scale / s.rate;
                firstVideo = false;
            }
        } else if (s.audio) {
            m_result.soundChunks += chunks[i];
        }
    }
    Put(m_h.layout.avih + AviHeaderLayout::kAvihTotalFrames, static_cast<uint32_t>(firstFrames));
    if (riffs.size() > 1 && m_h.layout.odml >= 0) {
        PutBytes(m_h.layout.odml, "LIST", 4);
        Put(m_h.layout.odml + AviHeaderLayout::kOdmlTotalFrames, static_cast<uint32_t>(frames));
    }
}

AviRepairResult CRepair::Run()
{
    Scan scan = ScanChunks(m_in, m_h);
    if (scan.readFailed) {
        m_result.outcome = AviRepairResult::Outcome::Failed;
        m_result.error = m_file.Error() ? m_file.Error() : EIO;
        return m_result;
    }
    std::vector<Riff>& riffs = scan.riffs;
    const int64_t size = m_file.Size();
    m_result.bytesSkipped = scan.skipped;

    // OpenDML parts that hold no whole chunk go; the muxer had finished the one before, index
    // and all, when it began the next.
    int64_t closedEnd = -1;
    while (riffs.size() > 1 && riffs.back().chunks.empty()) {
        closedEnd = riffs.back().start;
        riffs.pop_back();
    }
    Riff& last = riffs.back();
    const bool first = riffs.size() == 1;
    if (last.movi < 0) {  // an OpenDML part without its list: not a layout we write
        m_result.outcome = AviRepairResult::Outcome::Failed;
        m_result.error = EINVAL;
        return m_result;
    }
    int64_t dataEnd = closedEnd >= 0 ? closedEnd : last.chunks.empty() ? last.movi + 12 : last.chunks.back().End();
    // The index after the chunks: the first RIFF's 'idx1' after its list, a later part's
    // 'ix##' chunks at the end of its list.
    std::vector<uint8_t> index;
    std::vector<int64_t> ixOffsets;
    if (closedEnd < 0) index = first ? Idx1(last) : StandardIndexes(last, &ixOffsets);
    if (first && dataEnd - 8 + static_cast<int64_t>(index.size()) > UINT32_MAX) {
        m_result.outcome = AviRepairResult::Outcome::Failed;
        m_result.error = EFBIG;
        return m_result;
    }

    m_result.bytesCut = std::max<int64_t>(0, size - dataEnd);
    if (dataEnd < size && !m_file.Truncate(dataEnd)) {
        m_result.outcome = AviRepairResult::Outcome::Failed;
        m_result.error = m_file.Error();
        return m_result;
    }
    if (dataEnd > size) PutBytes(size, "", 1);  // the last chunk's pad byte
    bool indexed = closedEnd >= 0;
    if (!index.empty() && m_ok) {
        if (m_file.WriteAt(dataEnd, index.data(), index.size())) {
            indexed = true;
        } else {
            m_result.error = m_file.Error();
            m_file.Truncate(dataEnd);  // no half index: the chunks are scanned instead
        }
    }
    const int64_t end = indexed ? dataEnd + static_cast<int64_t>(index.size()) : dataEnd;

    if (closedEnd < 0) {
        Put(last.start + 4, static_cast<uint32_t>(end - last.start - 8));
        // 'movi' holds a later part's 'ix##' chunks, not the first one's 'idx1'.
        Put(last.movi + 4, static_cast<uint32_t>((first ? dataEnd : end) - last.movi - 8));
        if (first) {
            uint32_t flags = m_h.At(m_h.layout.avih + AviHeaderLayout::kAvihFlags);
            flags = indexed ? flags | AviHeaderLayout::AVIF_HASINDEX
                            : flags & ~(AviHeaderLayout::AVIF_HASINDEX | AviHeaderLayout::AVIF_MUSTUSEINDEX);
            Put(m_h.layout.avih + AviHeaderLayout::kAvihFlags, flags);
            // A super index begun as the muxer closed this part points past the cut: unused again.
            for (int64_t indx : m_h.layout.indx) {
                if (indx < 0 || !AviIsId(m_h.bytes.data() + indx, "indx")) continue;
                PutBytes(indx, "JUNK", 4);
                Put(indx + 8 + AviHeaderLayout::kIndxEntriesInUse, 0);
            }
        } else if (indexed) {
            // This part's entry in each stream's super index, when the ones before are there.
            const uint32_t part = static_cast<uint32_t>(riffs.size() - 1);
            for (std::size_t s = 0; s < m_h.streams.size(); ++s) {
                const int64_t indx = m_h.layout.indx[s];
                if (indx < 0) continue;
                const uint32_t capacity = (m_h.layout.indxSize[s] - AviHeaderLayout::kIndxEntries) /
                                          AviHeaderLayout::kIndxEntrySize;
                const int64_t body = indx + 8;
                if (part >= capacity || m_h.At(body + AviHeaderLayout::kIndxEntriesInUse) < part) continue;
                const int64_t ix = dataEnd + ixOffsets[s];
                const int64_t ixEnd = s + 1 < ixOffsets.size() ? dataEnd + ixOffsets[s + 1] : end;
                uint32_t entries = 0, bytes = 0;
                for (const Chunk& c : last.chunks)
                    if (c.stream == static_cast<int>(s)) ++entries, bytes += c.size;
                const uint32_t duration = m_h.streams[s].sampleSize ? bytes / m_h.streams[s].sampleSize : entries;
                uint8_t entry[AviHeaderLayout::kIndxEntrySize];
                AviPutLe32(entry, static_cast<uint32_t>(ix));
                AviPutLe32(entry + 4, static_cast<uint32_t>(static_cast<uint64_t>(ix) >> 32));
                AviPutLe32(entry + 8, static_cast<uint32_t>(ixEnd - ix));
                AviPutLe32(entry + 12, duration);
                PutBytes(body + AviHeaderLayout::kIndxEntries + int64_t {part} * AviHeaderLayout::kIndxEntrySize, entry,
                         sizeof entry);
                Put(body + AviHeaderLayout::kIndxEntriesInUse, part + 1);
                PutBytes(indx, "indx", 4);
            }
        }
    }
    SetCounts(riffs);

    if (!m_ok) {
        m_result.outcome = AviRepairResult::Outcome::Failed;
    } else if (!indexed) {
        m_result.outcome = AviRepairResult::Outcome::RepairedWithoutIndex;
    } else if (InspectAvi(m_file) != AviFileState::Whole) {
        m_result.outcome = AviRepairResult::Outcome::Failed;  // a layout this repair cannot finish
        m_result.error = EINVAL;
    } else {
        m_result.outcome = AviRepairResult::Outcome::Repaired;
    }
    return m_result;
}

// The file on a descriptor.
class CFdAccess final : public CAviFileAccess {
public:
    explicit CFdAccess(int fd) : m_fd(fd) {}
    int64_t Size() const override
    {
        struct stat st {};
        return ::fstat(m_fd, &st) == 0 ? st.st_size : 0;
    }
    bool ReadAt(int64_t offset, void* pData, std::size_t cb) override
    {
        int err = ReadAllAt(m_fd, pData, cb, offset);
        return err == 0 || Fail(err);
    }
    bool WriteAt(int64_t offset, const void* pData, std::size_t cb) override
    {
        int err = WriteAllAt(m_fd, pData, cb, offset);
        return err == 0 || Fail(err);
    }
    bool Truncate(int64_t size) override { return ::ftruncate(m_fd, size) == 0 || Fail(errno); }
    int Error() const override { return m_error; }

private:
    bool Fail(int err)
    {
        m_error = err;
        return false;
    }
    int m_fd;
    int m_error = 0;
};

class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

std::string Amount(int64_t bytes)
{
    char text[32];
    if (bytes < 1024) std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
    else if (bytes < 1024 * 1024) std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

} // namespace

AviFileState InspectAvi(CAviFileAccess& file)
{
    std::optional<Header> h = ReadHeader(file);
    if (!h) return AviFileState::NotAvi;
    std::vector<int64_t> riffs = RiffChain(file);
    if (riffs.empty()) return AviFileState::Unfinished;
    const int64_t last = riffs.back(), size = file.Size();
    const int64_t movi = riffs.size() == 1 ? h->layout.movi : last + 12;
    uint8_t m[12];
    if (!file.ReadAt(movi, m, 12) || !AviIsId(m, "LIST") || !AviIsId(m + 8, "movi")) return AviFileState::Unfinished;
    const int64_t moviEnd = movi + 8 + AviLe32(m + 4);
    if (riffs.size() == 1) {
        // The index follows the list and ends the file.
        uint8_t idx[8];
        if (moviEnd + 8 > size || !file.ReadAt(moviEnd, idx, 8) || !AviIsId(idx, "idx1"))
            return AviFileState::Unfinished;
        const int64_t idxEnd = moviEnd + 8 + AviLe32(idx + 4);
        return idxEnd == size || idxEnd + 1 == size ? AviFileState::Whole : AviFileState::Unfinished;
    }
    // Every OpenDML part has its entry in each super index, and the last list ends the file.
    if (moviEnd != size && moviEnd + 1 != size) return AviFileState::Unfinished;
    for (int64_t indx : h->layout.indx) {
        if (indx < 0) continue;
        uint8_t x[16];
        if (!file.ReadAt(indx, x, 16) || !AviIsId(x, "indx") ||
            AviLe32(x + 8 + AviHeaderLayout::kIndxEntriesInUse) != riffs.size())
            return AviFileState::Unfinished;
    }
    return AviFileState::Whole;
}

AviRepairResult RepairAvi(CAviFileAccess& file)
{
    AviRepairResult result;
    std::optional<Header> h = ReadHeader(file);
    if (!h) {
        result.outcome = AviRepairResult::Outcome::NotAvi;
        return result;
    }
    if (InspectAvi(file) == AviFileState::Whole) {
        result.outcome = AviRepairResult::Outcome::AlreadyWhole;
        for (std::size_t i = 0; i < h->streams.size(); ++i) {
            const StreamInfo& s = h->streams[i];
            if (!s.video) continue;
            result.videoFrames = h->At(h->layout.strh[i] + AviHeaderLayout::kStrhLength);
            if (s.rate > 0) result.seconds = static_cast<double>(result.videoFrames) * s.scale / s.rate;
            break;
        }
        return result;
    }
    return CRepair(file, std::move(*h)).Run();
}

AviRepairResult RepairAviFile(const std::string& path)
{
    AviRepairResult result;
    CFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.Get() < 0) {
        result.error = errno;
        return result;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.outcome = AviRepairResult::Outcome::NotAvi;
        return result;
    }
    if (!LockRecordingFile(fd.Get())) {
        result.outcome = AviRepairResult::Outcome::InUse;
        return result;
    }
    CFdAccess file(fd.Get());
    result = RepairAvi(file);
    // What was repaired stays repaired through a power cut.
    if (result.outcome == AviRepairResult::Outcome::Repaired ||
        result.outcome == AviRepairResult::Outcome::RepairedWithoutIndex) {
        if (::fsync(fd.Get()) != 0) {
            result.outcome = AviRepairResult::Outcome::Failed;
            result.error = errno;
        }
    }
    return result;
}

AviFileState InspectAviFile(const std::string& path)
{
    CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return AviFileState::NotAvi;
    CFdAccess file(fd.Get());
    return InspectAvi(file);
}

std::vector<std::string> FindUnfinishedRecordings(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code ec;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        std::error_code statError;
        if (ext != ".avi" || !it->is_regular_file(statError)) continue;
        // A file written to a moment ago may still be growing in a program that takes no lock.
        auto written = it->last_write_time(statError);
        if (statError || now - written < kRecentlyWritten) continue;
        const std::string path = it->path().string();
        CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.Get() < 0 || ::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0) continue;
        CFdAccess file(fd.Get());
        if (InspectAvi(file) == AviFileState::Unfinished) found.push_back(path);
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool LockRecordingFile(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        return errno != EWOULDBLOCK;
    }
    return true;
}

std::string AviRepairResult::Describe() const
{
    char text[512];
    std::string kept = std::to_string(videoFrames) + " video frame" + (videoFrames == 1 ? "" : "s");
    if (soundChunks > 0)  // a silent recording has no sound to speak of
        kept += " and " + std::to_string(soundChunks) + " sound chunk" + (soundChunks == 1 ? "" : "s");
    switch (outcome) {
    case Outcome::AlreadyWhole: return "whole; nothing to repair.";
    case Outcome::NotAvi: return "not an AVI recording (no whole AVI header); left as it was.";
    case Outcome::InUse: return "still being recorded; left as it was.";
    case Outcome::Failed:
        return std::string("could not be repaired: ") + std::strerror(error ? error : EIO) + ".";
    case Outcome::Repaired:
    case Outcome::RepairedWithoutIndex: break;
    }
    std::snprintf(text, sizeof text, "%s: kept %s (%.1f s)",
                  outcome == Outcome::Repaired ? "repaired" : "made readable without an index", kept.c_str(), seconds);
    std::string out = text;
    if (bytesCut > 0) out += "; cut off " + Amount(bytesCut) + " that followed the last whole chunk";
    if (bytesSkipped > 0) out += "; stepped over " + Amount(bytesSkipped) + " of damaged data";
    if (outcome == Outcome::RepairedWithoutIndex)
        out += std::string("; the index could not be written: ") + std::strerror(error ? error : EIO);
    return out + ".";
}
