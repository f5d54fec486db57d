#include "platform/avi/WriteBehindFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

HRESULT HResultFromErrno(int err)
{
    switch (err) {
    case ENOENT: return HRESULT_FROM_WIN32(3);     // ERROR_PATH_NOT_FOUND
    case ENOTDIR: return HRESULT_FROM_WIN32(3);
    case EACCES:
    case EPERM:
    case EROFS: return HRESULT_FROM_WIN32(5);      // ERROR_ACCESS_DENIED
    case ENOSPC: return HRESULT_FROM_WIN32(112);   // ERROR_DISK_FULL
    case EFBIG: return HRESULT_FROM_WIN32(223);    // ERROR_FILE_TOO_LARGE
    case EISDIR: return HRESULT_FROM_WIN32(267);   // ERROR_DIRECTORY
    case ENOMEM: return E_OUTOFMEMORY;
    default: return E_FAIL;
    }
}

CWriteBehindFile::CWriteBehindFile(int fd) : CWriteBehindFile(fd, Limits {}) {}

CWriteBehindFile::CWriteBehindFile(int fd, Limits limits)
    : m_fd(fd), m_limits {std::max<std::size_t>(limits.blockSize, 1), std::max<std::size_t>(limits.maxBlocks, 1)}
{
    if (m_fd < 0) return;
    off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
    m_pos = pos > 0 ? pos : 0;
    m_reached.store(m_pos, std::memory_order_release);
    // Only regular files are held to the limit; the kernel checks it per write.
    struct stat st {};
    rlimit limit {};
    if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < static_cast<rlim_t>(INT64_MAX))
        m_sizeLimit = static_cast<int64_t>(limit.rlim_cur);
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread to write behind: every write goes to the file at once.
    }
}

CWriteBehindFile::~CWriteBehindFile()
{
    Close();
}

void CWriteBehindFile::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return !m_queue.empty() || m_stop; });
        if (m_queue.empty()) return;  // stopping, and all is written
        Block block = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        // After a failure nothing queued can land where it belongs: it is dropped until the
        // caller has taken the failure.
        const bool drop = FAILED(m_hrFailed);
        lock.unlock();
        HRESULT hr = drop                ? S_OK
                     : block.at >= 0     ? WritePlaced(block.at, block.data.get(), block.size)
                                         : WritePieces(block.data.get(), block.size);
        lock.lock();
        if (FAILED(hr) && SUCCEEDED(m_hrFailed)) m_hrFailed = hr;
        if (block.at < 0) {  // placed bytes have a small buffer of their own, not a pooled block
            block.size = 0;
            m_free.push_back(std::move(block));
        }
        m_busy = false;
        m_done.notify_all();
    }
}

HRESULT CWriteBehindFile::WritePieces(const BYTE* p, std::size_t cb)
{
    while (cb > 0) {
        // Pieces that stay in the processor's caches: one multi-megabyte write costs the kernel
        // several times as much per byte as the same bytes in 256 KiB pieces.
        ssize_t n = ::write(m_fd, p, std::min(cb, kWritePiece));
        if (n < 0) {
            if (errno == EINTR) continue;
            return HResultFromErrno(errno);
        }
        if (n == 0) return HResultFromErrno(ENOSPC);
        m_reached.fetch_add(n, std::memory_order_acq_rel);
        m_written.fetch_add(n, std::memory_order_acq_rel);
        p += n;
        cb -= static_cast<std::size_t>(n);
    }
    return S_OK;
}

