#pragma once
// How the capture filter reports a failure: into the event log (toLog), or else in the message
// box the platform shows where no window can be: "Error: <text>" on standard error. The filter
// module links no window toolkit, so it cannot show a window of its own.
void ReportFailure(const char* text, bool toLog);
