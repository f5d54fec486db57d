#include "common/ReportFailure.h"

#include "common/EventLog.h"

#include <cstdio>

void ReportFailure(const char* text, bool toLog)
{
    if (toLog) {
        CEventLog log;
        log.Write(text, true);
    } else {
        // The default caption of a box without an owner.
        std::fprintf(stderr, "Error: %s\n", text ? text : "");
    }
}
