#pragma once
// Starts a program that outlives us and is never waited for: a double fork, the grandchild in a
// session of its own with its standard streams on /dev/null. No shell is involved.
#include <string>
#include <vector>

namespace platform {

enum class SpawnResult {
    Started,      // the program is running
    ExecFailed,   // it could not be started; execErrno says why
    NoResources,  // no process or pipe could be made
};

// argv[0] is looked up on $PATH when it holds no '/'.
SpawnResult SpawnDetached(const std::vector<std::string>& argv, int* execErrno = nullptr);

} // namespace platform
