#pragma once
// The burn window's first two steps: each video file of its list converted to DVD MPEG-2 by the
// encoder fg (ffmpeg), then the MPEG files authored into a VIDEO_TS tree by ar (dvdauthor) from a
// generated control file and script. Each run of a tool is a worker thread of its own; the
// workers hand control back only by posting WM_BURN_STAGE to the window. The window owns one
// object for the whole program run.
#include "dvd/DvdWindow.h"
#include "platform/shell/RunCaptured.h"

#include <functional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class CDvdSteps {
public:
    explicit CDvdSteps(IDvdWindow& window);
    // Stops a running worker (see Stop).
    ~CDvdSteps();
    CDvdSteps(const CDvdSteps&) = delete;
    CDvdSteps& operator=(const CDvdSteps&) = delete;

    // Start Burn: conversion index 0, empty MPEG list.
    void Reset();
    // WM_BURN_STAGE on the window's thread, stages 0 and 1: a conversion, or, after the last
    // file, the authoring. False for the stages that are not ours (2 and 3).
    bool HandleStage(WPARAM wParam, LPARAM lParam);
    // Stage 0: converts the file at the conversion index on a worker (RunConversion).
    void StartConversion();
    // Stage 1: writes the control file and the script in the output folder, then runs the
    // script on a worker (RunAuthoring). A file that cannot be written is shown and ends the run.
    // With chapters, each MPEG's chapters come from the timing log of the video it was made
    // from; a video without a readable log gets none, and the log list says why.
    void WriteAuthoringFiles();
    // Ends the running worker's tool (SIGTERM to its process group) and waits for the worker;
    // a stopped worker calls the window no more. For the program's end (the destructor calls it).
    void Stop();

    int GetConversionIndex() const { return m_nConvertIndex; }
    const std::vector<std::string>& GetMpegList() const { return m_MpegList; }
    // The video each MPEG was made from, parallel to the MPEG list.
    const std::vector<std::string>& GetMpegSources() const { return m_MpegSources; }
    const std::string& GetDvdPath() const { return m_strDvdPath; }
    const std::string& GetBatchPath() const { return m_strBatchPath; }
    const std::string& GetXmlPath() const { return m_strXmlPath; }

private:
    struct Conversion {
        std::string strInput;
        std::string strProgramFolder;
        int nTvFormat = TV_FORMAT_PAL;
        std::vector<long long> chapterMs;  // the slide changes, when the DVD gets chapters
    };

    // The worker bodies. 1 after a run, 0 when the child was not started.
    UINT RunConversion(std::stop_token stop, const Conversion& conversion);
    UINT RunAuthoring(std::stop_token stop, const std::string& strBatch, const std::string& strArPath,
                      const std::string& strDvdPath);
    // The chapter times of each MPEG, from its video's timing log.
    std::vector<std::vector<long long>> ReadChapters(int nTvFormat);
    // Shows why the child did not start (naming szPackage when the tool is missing); false when
    // it did.
    bool ReportStartFailure(const platform::CapturedRun& run, const std::string& strTool, const char* szPackage);
    void StartWorker(std::function<void(std::stop_token)> work);
    void Log(std::stop_token stop, const std::string& strText);

    IDvdWindow& m_window;
    int m_nConvertIndex = 0;
    std::vector<std::string> m_MpegList;
    std::vector<std::string> m_MpegSources;
    std::string m_strDvdPath;
    std::string m_strBatchPath;
    std::string m_strXmlPath;
    std::jthread m_worker;
};
