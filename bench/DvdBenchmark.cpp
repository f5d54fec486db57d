// One round of scripts/bench.sh dvd: a recording converted and authored by our steps, and by the
// same ffmpeg and dvdauthor commands run straight from a shell, taking turns.
//   bench_dvd <file.avi> <PAL|NTSC> <work folder> <round>
// Prints ours_s=<n> tools_s=<n> reads=<n>: the wall-clock seconds of each side, and how many
// reads our runner relayed (each followed by its pause: 1 s converting, 0.2 s authoring).
#include "DvdTestWindow.h"
#include "dvd/AuthoringFiles.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Our steps from Start Burn to the burn stage, with the tools of the program folder.
double Ours(const std::string& avi, int nTvFormat, const std::string& work, std::size_t* pReads)
{
    CDvdTestWindow window;
    window.m_Videos = {avi};
    window.m_nTvFormat = nTvFormat;
    window.m_strProgramFolder = VANTOREL_PROGRAM_DIR "/";
    window.m_strOutputFolder = work + "/ours/";
    fs::create_directories(window.m_strOutputFolder);
    CDvdSteps steps(window);
    const auto t0 = Clock::now();
    const bool bDone = window.RunSteps(steps, std::chrono::seconds(3600));
    const double seconds = Since(t0);
    if (!bDone || steps.GetMpegList().size() != 1) {
        std::fprintf(stderr, "bench_dvd: our steps failed:\n%s\n", window.Log().c_str());
        std::exit(1);
    }
    // Every entry but the status lines came from one read.
    *pReads = window.m_Log.size() - window.m_Statuses.size();
    fs::remove(steps.GetMpegList()[0]);
    return seconds;
}

// The same commands by hand: ffmpeg, then dvdauthor on the same control file.
double Tools(const std::string& avi, int nTvFormat, const std::string& work)
{
    const std::string dir = work + "/tools/";
    fs::create_directories(dir);
    const std::string mpeg = dir + "title.mpg";
    const std::string control = dir + kControlFileName;
    if (FILE* file = std::fopen(control.c_str(), "w")) {
        const std::string text = ControlFileText({mpeg});
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    const bool bNtsc = nTvFormat == TV_FORMAT_NTSC;
    const std::string convert = "ffmpeg -i " + ShellQuote(avi) + " -y -target " + (bNtsc ? "ntsc" : "pal") + "-dvd " +
                                ShellQuote(mpeg) + " </dev/null >/dev/null 2>&1";
    const std::string author = std::string("VIDEO_FORMAT=") + (bNtsc ? "NTSC" : "PAL") + " dvdauthor -o " +
                               ShellQuote(dir + kDvdFolderName) + " -x " + ShellQuote(control) + " >/dev/null 2>&1";
    fs::remove_all(dir + kDvdFolderName);
    const auto t0 = Clock::now();
    if (std::system(convert.c_str()) != 0 || std::system(author.c_str()) != 0) {
        std::fprintf(stderr, "bench_dvd: the tools failed\n");
        std::exit(1);
    }
    const double seconds = Since(t0);
    fs::remove(mpeg);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_dvd <file.avi> <PAL|NTSC> <work folder> <round>\n");
        return 2;
    }
    const std::string avi = argv[1], work = argv[3];
    const int nTvFormat = std::string(argv[2]) == "NTSC" ? TV_FORMAT_NTSC : TV_FORMAT_PAL;
    std::size_t reads = 0;
    double ours = 0, tools = 0;
    // Alternate rounds change the order, so that a change of load falls on both sides alike.
    if (std::atoi(argv[4]) % 2 == 0) {
        ours = Ours(avi, nTvFormat, work, &reads);
        tools = Tools(avi, nTvFormat, work);
    } else {
        tools = Tools(avi, nTvFormat, work);
        ours = Ours(avi, nTvFormat, work, &reads);
    }
    std::printf("ours_s=%.2f tools_s=%.2f reads=%zu\n", ours, tools, reads);
    return 0;
}
