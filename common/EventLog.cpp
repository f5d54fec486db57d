#include "common/EventLog.h"

#include "platform/shell/Places.h"

#include <cerrno>

CEventLog::CEventLog() : m_strPath(platform::GetEventLogPath()) {}

CEventLog::~CEventLog()
{
    Close();
}

void CEventLog::Open()
{
    // The default log lives in a folder of its own that may not exist yet.
    if (m_strPath == platform::GetEventLogPath()) {
        auto slash = m_strPath.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            // The folder check is ours, not the open's: keep its errno out of the line.
            int saved = errno;
            platform::CreateFolders(m_strPath.substr(0, slash));
            errno = saved;
        }
    }
    m_pStream = std::fopen(m_strPath.c_str(), "a");
}

bool CEventLog::Write(const char* text, bool closeAfter)
{
    if (!text)
        return false;
    if (!m_pStream)
        Open();
    // Read after the open attempt, so the code can tell why the open failed.
    int errCode = errno;

    std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    std::string stamp = FormatTimeStamp(utc, errCode);

    if (m_pStream) {
        std::fprintf(m_pStream, "%s %s\n", stamp.c_str(), text);
        if (closeAfter)
            Close();
    }
    return true;
}

bool CEventLog::SetPath(const char* path)
{
    if (!path)
        return false;
    if (m_pStream) {
        Close();
        m_strPath = path;
        Open();
    } else {
        m_strPath = path;
    }
    return true;
}

void CEventLog::Close()
{
    if (m_pStream) {
        std::fclose(m_pStream);
        m_pStream = nullptr;
    }
}

std::string CEventLog::FormatTimeStamp(const std::tm& utc, int errCode)
{
    char buf[52];
    std::snprintf(buf, sizeof buf, "%d-%d-%d %d:%d:%d ErrCode:%d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, errCode);
    return buf;
}
