// Fuzz target for the frame-rate patch: a rate (the first 8 bytes, any double) over any file. The
// file never changes size, nothing but dwRate at byte 132 changes, a file too short for it is
// refused, and the rate written is the measured one truncated, never below 1.
#include "capture/AviFrameRate.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string& Scratch()
{
    static const std::string path = [] {
        // In memory where there is a place for it: a run makes millions of these files.
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
        std::string p = std::string(dir && *dir ? dir : "/tmp") + "/vantorel-frame-rate-fuzz-XXXXXX";
        int fd = mkstemp(p.data());
        if (fd < 0) std::abort();
        close(fd);
        std::atexit([] { unlink(Scratch().c_str()); });
        return p;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < sizeof(double)) return 0;
    double fps;
    std::memcpy(&fps, data, sizeof fps);
    const std::vector<std::uint8_t> before(data + sizeof fps, data + size);
    {
        std::ofstream out(Scratch(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(before.data()), static_cast<std::streamsize>(before.size()));
    }
    const BOOL ok = UpdateAviFrameRate(Scratch(), fps);
    std::ifstream in(Scratch(), std::ios::binary);
    const std::vector<std::uint8_t> after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (after.size() != before.size()) std::abort();
    if (before.size() < 136) {
        if (ok || after != before) std::abort();
        return 0;
    }
    if (!ok) std::abort();
    for (std::size_t i = 0; i < after.size(); ++i)
        if ((i < 132 || i >= 136) && after[i] != before[i]) std::abort();
    const std::uint32_t rate = after[132] | after[133] << 8 | after[134] << 16 | static_cast<std::uint32_t>(after[135]) << 24;
    const double expected = std::isfinite(fps) ? std::trunc(fps) : 0.0;
    if (rate < 1 || rate > 0x7FFFFFFF || (expected >= 1 && expected < 0x7FFFFFFF && rate != expected)) std::abort();
    return 0;
}
