#pragma once
// What the conversion and authoring steps need of the burn window; the window implements it.
#include "platform/base/WinTypes.h"

#include <string>

// Format index: the Format list holds "PAL" then "NTSC".
constexpr int TV_FORMAT_PAL = 0;
constexpr int TV_FORMAT_NTSC = 1;

class IDvdWindow {
public:
    virtual ~IDvdWindow() = default;

    // Read on the window's thread only, when a step starts.
    // The video list: full paths of the video files, in the list's order.
    virtual int GetVideoCount() = 0;
    virtual std::string GetVideoPath(int nIndex) = 0;
    // The stored Format index m_nTvFormat (TV_FORMAT_PAL or TV_FORMAT_NTSC).
    virtual int GetTvFormat() = 0;
    // The program folder and the output folder of the output options, each as the owners give
    // them (the program folder ends with '/').
    virtual std::string GetProgramFolder() = 0;
    virtual std::string GetOutputFolder() = 0;
    // A chapter at every slide change, from each video's timing log ("NAME_NNN.slides.csv").
    virtual bool GetChapters() = 0;

    // Called from the workers. None of them may wait for the window's thread (queue, do not
    // send): the window's thread joins a worker when the steps stop or the next one starts.
    // Log line: one entry at the end of the log list (the window adds the time prefix).
    virtual void AddLogLine(const std::string& strText) = 0;
    // Status line: the status text, also added to the log list.
    virtual void SetStatus(const std::string& strText) = 0;
    // A failure the user must see: a message box without owner and with the default caption,
    // shown on the window's own thread. The worker ends right after, without a stage post.
    virtual void ReportFailure(const std::string& strText) = 0;
    // Thread-safe post to the window's own thread (WM_BURN_STAGE).
    virtual void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};
