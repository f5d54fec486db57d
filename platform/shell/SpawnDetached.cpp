#include "platform/shell/SpawnDetached.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

SpawnResult SpawnDetached(const std::vector<std::string>& args, int* execErrno)
{
    if (args.empty())
        return SpawnResult::NoResources;
    // Everything the children use is made before the fork: after it only async-signal-safe calls.
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful exec closes it.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return SpawnResult::NoResources;
    pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return SpawnResult::NoResources;
    }
    if (child == 0) {
        close(fds[0]);
        setsid();
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        pid_t grandchild = fork();
        if (grandchild == 0) {
            execvp(argv[0], argv.data());
            int err = errno;
            (void)!write(fds[1], &err, sizeof err);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(fds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    SpawnResult result = SpawnResult::Started;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result = SpawnResult::NoResources;
    } else {
        int err = 0;
        ssize_t n;
        while ((n = read(fds[0], &err, sizeof err)) < 0 && errno == EINTR) {
        }
        if (n == static_cast<ssize_t>(sizeof err)) {
            result = SpawnResult::ExecFailed;
            if (execErrno)
                *execErrno = err;
        }
    }
    close(fds[0]);
    return result;
}

} // namespace platform
