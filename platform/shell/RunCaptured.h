#pragma once
// Runs a child process with its standard output and standard error on one pipe and hands what
// it writes to the caller, read by read. No shell: the arguments reach the program as they are.
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class CapturedStart {
    Started,        // the child ran; m_nExitCode says how it ended
    PipeFailed,     // no pipe could be made (m_nErrno says why)
    ProcessFailed,  // the program could not be started (m_nErrno says why: ENOENT, EACCES ...)
};

struct CapturedRun {
    CapturedStart m_start = CapturedStart::ProcessFailed;
    int m_nErrno = 0;
    int m_nExitCode = -1;  // the child's exit status; -1 when a signal ended it
};

// Called once per read with exactly the bytes that read returned (1 to 4095 of them).
using CapturedChunk = std::function<void(std::string_view)>;

// Starts argv[0] (looked up on $PATH when it holds no '/') in a process group of its own, with
// standard input on /dev/null and every other descriptor of ours closed; closes our write end at
// once and reads until the child and everything it started have closed theirs, sleeping nPauseMs
// after each read (less once they have all closed it); then reaps the child. A stop request sends
// SIGTERM to the child's process group; the pipe is still read to its end, so the child is always
// reaped.
CapturedRun RunCaptured(const std::vector<std::string>& argv, unsigned nPauseMs, const CapturedChunk& onChunk,
                        std::stop_token stop = {});

} // namespace platform
