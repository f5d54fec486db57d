#pragma once
// How the capture filter reports a failure: into the event log (toLog), or in a message box
// with no owner and the default caption.
void ReportFailure(const char* text, bool toLog);
