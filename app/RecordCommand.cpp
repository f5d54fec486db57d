#include "app/RecordCommand.h"

#include "app/BatchRecorder.h"
#include "app/BatchReport.h"
#include "app/ProgramRuntime.h"
#include "app/RecordRequest.h"
#include "dvd/BurnDlg.h"
#include "options/OptionFile.h"
#include "options/RecordingOptions.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/com/ComBase.h"
#include "platform/session/PrivateDisplay.h"
#include "platform/session/PrivateSoundServer.h"
#include "platform/ui/MessageBox.h"
#include "recording/RecordGeometry.h"

#include <QApplication>

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

// Room around the slide area for the recording window's control strip.
constexpr int kMinScreenWidth = 1280;
constexpr int kMinScreenHeight = 1024;
constexpr int kStripWidth = 64;
constexpr int kStripHeight = 256;

// The private screen holds the recording window with its slide area at the size the recordings
// take: the one asked for, the DVD size in a run that makes a DVD, else the window's stored one.
RecordSize HeadlessScreenSize(const RecordRequest& request)
{
    RecordSize video;
    if (request.size) {
        video = *request.size;
    } else if (request.WantsDvd()) {
        recording::PresetSize(1, &video.width, &video.height);
    } else {
        options::CBurnSettings burn;
        options::CRecordingOptions stored(burn);
        options::COptionFile(options::kRecordingOptionsFile).LoadRecord(stored);
        video = {stored.m_nPptWidth, stored.m_nPptHeight};
    }
    return {std::max(kMinScreenWidth, video.width + kStripWidth), std::max(kMinScreenHeight, video.height + kStripHeight)};
}

bool DisplayAnswers()
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0')
        return false;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    XCloseDisplay(display);
    return true;
}

// Standard error is for the run's errors: the toolkit's notes stay out of it.
void QuietToolkit(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vantorel: %s\n", message.toLocal8Bit().constData());
}

}  // namespace

int RunRecordCommand(const std::vector<std::string>& words)
{
    CBatchReport report(stdout, stderr);
    std::vector<std::string> faults;
    RecordRequest request = ParseRecordRequest(words, &faults);
    if (request.help) {
        std::fputs(("Usage: vantorel --record [OPTION]... FILE...\n"
                    "Records the presentations (.ppt, .pps, .pptx, .odp) one after another, unattended.\n"
                    "Options:\n" + RecordOptionsHelp()).c_str(),
                   stdout);
        return RECORD_STATUS_DONE;
    }
    if (!faults.empty()) {
        for (const std::string& fault : faults)
            report.Error(fault);
        std::fputs("Try 'vantorel --help'.\n", stderr);
        return RECORD_STATUS_BAD_ARGUMENTS;
    }

    // Files that cannot be recorded are told first; with none left nothing is started.
    std::vector<std::string> files = ChooseRecordableFiles(request.files, report);
    const int skipped = static_cast<int>(request.files.size() - files.size());
    if (files.empty()) {
        report.Done(0, static_cast<int>(request.files.size()));
        return RECORD_STATUS_SOME_FAILED;
    }

    std::unique_ptr<platform::session::CPrivateDisplay> display;
    std::unique_ptr<platform::session::CPrivateSoundServer> sound;
    if (request.headless) {
        const RecordSize screen = HeadlessScreenSize(request);
        display = std::make_unique<platform::session::CPrivateDisplay>();
        std::string error;
        if (!display->Start(screen.width, screen.height, &error)) {
            report.Error("--headless: " + error);
            return RECORD_STATUS_SOME_FAILED;
        }
        // The toolkit must not take a Wayland session's socket over our X server.
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        if (!platform::session::CPrivateSoundServer::IsServerReachable()) {
            sound = std::make_unique<platform::session::CPrivateSoundServer>();
            if (!sound->Start(&error)) {
                report.Error("--headless: no sound server (" + error + "): recording without sound");
                request.noSound = true;
                sound.reset();
            }
        }
    } else if (!DisplayAnswers()) {
        report.Error("no display to record on (DISPLAY is not set or does not answer): use --headless");
        return RECORD_STATUS_SOME_FAILED;
    }

    qInstallMessageHandler(QuietToolkit);
    QuietCodecLibrary();
    static int argc = 1;
    static char name[] = "vantorel";
    static char* argv[] = {name, nullptr};
    int status = RECORD_STATUS_SOME_FAILED;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName("vantorel");
        QApplication::setDesktopFileName("vantorel");
        platform::SetAppName("Vantorel");
        if (!StartProgramRuntime())
            return RECORD_STATUS_SOME_FAILED;
        {
            // The program's burn window, as at a normal start: the recording window keeps its
            // settings and the DVD is made through it.
            CBurnDlg burnDlg;
            CBatchRecorder recorder(request, report, std::move(files), skipped);
            status = recorder.Run();
        }
        CoUninitialize();
    }
    qInstallMessageHandler(nullptr);
    return status;
}
