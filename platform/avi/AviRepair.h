#pragma once
// Recordings cut short by a crash, a kill or a power cut: telling them from finished files and
// making them whole again in place. The muxer keeps a growing file's header roughly current, but
// chunks written after its last update, the index and the last RIFF's sizes are missing. The
// repair walks the chunks that reached the file, cuts off an incomplete last one, writes the
// index (an 'idx1', or past 1 GiB the last OpenDML part's 'ix##' chunks and super index entries)
// and sets every size and count. Every whole frame and sound chunk is kept; damaged bytes between
// chunks are stepped over, not removed.
//
// A file being recorded holds an exclusive lock (flock) while it is open, so neither this process
// nor another repairs or offers a recording in progress.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The file being checked or repaired: the real one, or bytes in memory.
class CAviFileAccess {
public:
    virtual ~CAviFileAccess() = default;
    virtual int64_t Size() const = 0;
    // Each returns false on failure (a short read included) with an errno in Error().
    virtual bool ReadAt(int64_t offset, void* pData, std::size_t cb) = 0;
    virtual bool WriteAt(int64_t offset, const void* pData, std::size_t cb) = 0;
    virtual bool Truncate(int64_t size) = 0;
    virtual int Error() const = 0;
};

enum class AviFileState {
    Whole,       // its sizes reach the end of the file and its index is there
    Unfinished,  // an AVI whose header does not describe it, or without its index
    NotAvi,      // no AVI header (or not a whole one)
};

// Reads only the header and the RIFF headers: cheap for a folder of large files.
AviFileState InspectAvi(CAviFileAccess& file);

struct AviRepairResult {
    enum class Outcome {
        AlreadyWhole,
        Repaired,
        RepairedWithoutIndex,  // made readable, but no room for the index (error says why)
        NotAvi,
        InUse,                 // being recorded
        Failed,                // could not be read or written (error says why)
    };
    Outcome outcome = Outcome::Failed;
    int64_t videoFrames = 0;    // of the first video stream
    int64_t soundChunks = 0;    // of all sound streams
    double seconds = 0;         // the first video stream's length at its stated rate
    int64_t bytesCut = 0;       // an incomplete chunk, or what followed the last whole one
    int64_t bytesSkipped = 0;   // damaged bytes stepped over between chunks
    int error = 0;              // errno

    bool Succeeded() const { return outcome == Outcome::AlreadyWhole || outcome == Outcome::Repaired; }
    // One sentence for the user, without the file's name.
    std::string Describe() const;
};

AviRepairResult RepairAvi(CAviFileAccess& file);

// The same on a path: opened for reading and writing and locked against a recording.
AviRepairResult RepairAviFile(const std::string& path);
AviFileState InspectAviFile(const std::string& path);

// The AVI files directly in a folder that a recording left unfinished, by name. Files that are
// being recorded, or were written to in the last seconds, are left out.
std::vector<std::string> FindUnfinishedRecordings(const std::string& folder);

// The recording's lock on an open file: false when another open file holds it. A file system
// without locks counts as locked by us.
bool LockRecordingFile(int fd);
