// How long a 30 frames-a-second writer of uncompressed frames waits in each frame's write, for
// scripts/bench.sh writer:
//   bench_file_writer direct|behind <frame bytes> <frames> <file>
// direct: write(2) in 256 KiB pieces on the caller's thread, as the File Writer did before it
// wrote behind; behind: CWriteBehindFile. Prints mean_ms, p50, p99, max (ms in the write call),
// late (frame slots missed because a write overran one) and close_ms (the final wait).
#include "platform/avi/WriteBehindFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool WriteDirect(int fd, const BYTE* p, std::size_t cb)
{
    while (cb > 0) {
        ssize_t n = ::write(fd, p, std::min(cb, CWriteBehindFile::kWritePiece));
        if (n <= 0) return false;
        p += n;
        cb -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_file_writer direct|behind <frame bytes> <frames> <file>\n");
        return 2;
    }
    const bool behind = std::string(argv[1]) == "behind";
    const std::size_t frameBytes = std::stoul(argv[2]);
    const int frames = std::stoi(argv[3]);
    int fd = ::open(argv[4], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || frames <= 0) return 1;
    std::unique_ptr<CWriteBehindFile> file = behind ? std::make_unique<CWriteBehindFile>(fd) : nullptr;
    std::vector<BYTE> frame(frameBytes, 0x5A);
    std::vector<double> waits;
    int late = 0;
    auto slot = Clock::now();
    for (int i = 0; i < frames; ++i) {
        std::memset(frame.data(), i, std::min<std::size_t>(frameBytes, 4096));
        const auto t0 = Clock::now();
        const bool ok = file ? SUCCEEDED(file->Write(frame.data(), frameBytes)) : WriteDirect(fd, frame.data(), frameBytes);
        const auto t1 = Clock::now();
        if (!ok) return 1;
        waits.push_back(Ms(t1 - t0));
        slot += std::chrono::microseconds(33333);
        if (t1 > slot) {
            ++late;
            slot = t1;
        }
        std::this_thread::sleep_until(slot);
    }
    const auto c0 = Clock::now();
    const bool closed = file ? SUCCEEDED(file->Close()) : ::close(fd) == 0;
    const double closeMs = Ms(Clock::now() - c0);
    std::vector<double> sorted = waits;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double w : waits) sum += w;
    std::printf("mean_ms=%.2f p50=%.2f p99=%.2f max=%.1f late=%d close_ms=%.0f\n", sum / waits.size(),
                sorted[sorted.size() / 2], sorted[sorted.size() * 99 / 100], sorted.back(), late, closeMs);
    return closed ? 0 : 1;
}
