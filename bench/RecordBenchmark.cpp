// One recording of one case, for scripts/bench.sh record, which runs ours beside ffmpeg's
// x11grab recording the same rectangle with the same codec.
//   bench_record ours <W>x<H> <codec> <ceiling> <seconds> <file>
//     The capture graph as a recording builds it (no sound, DirectDraw capture at the origin),
//     with <codec> the video compressor's friendly name or "none" and <ceiling> the most frames
//     per second (0: none).
//   bench_record ffmpeg <W>x<H> <codec> <ceiling> <seconds> <file>
//     ffmpeg -f x11grab at <ceiling> frames per second (0: -framerate 100000) with the encoder
//     that stands behind the same friendly name.
// Both print fps=<n> cpu_ms=<n> dropped=<n>: frames in the file per recorded second (ours over
// the span its source measured, ffmpeg's over its -t), CPU of the recording process per frame,
// and frames short of the ceiling's count over that span.
#include "capture/CaptureGraph.h"
#include "platform/avi/AviClasses.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/ui/MessageBox.h"

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

double CpuMs(const rusage& usage)
{
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
           usage.ru_stime.tv_usec / 1e3;
}

double SelfCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return CpuMs(usage);
}

// The frames the file's header counts (ffprobe reads the index, not the data).
long FramesInFile(const std::string& file)
{
    const std::string command = "ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 '" +
                                file + "'";
    long frames = 0;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        if (std::fscanf(pipe, "%ld", &frames) != 1)
            frames = 0;
        pclose(pipe);
    }
    return frames;
}

// The ffmpeg encoder arguments for a friendly name, as our compressors configure theirs.
std::vector<std::string> EncoderArguments(const std::string& codec)
{
    // Our compressors code a key frame every 2 s of the capture pin's 15 frames a second.
    static const std::map<std::string, std::vector<std::string>> table {
        {"none", {"-c:v", "rawvideo", "-pix_fmt", "bgra"}},
        {"Microsoft Video 1", {"-c:v", "msvideo1", "-pix_fmt", "rgb555le", "-keyint_min", "29"}},
        {"Motion JPEG", {"-c:v", "mjpeg", "-pix_fmt", "yuvj420p", "-q:v", "3"}},
        {"MPEG-4 Video", {"-c:v", "mpeg4", "-pix_fmt", "yuv420p", "-bf", "0", "-q:v", "3", "-g", "30"}},
        {"H.264 Video",
         {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-preset", "veryfast", "-tune", "zerolatency", "-crf", "20", "-g", "30"}},
        {"FFV1 Lossless", {"-c:v", "ffv1", "-pix_fmt", "bgr0", "-level", "3", "-g", "30"}},
    };
    auto it = table.find(codec);
    return it == table.end() ? std::vector<std::string> {} : it->second;
}

void Print(long frames, double seconds, double cpuMs, int ceiling)
{
    const double fps = seconds > 0 ? frames / seconds : 0;
    const long dropped = ceiling > 0 ? std::max(0L, static_cast<long>(ceiling * seconds + 0.5) - frames) : 0;
    std::printf("fps=%.1f cpu_ms=%.2f dropped=%ld\n", fps, frames > 0 ? cpuMs / frames : 0.0, dropped);
}

int Ours(int width, int height, const std::string& codec, int ceiling, double seconds, const std::string& file)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    void* module = dlopen(ORAVANE_MODULE, RTLD_NOW | RTLD_LOCAL);
    auto reg = module ? reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllRegisterServer")) : nullptr;
    if (!reg || reg() != S_OK) {
        std::fprintf(stderr, "bench_record: cannot register %s\n", ORAVANE_MODULE);
        return 1;
    }
    RegisterMediaGraphClasses();
    RegisterAviClasses();
    RegisterCompressorCategories();
    platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& r) {
        std::fprintf(stderr, "bench_record: %s\n", r.text.c_str());
        return platform::IDOK;
    });

    options::CVideoOptions o;
    const std::size_t slash = file.rfind('/');
    o.m_strOutputPath = slash == std::string::npos ? "./" : file.substr(0, slash + 1);
    o.m_bRecordSound = 0;
    o.m_bVideoCompress = codec != "none";
    o.m_strVideoCompressor = codec;
    o.m_nCaptureMode = 1;
    o.m_nFrameRate = ceiling;
    CCaptureGraph graph(o);
    graph.SetCaptureFrame(0, RECT {0, 0, width, height});
    if (!graph.StartBuild())
        return 1;
    const double cpu0 = SelfCpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    graph.SetFileName(file);
    graph.Run();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    graph.Stop();
    const double cpu = SelfCpuMs() - cpu0;
    const long frames = FramesInFile(file);
    // The span the source itself measured, from its first capture to the stop: the graph's
    // start-up and stop are no frames short of the ceiling.
    const double measured = graph.GetLastFrameRate();
    const double elapsed = measured > 0 ? frames / measured
                                        : std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Print(frames, elapsed, cpu, ceiling);
    return 0;
}

int Ffmpeg(const std::string& size, const std::string& codec, int ceiling, double seconds, const std::string& file)
{
    const char* display = std::getenv("DISPLAY");
    std::vector<std::string> args {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y", "-f", "x11grab",
                                   "-draw_mouse", "0", "-framerate", ceiling > 0 ? std::to_string(ceiling) : "100000",
                                   "-video_size", size, "-i", std::string(display ? display : ":0") + "+0,0",
                                   "-t", std::to_string(seconds)};
    const auto encoder = EncoderArguments(codec);
    if (encoder.empty()) {
        std::fprintf(stderr, "bench_record: no ffmpeg encoder for %s\n", codec.c_str());
        return 1;
    }
    args.insert(args.end(), encoder.begin(), encoder.end());
    // Frames as grabbed: no duplicates to keep a constant rate, counted by ffmpeg itself (an AVI
    // muxer would pad the gaps of an uncapped grab with empty chunks that are no frames).
    const std::string progress = file + ".progress";
    // Two grabs within one tick of the input's 1/rate time base would share a time stamp, which
    // MPEG-4 refuses ("Invalid pts"): the encoder counts in milliseconds instead.
    args.insert(args.end(), {"-fps_mode", "passthrough", "-enc_time_base", "1:1000", "-progress", progress});
    args.push_back(file);

    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("ffmpeg", argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    // ffmpeg's own start-up is in its wall time; its frames span the -t seconds it grabbed.
    (void)elapsed;
    long frames = 0;
    if (FILE* in = std::fopen(progress.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof(line), in))
            std::sscanf(line, "frame=%ld", &frames);
        std::fclose(in);
    }
    std::remove(progress.c_str());
    Print(frames, seconds, CpuMs(usage), ceiling);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: bench_record ours|ffmpeg <W>x<H> <codec> <ceiling> <seconds> <file>\n");
        return 2;
    }
    const std::string side = argv[1], size = argv[2], codec = argv[3], file = argv[6];
    const int ceiling = std::atoi(argv[4]);
    const double seconds = std::atof(argv[5]);
    int width = 0, height = 0;
    if (std::sscanf(size.c_str(), "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0)
        return 2;
    return side == "ours" ? Ours(width, height, codec, ceiling, seconds, file) : Ffmpeg(size, codec, ceiling, seconds, file);
}