namespace {

template <class Transfer>
int AllAt(Transfer transfer, char* p, std::size_t cb, int64_t offset, int noProgress)
{
    while (cb > 0) {
        ssize_t n = transfer(p, cb, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0 ? noProgress : errno;
        p += n;
        offset += n;
        cb -= static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

int WriteAllAt(int fd, const void* pData, std::size_t cb, int64_t offset)
{
    return AllAt([fd](char* p, std::size_t n, off_t at) { return ::pwrite(fd, p, n, at); },
                 static_cast<char*>(const_cast<void*>(pData)), cb, offset, ENOSPC);
}

int ReadAllAt(int fd, void* pData, std::size_t cb, int64_t offset)
{
    return AllAt([fd](char* p, std::size_t n, off_t at) { return ::pread(fd, p, n, at); }, static_cast<char*>(pData),
                 cb, offset, EIO);
}

HRESULT CWriteBehindFile::WritePlaced(int64_t at, const BYTE* p, std::size_t cb)
{
    int err = WriteAllAt(m_fd, p, cb, at);
    return err ? HResultFromErrno(err) : S_OK;
}

HRESULT CWriteBehindFile::WriteDirect(const BYTE* p, std::size_t cb)
{
    HRESULT hr = Drain();
    if (FAILED(hr)) return hr;
    hr = WritePieces(p, cb);
    m_pos = m_reached.load(std::memory_order_acquire);  // after a failure: where it stopped
    return hr;
}

HRESULT CWriteBehindFile::TakeFailure()
{
    std::unique_lock lock(m_mutex);
    if (SUCCEEDED(m_hrFailed)) return S_OK;
    m_done.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    m_filling.size = 0;  // it would follow a gap
    m_pos = m_reached.load(std::memory_order_acquire);
    HRESULT hr = m_hrFailed;
    m_hrFailed = S_OK;
    return hr;
}

void CWriteBehindFile::Hand(bool onlyIfIdle)
{
    if (!m_filling.data || m_filling.size == 0) return;
    {
        std::lock_guard lock(m_mutex);
        if (onlyIfIdle && (m_busy || !m_queue.empty())) return;
        m_queue.push_back(std::move(m_filling));
    }
    m_filling = Block {};
    m_work.notify_one();
}

HRESULT CWriteBehindFile::Drain()
{
    if (m_thread.joinable()) {
        Hand(false);
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    }
    return TakeFailure();
}

bool CWriteBehindFile::GetBlock()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (FAILED(m_hrFailed)) return false;
        if (!m_free.empty()) {
            m_filling = std::move(m_free.back());
            m_free.pop_back();
            return true;
        }
        if (m_blocks < m_limits.maxBlocks) {
            // Not zeroed: every byte is copied in before it is written.
            std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[m_limits.blockSize]);
            if (data) {
                ++m_blocks;
                m_filling = Block {std::move(data), 0};
                return true;
            }
            if (m_blocks == 0) return false;  // no memory for even one: the caller writes directly
        }
        // Ahead of the disk: wait for the thread to give a block back.
        m_done.wait(lock);
    }
}

HRESULT CWriteBehindFile::Write(const BYTE* pData, std::size_t cb)
{
    if (m_fd < 0) return E_UNEXPECTED;
    if (!pData && cb > 0) return E_POINTER;
    HRESULT hr = TakeFailure();
    if (FAILED(hr)) return hr;
    if (cb == 0) return S_OK;
    if (!m_thread.joinable() || cb > static_cast<std::size_t>(INT64_MAX - m_pos) ||
        m_pos + static_cast<int64_t>(cb) > m_sizeLimit)
        return WriteDirect(pData, cb);
    while (cb > 0) {
        if (!m_filling.data && !GetBlock()) {
            hr = TakeFailure();
            return FAILED(hr) ? hr : WriteDirect(pData, cb);
        }
        std::size_t n = std::min(cb, m_limits.blockSize - m_filling.size);
        std::memcpy(m_filling.data.get() + m_filling.size, pData, n);
        m_filling.size += n;
        m_pos += static_cast<int64_t>(n);
        pData += n;
        cb -= n;
        if (m_filling.size == m_limits.blockSize) Hand(false);
    }
    Hand(true);
    return S_OK;
}

HRESULT CWriteBehindFile::WriteAt(int64_t offset, const BYTE* pData, std::size_t cb)
{
    if (m_fd < 0) return E_UNEXPECTED;
    if (offset < 0 || (!pData && cb > 0)) return E_INVALIDARG;
    HRESULT hr = TakeFailure();
    if (FAILED(hr) || cb == 0) return hr;
    if (!m_thread.joinable()) return WritePlaced(offset, pData, cb);
    Block placed {std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[cb]), cb, offset};
    if (!placed.data) return E_OUTOFMEMORY;
    std::memcpy(placed.data.get(), pData, cb);
    {
        std::lock_guard lock(m_mutex);
        if (m_filling.data && m_filling.size > 0) {  // what was written before goes first
            m_queue.push_back(std::move(m_filling));
            m_filling = Block {};
        }
        m_queue.push_back(std::move(placed));
    }
    m_work.notify_one();
    return S_OK;
}

HRESULT CWriteBehindFile::Seek(int64_t offset, int whence, int64_t* pPos)
{
    if (m_fd < 0) return E_UNEXPECTED;
    HRESULT hr = TakeFailure();
    if (FAILED(hr)) return hr;
    const bool same = (whence == SEEK_SET && offset == m_pos) || (whence == SEEK_CUR && offset == 0);
    if (!same) {
        hr = Drain();
        if (FAILED(hr)) return hr;
        off_t pos = ::lseek(m_fd, static_cast<off_t>(offset), whence);
        if (pos < 0) return HResultFromErrno(errno);
        m_pos = pos;
        m_reached.store(m_pos, std::memory_order_release);
    }
    if (pPos) *pPos = m_pos;
    return S_OK;
}

HRESULT CWriteBehindFile::Truncate(int64_t size)
{
    if (m_fd < 0) return E_UNEXPECTED;
    HRESULT hr = Drain();
    if (FAILED(hr)) return hr;
    return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0 ? S_OK : HResultFromErrno(errno);
}

HRESULT CWriteBehindFile::Close()
{
    if (m_fd < 0) return S_OK;
    HRESULT hr = Drain();
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_work.notify_one();
        m_thread.join();
    }
    int rc = ::close(m_fd);
    int err = errno;
    m_fd = -1;
    m_filling = Block {};
    m_free.clear();
    m_blocks = 0;
    if (FAILED(hr)) return hr;
    return rc == 0 ? S_OK : HResultFromErrno(err);
}
