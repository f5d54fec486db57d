#pragma once
// The out-values every library call fills: exception text, status and failure record. A failure
// takes its cause from libburn's message queue when libburn reported one during the call.
#include "platform/burnlib/StarBurn.h"

#include <string>

namespace platform::burnlib {

class CCallOutput {
public:
    CCallOutput(char* text, ULONG size, ULONG* status, CDB_FAILURE_INFORMATION* failure);

    // Drops libburn messages left over from earlier calls, so a failure names its own cause.
    static void DiscardPendingMessages();

    EXCEPTION_NUMBER Succeed();
    // what: the failed step in the layer's words. osErrno: an errno of our own, if any.
    EXCEPTION_NUMBER Fail(EXCEPTION_NUMBER exception, const std::string& what, int osErrno = 0);

private:
    void SetText(const std::string& text);

    char* m_pText;
    ULONG m_ulSize;
    ULONG* m_pStatus;
    CDB_FAILURE_INFORMATION* m_pFailure;
};

} // namespace platform::burnlib
