#pragma once
// Starts a program that outlives us and is never waited for: a double fork, the grandchild in a
// session of its own with its standard streams on /dev/null. No shell is involved.
#include <string>
#include <vector>

namespace platform {

enum class SpawnResult {
    Started,      // the program is running
    Exited,       // it ended within the watch; *exitCode says how
    ExecFailed,   // it could not be started; execErrno says why
    NoResources,  // no process or pipe could be made
};

// argv[0] is looked up on $PATH when it holds no '/'. With watchMs, the call also waits up to
// that long for the program to end (a launcher that fails says so at once) and reports its exit
// status (-1 when a signal ended it); a program still running then goes on detached.
SpawnResult SpawnDetached(const std::vector<std::string>& argv, int* execErrno = nullptr, unsigned watchMs = 0,
                          int* exitCode = nullptr);

} // namespace platform
