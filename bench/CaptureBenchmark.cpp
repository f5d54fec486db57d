// One measurement of one capture case, for scripts/bench.sh, which runs it in rounds beside
// ffmpeg's x11grab and prints the benchmark's lines from the medians.
//   bench_capture grab <W>x<H> <dd|gdi|xshm> <32|24|16> <0|1> <seconds> <X server pid>
//     fps=<n> cpu_ms=<n> x_ms=<n>: frames per wall-clock second of the grab loop (set-up and
//     ten warm-up frames not counted), our CPU and the X server's CPU per frame. "xshm" is the
//     bare XShmGetImage loop of the same rectangle (32 bits, no cursor): the bound of any
//     grabber that asks the server for one image per frame.
//   bench_capture memcpy <W>x<H> <32|24|16>
//     memcpy_fps=<n>: one frame copied from memory that is not in the caches.
#include "bench/XShmReference.h"
#include "filter/ScreenGrabber.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double ProcessCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// User plus system time of another process, from /proc/<pid>/stat.
double OtherCpuMs(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::atof(field.c_str());
        if (i == 15)
            stime = std::atof(field.c_str());
    }
    return (utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// One frame copied from memory that is not in the caches: the physical bound of any grabber
// that must move the frame once.
double ColdMemcpyFps(std::size_t frameBytes)
{
    std::size_t sources = std::max<std::size_t>(4, (128u << 20) / frameBytes);
    std::vector<std::vector<char>> from(sources, std::vector<char>(frameBytes, 1));
    std::vector<char> to(frameBytes);
    auto start = std::chrono::steady_clock::now();
    long frames = 0;
    double seconds = 0;
    do {
        std::memcpy(to.data(), from[frames % sources].data(), frameBytes);
        ++frames;
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (seconds < 0.5 || frames < 2 * static_cast<long>(sources));
    return frames / seconds;
}

// Runs grab for the given time after ten warm-up calls and prints the figures; false when a
// grab fails.
bool Measure(const std::function<bool()>& grab, double seconds, long xpid)
{
    for (int i = 0; i < 10; ++i)
        if (!grab())
            return false;
    double cpu0 = ProcessCpuMs(), x0 = OtherCpuMs(xpid);
    auto start = std::chrono::steady_clock::now();
    long frames = 0;
    double elapsed = 0;
    do {
        if (!grab())
            return false;
        ++frames;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    double cpuMs = (ProcessCpuMs() - cpu0) / frames;
    double xMs = (OtherCpuMs(xpid) - x0) / frames;
    std::printf("fps=%.1f cpu_ms=%.3f x_ms=%.3f\n", frames / elapsed, cpuMs, xMs);
    return true;
}

int Usage(const char* self)
{
    std::fprintf(stderr,
                 "usage: %s grab <W>x<H> <dd|gdi|xshm> <bits> <cursor> <seconds> <xpid>\n"
                 "       %s memcpy <W>x<H> <bits>\n",
                 self, self);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return Usage(argv[0]);
    int width = 0, height = 0;
    if (std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0)
        return Usage(argv[0]);
    std::string mode = argv[1];
    if (mode == "memcpy") {
        int bits = std::atoi(argv[3]);
        std::printf("memcpy_fps=%.0f\n",
                    ColdMemcpyFps(DibStride(width, static_cast<WORD>(bits)) * static_cast<std::size_t>(height)));
        return 0;
    }
    if (mode != "grab" || argc != 8)
        return Usage(argv[0]);
    std::string path = argv[3];
    int bits = std::atoi(argv[4]);
    BOOL cursor = std::atoi(argv[5]) != 0;
    double seconds = std::atof(argv[6]);
    long xpid = std::atol(argv[7]);

    if (path == "xshm") {
        CXShmReference reference;
        if (!reference.Open(width, height)) {
            std::fprintf(stderr, "bench_capture: no shared-memory grab on this display\n");
            return 1;
        }
        return Measure([&reference] { return reference.Grab(); }, seconds, xpid) ? 0 : 1;
    }

    bool directDraw = path == "dd";
    CScreenGrabber grabber;
    grabber.SetCaptureRect({0, 0, width, height});
    grabber.SetDrawCursor(cursor);
    grabber.SetCaptureMode(0, directDraw ? CaptureModeDirectDraw : CaptureModeGDI);
    grabber.SetOutputDepth(bits);
    if (bits == 16)
        grabber.SetOutputMasks(0xF800, 0x07E0, 0x001F);
    if (directDraw != static_cast<bool>(grabber.IsDirectDrawUsable())) {
        std::fprintf(stderr, "bench_capture: the %s path is not usable for %d bits on this screen\n",
                     path.c_str(), bits);
        return 1;
    }
    BOOL ready = directDraw ? grabber.SetUpDirectDraw(bits) : grabber.SetUpGDI(bits);
    if (!ready) {
        std::fprintf(stderr, "bench_capture: set-up failed\n");
        return 1;
    }
    BITMAPINFOHEADER header {sizeof(BITMAPINFOHEADER), width, height, 1, static_cast<WORD>(bits),
                             static_cast<DWORD>(bits == 16 ? BI_BITFIELDS : BI_RGB),
                             DibStride(width, static_cast<WORD>(bits)) * static_cast<DWORD>(height),
                             0, 0, 0, 0};
    // One buffer for the whole run, as a sample's memory is: no page faults in the loop.
    std::vector<BYTE> frame(header.biSizeImage);
    bool ok = Measure([&] {
        grabber.Capture(frame.data(), &header);
        return true;
    }, seconds, xpid);
    grabber.ReleaseGDI();
    grabber.ReleaseDirectDraw();
    return ok ? 0 : 1;
}
