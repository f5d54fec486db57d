#include "platform/burnlib/CallOutput.h"

#include <libburn/libburn.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

namespace platform::burnlib {

using namespace burn;

namespace {

// libburn's message queue is one for the process.
std::mutex& QueueMutex()
{
    static std::mutex mutex;
    return mutex;
}

struct LibburnMessage {
    bool m_bFound = false;
    int m_nErrorCode = 0;
    int m_nOsErrno = 0;
    std::string m_strText;
    std::string m_strSeverity;
};

// The last queued message of severity SORRY or worse: the one that explains the failure.
LibburnMessage TakeWorstMessage()
{
    std::lock_guard<std::mutex> lock(QueueMutex());
    LibburnMessage message;
    int code = 0;
    int osErrno = 0;
    char text[BURN_MSGS_MESSAGE_LEN];
    char severity[80];
    char minimum[] = "SORRY";
    while (burn_msgs_obtain(minimum, &code, text, &osErrno, severity) == 1) {
        message.m_bFound = true;
        message.m_nErrorCode = code;
        message.m_nOsErrno = osErrno;
        message.m_strText = text;
        message.m_strSeverity = severity;
    }
    return message;
}

} // namespace

CCallOutput::CCallOutput(char* text, ULONG size, ULONG* status, CDB_FAILURE_INFORMATION* failure)
    : m_pText(text), m_ulSize(size), m_pStatus(status), m_pFailure(failure)
{
}

void CCallOutput::DiscardPendingMessages()
{
    std::lock_guard<std::mutex> lock(QueueMutex());
    int code = 0;
    int osErrno = 0;
    char text[BURN_MSGS_MESSAGE_LEN];
    char severity[80];
    char never[] = "NEVER";
    burn_msgs_obtain(never, &code, text, &osErrno, severity);
}

void CCallOutput::SetText(const std::string& text)
{
    if (m_pText != nullptr && m_ulSize > 0) {
        std::snprintf(m_pText, m_ulSize, "%s", text.c_str());
    }
}

EXCEPTION_NUMBER CCallOutput::Succeed()
{
    SetText("");
    if (m_pStatus != nullptr) {
        *m_pStatus = 0;
    }
    if (m_pFailure != nullptr) {
        *m_pFailure = CDB_FAILURE_INFORMATION{};
    }
    return EN_SUCCESS;
}

EXCEPTION_NUMBER CCallOutput::Fail(EXCEPTION_NUMBER exception, const std::string& what, int osErrno)
{
    const LibburnMessage message = TakeWorstMessage();
    std::string text = what;
    if (message.m_bFound) {
        text += ": " + message.m_strText;
    } else if (osErrno != 0) {
        text += ": " + std::generic_category().message(osErrno);
    }
    SetText(text);
    const int errnoValue = message.m_bFound && message.m_nOsErrno != 0 ? message.m_nOsErrno : osErrno;
    if (m_pStatus != nullptr) {
        *m_pStatus = message.m_bFound ? static_cast<ULONG>(message.m_nErrorCode)
                                      : static_cast<ULONG>(errnoValue);
    }
    if (m_pFailure != nullptr) {
        CDB_FAILURE_INFORMATION failure{};
        failure.m_lErrorCode = message.m_nErrorCode;
        failure.m_lOsErrno = errnoValue;
        std::snprintf(failure.m_szSeverity, sizeof failure.m_szSeverity, "%s",
                      message.m_bFound ? message.m_strSeverity.c_str() : "FAILURE");
        *m_pFailure = failure;
    }
    return exception;
}

} // namespace platform::burnlib
