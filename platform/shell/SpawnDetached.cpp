#include "platform/shell/SpawnDetached.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

// What the children report through the pipe: the grandchild a failed exec, the intermediate
// child the grandchild's end within the watch.
struct Report {
    enum Kind : int { ExecErrno = 1, ExitStatus = 2 } kind;
    int value;
};

long long NowMs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// In the intermediate child (only async-signal-safe calls): waits up to watchMs for the
// grandchild and reports how it ended.
void Watch(pid_t grandchild, unsigned watchMs, int reportFd)
{
    const long long deadline = NowMs() + watchMs;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(grandchild, &status, WNOHANG);
        if (done == grandchild) {
            Report report {Report::ExitStatus, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
            (void)!write(reportFd, &report, sizeof report);
            return;
        }
        if ((done < 0 && errno != EINTR) || NowMs() >= deadline)
            return;  // still running: it goes on without us
        timespec pause {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

} // namespace

SpawnResult SpawnDetached(const std::vector<std::string>& args, int* execErrno, unsigned watchMs, int* exitCode)
{
    if (args.empty())
        return SpawnResult::NoResources;
    // Everything the children use is made before the fork: after it only async-signal-safe calls.
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The children report through this pipe; a successful exec closes the grandchild's end.
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
            Report report {Report::ExecErrno, errno};
            (void)!write(fds[1], &report, sizeof report);
            _exit(127);
        }
        if (grandchild > 0 && watchMs > 0)
            Watch(grandchild, watchMs, fds[1]);
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
        Report report {};
        ssize_t n;
        while ((n = read(fds[0], &report, sizeof report)) != 0) {
            if (n < 0 && errno == EINTR)
                continue;
            if (n != static_cast<ssize_t>(sizeof report))
                break;
            if (report.kind == Report::ExecErrno) {
                result = SpawnResult::ExecFailed;
                if (execErrno)
                    *execErrno = report.value;
                break;  // its exit status says nothing more
            }
            result = SpawnResult::Exited;
            if (exitCode)
                *exitCode = report.value;
        }
    }
    close(fds[0]);
    return result;
}

} // namespace platform
