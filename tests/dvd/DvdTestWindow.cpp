#include "DvdTestWindow.h"

#include "burner/BurnJob.h"

bool CDvdTestWindow::RunSteps(CDvdSteps& steps, std::chrono::seconds deadline)
{
    steps.Reset();
    PostMessage(WM_BURN_STAGE, 0, 0);
    for (;;) {
        std::pair<WPARAM, LPARAM> post;
        {
            std::unique_lock lock(m_mutex);
            if (!m_changed.wait_for(lock, deadline, [this] { return !m_Queue.empty() || !m_Failures.empty(); }) ||
                m_Queue.empty())
                return false;
            post = m_Queue.front();
            m_Queue.pop_front();
        }
        if (post.first == 2)
            return true;
        steps.HandleStage(post.first, post.second);
    }
}

std::string CDvdTestWindow::Log() const
{
    std::string all;
    for (const std::string& entry : m_Log)
        all += entry;
    return all;
}

void CDvdTestWindow::AddLogLine(const std::string& strText)
{
    std::lock_guard lock(m_mutex);
    m_Log.push_back(strText);
}

void CDvdTestWindow::SetStatus(const std::string& strText)
{
    std::lock_guard lock(m_mutex);
    m_Statuses.push_back(strText);
    m_Log.push_back(strText);
}

void CDvdTestWindow::ReportFailure(const std::string& strText)
{
    std::lock_guard lock(m_mutex);
    m_Failures.push_back(strText);
    m_changed.notify_all();
}

void CDvdTestWindow::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard lock(m_mutex);
    if (message == WM_BURN_STAGE) {
        m_Posts.emplace_back(wParam, lParam);
        m_Queue.emplace_back(wParam, lParam);
    }
    m_changed.notify_all();
}
