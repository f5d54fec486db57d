#pragma once
// A file written behind its caller: Write copies the bytes into large blocks and a thread of the
// file's own writes them with write(2), so a caller that makes frames goes on while the kernel
// takes the data (its write-back throttling stalls the writer, not the caller).
//
// Queue policy: at most Limits::maxBlocks blocks exist; a caller that is that far ahead waits in
// Write until the thread has written one. A part-filled block is handed over when the thread is
// idle, so data does not wait in memory for the next Write.
//
// Positions work as on the file itself: Seek, Truncate and Close first wait until everything
// queued is written. A Seek that leaves the position where it is does not wait.
//
// Failures: a failure of the thread is latched; what was queued after it is dropped. The next
// call (Write, Seek, Truncate, Close) returns it, once, and from then on the position is where
// writing stopped, as after a failed write(2). BytesWritten tells the caller how far its bytes
// reached. A write that would cross the process's file-size limit (as it was at the open) is made
// synchronously, so that write itself fails, as it would without the queue.
//
// WriteAt puts bytes at a place already written (a header's counters) without moving the
// position: it is queued behind everything given before, so the bytes it describes reach the file
// first, and it fails and is dropped as any other write would.
//
// Locking: one caller at a time (the File Writer serialises them); m_mutex guards the queue
// between that caller and the thread; the caller's block being filled is its own.
#include "platform/com/ComBase.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The HRESULT of an errno value, as the platform reports file errors.
HRESULT HResultFromErrno(int err);

// pwrite / pread of a whole range, through interruptions and short transfers: 0 or the errno (a
// write that makes no progress: ENOSPC; a read past the end: EIO).
int WriteAllAt(int fd, const void* pData, std::size_t cb, int64_t offset);
int ReadAllAt(int fd, void* pData, std::size_t cb, int64_t offset);

class CWriteBehindFile {
public:
    struct Limits {
        std::size_t blockSize = 4 * 1024 * 1024;
        std::size_t maxBlocks = 64;  // 256 MiB waiting at most
    };
    static constexpr std::size_t kWritePiece = 256 * 1024;

    // Takes over fd, open for writing; writing goes on from its current offset.
    explicit CWriteBehindFile(int fd);
    CWriteBehindFile(int fd, Limits limits);
    ~CWriteBehindFile();  // Close(): what was queued is written
    CWriteBehindFile(const CWriteBehindFile&) = delete;
    CWriteBehindFile& operator=(const CWriteBehindFile&) = delete;

    HRESULT Write(const BYTE* pData, std::size_t cb);
    HRESULT WriteAt(int64_t offset, const BYTE* pData, std::size_t cb);
    // whence: SEEK_SET / SEEK_CUR / SEEK_END.
    HRESULT Seek(int64_t offset, int whence, int64_t* pPos);
    HRESULT Truncate(int64_t size);
    // Writes what is queued, ends the thread and closes the file: a failure not yet returned,
    // else the failure to close.
    HRESULT Close();
    bool IsOpen() const { return m_fd >= 0; }
    // How many of the bytes given to Write are in the file, counted in the order given: after a
    // failure, those before the point where writing stopped (what was dropped never counts).
    int64_t BytesWritten() const { return m_written.load(std::memory_order_acquire); }
    // Whether a thread writes behind (it could be started); without one every write is direct.
    bool WritesBehind() const { return m_thread.joinable(); }

private:
    struct Block {
        std::unique_ptr<BYTE[]> data;
        std::size_t size = 0;
        int64_t at = -1;  // a WriteAt's place; -1: at the file's offset
    };
    void Run();
    HRESULT WritePieces(const BYTE* p, std::size_t cb);  // at the file's offset; counts
    HRESULT WritePlaced(int64_t at, const BYTE* p, std::size_t cb);  // does not count
    HRESULT WriteDirect(const BYTE* p, std::size_t cb);
    HRESULT TakeFailure();  // the latched failure, once, after the thread dropped the rest
    HRESULT Drain();        // hands over the filling block and waits until all is written
    bool GetBlock();        // a block to fill; false when none can be made
    void Hand(bool onlyIfIdle);

    int m_fd = -1;
    const Limits m_limits;
    int64_t m_sizeLimit = INT64_MAX;  // the process's file-size limit for this file
    int64_t m_pos = 0;                // the caller's position: where the next Write lands
    std::atomic<int64_t> m_reached {0};  // the file's offset as the writing leaves it
    std::atomic<int64_t> m_written {0};
    Block m_filling;

    std::mutex m_mutex;
    std::condition_variable m_work;  // to the thread: a block is queued, or stop
    std::condition_variable m_done;  // to the caller: a block was written
    std::deque<Block> m_queue;
    std::vector<Block> m_free;
    std::size_t m_blocks = 0;  // blocks made: queued, free, being filled or written
    bool m_busy = false;       // the thread holds a block
    bool m_stop = false;
    HRESULT m_hrFailed = S_OK;  // latched, not yet returned
    std::thread m_thread;       // last: started once the rest is in place, joined by Close
};
