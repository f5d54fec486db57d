// Frames per second and CPU cost of CScreenGrabber for one case, printed as the benchmark's line:
// capture <W>x<H> <path><bits> cursor=<0|1> fps=<n> cpu_ms=<n> x_ms=<n> ffmpeg_fps=<n>
//   ratio=<ours/ffmpeg> memcpy_fps=<n>
// Usage: bench_capture <W>x<H> <dd|gdi> <32|24|16> <0|1> <seconds> <X server pid> <ffmpeg fps>
#include "filter/ScreenGrabber.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 8) {
        std::fprintf(stderr, "usage: %s <W>x<H> <dd|gdi> <bits> <cursor> <seconds> <xpid> <ffmpeg fps>\n", argv[0]);
        return 2;
    }
    int width = 0, height = 0;
    if (std::sscanf(argv[1], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0)
        return 2;
    bool directDraw = std::strcmp(argv[2], "dd") == 0;
    int bits = std::atoi(argv[3]);
    BOOL cursor = std::atoi(argv[4]) != 0;
    double seconds = std::atof(argv[5]);
    long xpid = std::atol(argv[6]);
    double ffmpegFps = std::atof(argv[7]);

    CScreenGrabber grabber;
    grabber.SetCaptureRect({0, 0, width, height});
    grabber.SetDrawCursor(cursor);
    grabber.SetCaptureMode(0, directDraw ? CaptureModeDirectDraw : CaptureModeGDI);
    grabber.SetOutputDepth(bits);
    if (bits == 16)
        grabber.SetOutputMasks(0xF800, 0x07E0, 0x001F);
    if (directDraw != static_cast<bool>(grabber.IsDirectDrawUsable())) {
        std::fprintf(stderr, "bench_capture: the %s path is not usable for %d bits on this screen\n",
                     argv[2], bits);
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
    std::vector<BYTE> frame(header.biSizeImage);
    for (int i = 0; i < 10; ++i)
        grabber.Capture(frame.data(), &header);

    double cpu0 = ProcessCpuMs(), x0 = OtherCpuMs(xpid);
    auto start = std::chrono::steady_clock::now();
    long frames = 0;
    double elapsed = 0;
    do {
        grabber.Capture(frame.data(), &header);
        ++frames;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    double cpuMs = (ProcessCpuMs() - cpu0) / frames;
    double xMs = (OtherCpuMs(xpid) - x0) / frames;
    double fps = frames / elapsed;
    grabber.ReleaseGDI();
    grabber.ReleaseDirectDraw();

    double memcpyFps = ColdMemcpyFps(header.biSizeImage);
    std::printf("capture %dx%d %s%d cursor=%d fps=%.1f cpu_ms=%.3f x_ms=%.3f ffmpeg_fps=%.1f ratio=%.2f memcpy_fps=%.0f\n",
                width, height, directDraw ? "dd" : "gdi", bits, cursor ? 1 : 0, fps, cpuMs, xMs,
                ffmpegFps, ffmpegFps > 0 ? fps / ffmpegFps : 0.0, memcpyFps);
    return 0;
}
