#include "platform/burnlib/ToolProcess.h"

#include "platform/shell/RunCaptured.h"

namespace platform::burnlib {

namespace {

constexpr std::size_t kMaxOutput = 64 * 1024;

} // namespace

ToolResult RunTool(const std::vector<std::string>& argv)
{
    ToolResult result;
    const CapturedRun run = RunCaptured(argv, 0, [&result](std::string_view chunk) {
        result.m_strOutput.append(chunk);
        if (result.m_strOutput.size() > kMaxOutput)
            result.m_strOutput.erase(0, result.m_strOutput.size() - kMaxOutput);
    });
    result.m_bStarted = run.m_start == CapturedStart::Started;
    result.m_nErrno = run.m_nErrno;
    result.m_nExitCode = run.m_nExitCode;
    return result;
}

} // namespace platform::burnlib
