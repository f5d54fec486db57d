#include "common/ReportFailure.h"

#include "common/EventLog.h"
#include "platform/ui/MessageBox.h"

void ReportFailure(const char* text, bool toLog)
{
    if (toLog) {
        CEventLog log;
        log.Write(text, true);
    } else {
        platform::MessageBox(0, text, nullptr, platform::MB_OK);
    }
}
