// A generated deck recorded end to end through the recording window, for scripts/bench.sh deck.
//   bench_deck <folder> <W>x<H> <codec>...
//     Makes a 10-slide deck whose slides move on after a second each (in <folder>), then for each
//     codec (a video compressor's friendly name, or "none") opens the recording window with a
//     slide area of <W>x<H>, presses "Start", "Start " in the presentation mode window, ">" once
//     the last slide shows, and closes the conversion-finished window. Silent recordings at the
//     options' default ceiling of 15 frames a second.
// One line per codec, in their order: fps=<frames per second of the show> dropped=<frames short of the ceiling>
// cpu_ms=<this process's processor time per frame> duration_ratio=<file's duration / show's>.
// The show's duration is the wall time from the graph's run to the stop.
#include "RecordingSupport.h"
#include "RecordWindowSupport.h"

#include "app/FinishedDlg.h"
#include "options/OptionFile.h"
#include "options/RecordingOptions.h"
#include "options/VideoOptions.h"
#include "platform/com/ComBase.h"
#include "platform/office/PowerPointApplication.h"
#include "platform/office/ShowScreen.h"
#include "platform/office/TestPresentations.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/MessageBox.h"
#include "recording/PresentationModeDlg.h"

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

using namespace recording;
using namespace recordtest;

namespace {

constexpr long kSlides = 10;
constexpr int kCeiling = 15;

double SelfCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
           usage.ru_stime.tv_usec / 1e3;
}

// The frames and the duration of the file's video stream, as a player reads its header.
bool ReadFile(const std::string& file, long* frames, double* seconds)
{
    std::string command = "ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames,duration "
                          "-of default=nw=1 '" + file + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    int found = 0;
    char line[256];
    while (std::fgets(line, sizeof line, pipe))
        found += std::sscanf(line, "nb_frames=%ld", frames) == 1 || std::sscanf(line, "duration=%lf", seconds) == 1;
    pclose(pipe);
    return found == 2;
}

struct Figures {
    long frames = 0;
    double showSeconds = 0;
    double fileSeconds = 0;
    double cpuMs = 0;
};

// One recording of the deck with a slide area of width x height; false when it did not run.
bool RecordDeck(const std::string& deck, int width, int height, const std::string& codec, const std::string& out,
                Figures* figures)
{
    options::CVideoOptions o;
    o.m_strOutputPath = out + "/";
    o.m_bUseTempFolder = 0;
    o.m_bRecordSound = 0;
    o.m_bAudioCompress = 0;
    o.m_bVideoCompress = codec != "none";
    o.m_strVideoCompressor = codec;
    o.m_nFrameRate = kCeiling;
    options::COptionFile(options::kVideoOptionsFile).SaveRecord(o);
    options::CBurnSettings burn;
    options::CRecordingOptions record(burn);
    record.m_nPptWidth = record.m_nVideoWidth = width;
    record.m_nPptHeight = record.m_nVideoHeight = height;
    options::COptionFile(options::kRecordingOptionsFile).SaveRecord(record);

    CTestOwner owner;
    owner.m_paths = {deck};
    CRecordDlg dlg;
    dlg.m_pMainDlg = &owner;
    QObject watches;
    bool ran = false;
    std::string file;
    double cpu0 = 0;
    std::chrono::steady_clock::time_point t0, t1;
    QTimer::singleShot(0, &dlg, [&] {
        WhenShown<CPresentationModeDlg>(&watches, [](CPresentationModeDlg& mode) { mode.SendCommand(platform::IDOK); });
        dlg.SendCommand(IDC_REC_START);
        if (PumpUntil([&] { return dlg.IsRecording(); }, 30000)) {
            t0 = std::chrono::steady_clock::now();
            cpu0 = SelfCpuMs();
            file = dlg.GetOutputFile();
            // ">" once the last slide shows (or, on a busy machine, the end screen after it), as
            // a user presses it.
            RECT frame = dlg.GetCaptureRect();
            const int x = (frame.left + frame.right) / 2, y = (frame.top + frame.bottom) / 2;
            ran = PumpUntil([&] { return dlg.Driver().CurrentShowPosition() == kSlides; }, 60000) &&
                  PumpUntil([&] {
                      const std::uint32_t centre = officetest::ScreenPixel(x, y);
                      return officetest::Near(centre, officetest::SlideColour(kSlides)) || officetest::Near(centre, 0);
                  }, 5000);
            // The finished window follows the stop at once; the show's reopening after it is not
            // part of the recording.
            WhenShown<CFinishedDlg>(&watches, [&](CFinishedDlg& finished) {
                figures->cpuMs = SelfCpuMs() - cpu0;
                finished.SendCommand(platform::IDCANCEL);
            });
            t1 = std::chrono::steady_clock::now();
            dlg.SendCommand(IDC_REC_NEXT);
        }
        dlg.close();
    });
    dlg.DoModal();
    if (!ran || !ReadFile(file, &figures->frames, &figures->fileSeconds))
        return false;
    figures->showSeconds = std::chrono::duration<double>(t1 - t0).count();
    std::filesystem::remove(file);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int width = 0, height = 0;
    if (argc < 4 || std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "usage: bench_deck <folder> <W>x<H> <codec>...\n");
        return 2;
    }
    QApplication app(argc, argv);
    const std::string folder = argv[1];
    const std::string out = folder + "/videos";
    std::filesystem::create_directories(out);

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (const std::string error = capturetest::RegisterRecordingClasses(ORAVANE_MODULE); !error.empty()) {
        std::fprintf(stderr, "bench_deck: %s\n", error.c_str());
        return 1;
    }
    platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& r) {
        std::fprintf(stderr, "bench_deck: %s\n", r.text.c_str());
        return platform::IDOK;
    });

    // The deck, made by the office once; slides as wide as the slide area.
    {
        std::string error;
        auto office = office::Application::Create(&error);
        officetest::ShowOptions deck;
        deck.slides = kSlides;
        deck.animations = false;
        deck.pageSound = false;
        deck.pageWidth = 28000;
        deck.pageHeight = 28000 * height / width;
        if (!office || !officetest::MakePresentations(*office->Session(), folder, "deck", deck)) {
            std::fprintf(stderr, "bench_deck: the office could not make the deck %s\n", error.c_str());
            return 1;
        }
    }

    int status = 0;
    for (int i = 3; i < argc; ++i) {
        Figures f;
        if (!RecordDeck(folder + "/deck.ppt", width, height, argv[i], out, &f) || f.frames == 0 || f.showSeconds <= 0) {
            // A line all the same, so the lines stay in the codecs' order.
            std::fprintf(stderr, "bench_deck: the recording with %s did not run\n", argv[i]);
            std::printf("fps=0 dropped=0 cpu_ms=0 duration_ratio=0\n");
            status = 1;
            continue;
        }
        const long dropped = std::max(0L, static_cast<long>(kCeiling * f.showSeconds + 0.5) - f.frames);
        std::printf("fps=%.1f dropped=%ld cpu_ms=%.2f duration_ratio=%.3f\n", f.frames / f.showSeconds, dropped,
                    f.cpuMs / f.frames, f.fileSeconds / f.showSeconds);
        std::fflush(stdout);
    }
    CoUninitialize();
    return status;
}
