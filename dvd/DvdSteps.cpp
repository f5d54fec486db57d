#include "dvd/DvdSteps.h"

#include "burner/BurnJob.h"
#include "dvd/AuthoringFiles.h"
#include "platform/shell/Places.h"
#include "platform/ui/MessageBox.h"
#include "recording/SlideTimingLog.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

namespace {

// The encoder's progress reaches the log at most once a second; the authoring tool's more often.
constexpr unsigned kConversionPauseMs = 1000;
constexpr unsigned kAuthoringPauseMs = 200;

// Creates or truncates the file and writes the text; false when any part of that fails, so a
// full disk never leaves a cut control file behind a successful step.
bool WriteTextFile(const std::string& strPath, const std::string& strText)
{
    FILE* file = std::fopen(strPath.c_str(), "w");
    if (file == nullptr)
        return false;
    const bool bWritten = std::fwrite(strText.data(), 1, strText.size(), file) == strText.size();
    return std::fclose(file) == 0 && bWritten;
}

// The times (ms into the video) of its slide changes, from its timing log.
bool ReadSlideChangeTimes(const std::string& strVideo, std::vector<long long>* times, std::string* strError)
{
    std::vector<recording::SlideTiming> timings;
    if (!recording::ReadTimingLog(recording::TimingLogPath(strVideo), &timings, strError))
        return false;
    for (const recording::SlideTiming& timing : timings)
        times->push_back(timing.videoMs);
    return true;
}

std::string ExitText(int nExitCode)
{
    return nExitCode < 0 ? "ended by a signal" : "exit code " + std::to_string(nExitCode);
}

} // namespace

CDvdSteps::CDvdSteps(IDvdWindow& window) : m_window(window) {}

CDvdSteps::~CDvdSteps()
{
    Stop();
}

void CDvdSteps::Reset()
{
    m_nConvertIndex = 0;
    m_MpegList.clear();
    m_MpegSources.clear();
}

bool CDvdSteps::HandleStage(WPARAM wParam, LPARAM lParam)
{
    if (wParam == 0) {
        if (lParam < m_window.GetVideoCount()) {
            m_window.SetStatus("Now convert " + m_window.GetVideoPath(static_cast<int>(lParam)) + " to mpeg file... ");
            StartConversion();
        } else {
            m_window.SetStatus("Now author dvd image...");
            m_window.PostMessage(WM_BURN_STAGE, 1, 0);
        }
        return true;
    }
    if (wParam == 1) {
        WriteAuthoringFiles();
        return true;
    }
    return false;
}

void CDvdSteps::StartConversion()
{
    // Read here, on the window's thread, and handed to the worker.
    Conversion conversion {m_window.GetVideoPath(m_nConvertIndex), m_window.GetProgramFolder(), m_window.GetTvFormat()};
    // A chapter can only begin where a group of pictures does; an unreadable log is said when the
    // chapters are written.
    std::string strError;
    if (m_window.GetChapters())
        ReadSlideChangeTimes(conversion.strInput, &conversion.chapterMs, &strError);
    StartWorker([this, conversion](std::stop_token stop) { RunConversion(stop, conversion); });
}

void CDvdSteps::WriteAuthoringFiles()
{
    const std::string strWork = m_window.GetOutputFolder();
    m_strXmlPath = strWork + kControlFileName;
    m_strDvdPath = strWork + kDvdFolderName;
    m_strBatchPath = strWork + kBatchFileName;
    const std::vector<std::vector<long long>> chapters =
        m_window.GetChapters() ? ReadChapters(m_window.GetTvFormat()) : std::vector<std::vector<long long>> {};
    if (!WriteTextFile(m_strXmlPath, ControlFileText(m_MpegList, chapters))) {
        platform::AfxMessageBox("Write xml file error! ");
        return;
    }
    const std::string strProgramFolder = m_window.GetProgramFolder();
    if (!WriteTextFile(m_strBatchPath, AuthoringScriptText(strProgramFolder, m_strDvdPath, m_strXmlPath,
                                                           m_window.GetTvFormat()))) {
        platform::AfxMessageBox("Write .bat file error! ");
        return;
    }
    StartWorker([this, strBatch = m_strBatchPath, strAr = strProgramFolder + "ar",
                 strDvd = m_strDvdPath](std::stop_token stop) { RunAuthoring(stop, strBatch, strAr, strDvd); });
}

