#pragma once
// The event log both deliverables append their failures to: one line per failure,
// "<year>-<month>-<day> <hour>:<minute>:<second> ErrCode:<errno> <text>", UTC, nothing padded.
//
// An instance is used by one thread. Writers create one where they report a failure, write one
// line with closeAfter set and destroy it, so each line is on disk when the writer returns.
// The log never reports its own failures: a path that cannot be opened makes Write a no-op.
#include <cstdio>
#include <ctime>
#include <string>

class CEventLog {
public:
    CEventLog();
    virtual ~CEventLog();
    CEventLog(const CEventLog&) = delete;
    CEventLog& operator=(const CEventLog&) = delete;

    // False only for a null text; true also when the file could not be opened.
    bool Write(const char* text, bool closeAfter);
    // False for a null path. An open log is closed and reopened on the new path.
    bool SetPath(const char* path);
    void Close();

    // "%d-%d-%d %d:%d:%d ErrCode:%d" of a UTC time and an error code.
    static std::string FormatTimeStamp(const std::tm& utc, int errCode);

private:
    void Open();

    std::FILE* m_pStream = nullptr;
    std::string m_strPath;
};
