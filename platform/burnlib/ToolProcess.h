#pragma once
// Runs an image-making tool (genisoimage, vcdimager) as a child process with its standard output
// and standard error in one pipe (RunCaptured), and waits for it. No shell: arguments are passed
// as they are.
#include <string>
#include <vector>

namespace platform::burnlib {

struct ToolResult {
    bool m_bStarted = false;  // false: the program could not be started (m_nErrno says why)
    int m_nErrno = 0;
    int m_nExitCode = -1;     // exit status; -1 when killed by a signal
    std::string m_strOutput;  // what the tool wrote, at most the last 64 KiB
};

ToolResult RunTool(const std::vector<std::string>& argv);

} // namespace platform::burnlib