std::vector<std::vector<long long>> CDvdSteps::ReadChapters(int nTvFormat)
{
    // dvdauthor starts a chapter at the last group of pictures that begins at or before its time.
    // The key frame forced at a slide change may fall on the frame after it: a frame later, the
    // chapter still takes that group and not the one before, which shows the previous slide.
    const long long nFrameMs = nTvFormat == TV_FORMAT_NTSC ? 34 : 40;
    std::vector<std::vector<long long>> chapters;
    for (const std::string& strVideo : m_MpegSources) {
        std::vector<long long>& times = chapters.emplace_back();
        std::string strError;
        if (!ReadSlideChangeTimes(strVideo, &times, &strError)) {
            m_window.AddLogLine("No chapters for " + strVideo + ": its slide timing log " +
                                recording::TimingLogPath(strVideo) + " cannot be read (" + strError + ").");
            times.clear();
            continue;
        }
        for (long long& ms : times)
            if (ms > 0)
                ms += nFrameMs;
    }
    return chapters;
}

void CDvdSteps::Stop()
{
    m_worker.request_stop();
    if (m_worker.joinable())
        m_worker.join();
}

void CDvdSteps::StartWorker(std::function<void(std::stop_token)> work)
{
    // The previous worker's stage post was its last act: it has ended or is about to.
    if (m_worker.joinable())
        m_worker.join();
    m_worker = std::jthread(std::move(work));
}

UINT CDvdSteps::RunConversion(std::stop_token stop, const Conversion& conversion)
{
    const std::string strBase = platform::GetTempFileName(platform::GetTempPath(), "tesk_");
    if (strBase.empty()) {
        Log(stop, "Cannot create a temporary file in " + platform::GetTempPath() + ": " + conversion.strInput +
                      " is left out of the DVD.");
    } else {
        const std::string strMpeg = strBase + ".mpg";
        const std::vector<std::string> command =
            EncoderCommand(conversion.strProgramFolder, conversion.strInput, strBase, conversion.nTvFormat,
                           conversion.chapterMs);
        const platform::CapturedRun run = platform::RunCaptured(
            command, kConversionPauseMs, [&](std::string_view chunk) { Log(stop, std::string(chunk)); }, stop);
        if (ReportStartFailure(run, command[0], "ffmpeg"))
            return 0;
        std::error_code ec;
        if (run.m_nExitCode != 0) {
            // A killed encoder or a full disk leaves a cut file: it must not go on the disc.
            std::filesystem::remove(strMpeg, ec);
            Log(stop, "Converting " + conversion.strInput + " failed (" + ExitText(run.m_nExitCode) +
                          "): the file is left out of the DVD.");
        } else if (std::filesystem::exists(strMpeg, ec)) {
            m_MpegList.push_back(strMpeg);
            m_MpegSources.push_back(conversion.strInput);
        }
    }
    if (stop.stop_requested())
        return 1;
    ++m_nConvertIndex;
    m_window.PostMessage(WM_BURN_STAGE, 0, m_nConvertIndex);
    return 1;
}

UINT CDvdSteps::RunAuthoring(std::stop_token stop, const std::string& strBatch, const std::string& strArPath,
                             const std::string& strDvdPath)
{
    const platform::CapturedRun run = platform::RunCaptured(
        AuthoringScriptCommand(strBatch), kAuthoringPauseMs, [&](std::string_view chunk) { Log(stop, std::string(chunk)); },
        stop);
    if (ReportStartFailure(run, {}, nullptr))
        return 0;
    if (run.m_nExitCode != 0) {
        // What a failed or stopped authoring left is not a DVD: without a VIDEO_TS folder the
        // burn step says that it has nothing to burn instead of burning half a tree.
        std::error_code ec;
        std::filesystem::remove_all(strDvdPath + "/VIDEO_TS", ec);
        if (stop.stop_requested())
            return 1;
        const std::string strMissing = MissingToolText(strArPath, "dvdauthor");
        if (!strMissing.empty())
            Log(stop, strMissing);
        Log(stop, "Authoring the DVD failed (" + ExitText(run.m_nExitCode) + ").");
    }
    if (stop.stop_requested())
        return 1;
    m_window.SetStatus("Now burn to DVD...");
    m_window.PostMessage(WM_BURN_STAGE, 2, 0);
    return 1;
}

bool CDvdSteps::ReportStartFailure(const platform::CapturedRun& run, const std::string& strTool, const char* szPackage)
{
    switch (run.m_start) {
    case platform::CapturedStart::Started:
        return false;
    case platform::CapturedStart::PipeFailed:
        m_window.ReportFailure("Error On CreatePipe()");
        return true;
    case platform::CapturedStart::ProcessFailed:
        if (szPackage != nullptr) {
            const std::string strMissing = MissingToolText(strTool, szPackage);
            if (!strMissing.empty())
                m_window.AddLogLine(strMissing);
        }
        m_window.ReportFailure("Error on CreateProcess()");
        return true;
    }
    return true;
}

void CDvdSteps::Log(std::stop_token stop, const std::string& strText)
{
    if (!stop.stop_requested())
        m_window.AddLogLine(strText);
}
