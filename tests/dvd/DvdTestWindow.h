#pragma once
// The burn window as the DVD steps see it, without a window: the video list, the options and the
// log are plain members, and the stage posts are handled on the caller's thread as the window's
// thread handles them (stages 0 and 1 by the steps; stage 2 ends the run). Shared by the tests
// and the dvd benchmark.
#include "dvd/DvdSteps.h"
#include "dvd/DvdWindow.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CDvdTestWindow : public IDvdWindow {
public:
    std::vector<std::string> m_Videos;
    int m_nTvFormat = TV_FORMAT_PAL;
    std::string m_strProgramFolder;
    std::string m_strOutputFolder;
    bool m_bChapters = false;

    // Start Burn (Reset, stage 0 with lParam 0), then every post in turn until stage 2 arrives
    // (true), a failure is reported or no post comes within the deadline (false).
    bool RunSteps(CDvdSteps& steps, std::chrono::seconds deadline = std::chrono::seconds(120));

    // What the steps said, in order. Only while no worker runs (after RunSteps or Stop).
    std::vector<std::string> m_Log;       // log lines, status lines included
    std::vector<std::string> m_Statuses;
    std::vector<std::string> m_Failures;  // message boxes
    std::vector<std::pair<WPARAM, LPARAM>> m_Posts;
    std::string Log() const;              // every entry, one after another

    int GetVideoCount() override { return static_cast<int>(m_Videos.size()); }
    std::string GetVideoPath(int nIndex) override { return m_Videos.at(nIndex); }
    int GetTvFormat() override { return m_nTvFormat; }
    std::string GetProgramFolder() override { return m_strProgramFolder; }
    std::string GetOutputFolder() override { return m_strOutputFolder; }
    bool GetChapters() override { return m_bChapters; }
    void AddLogLine(const std::string& strText) override;
    void SetStatus(const std::string& strText) override;
    void ReportFailure(const std::string& strText) override;
    void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<WPARAM, LPARAM>> m_Queue;
};
