#include "platform/shell/RunCaptured.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

constexpr std::size_t kChunk = 4095;

class CPipe {
public:
    CPipe() { m_bOpen = ::pipe2(m_fds, O_CLOEXEC) == 0; }
    ~CPipe()
    {
        CloseRead();
        CloseWrite();
    }
    CPipe(const CPipe&) = delete;
    CPipe& operator=(const CPipe&) = delete;
    bool IsOpen() const { return m_bOpen; }
    int Read() const { return m_fds[0]; }
    int Write() const { return m_fds[1]; }
    void CloseRead() { Close(m_fds[0]); }
    void CloseWrite() { Close(m_fds[1]); }

private:
    static void Close(int& fd)
    {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    int m_fds[2] = {-1, -1};
    bool m_bOpen = false;
};

// The child's descriptors: both output streams on the pipe, input from /dev/null (a tool that
// reads keys must not take the terminal's), nothing else of ours.
class CSpawnActions {
public:
    CSpawnActions() { m_bOk = ::posix_spawn_file_actions_init(&m_actions) == 0; }
    ~CSpawnActions()
    {
        if (m_bOk)
            ::posix_spawn_file_actions_destroy(&m_actions);
    }
    CSpawnActions(const CSpawnActions&) = delete;
    CSpawnActions& operator=(const CSpawnActions&) = delete;
    bool Redirect(int writeFd)
    {
        bool ok = m_bOk && ::posix_spawn_file_actions_adddup2(&m_actions, writeFd, 1) == 0 &&
                  ::posix_spawn_file_actions_adddup2(&m_actions, writeFd, 2) == 0 &&
                  ::posix_spawn_file_actions_addopen(&m_actions, 0, "/dev/null", O_RDONLY, 0) == 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
        ok = ok && ::posix_spawn_file_actions_addclosefrom_np(&m_actions, 3) == 0;
#endif
        return ok;
    }
    const posix_spawn_file_actions_t* Get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
    bool m_bOk = false;
};

// A group of its own (so a stop reaches what the child starts), no blocked signals, and the
// signals the program ignores (SIGPIPE, SIGXFSZ) back at their defaults.
class CSpawnAttributes {
public:
    CSpawnAttributes()
    {
        m_bOk = ::posix_spawnattr_init(&m_attr) == 0;
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGXFSZ);
        m_bOk = m_bOk &&
                ::posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                        POSIX_SPAWN_SETSIGDEF) == 0 &&
                ::posix_spawnattr_setpgroup(&m_attr, 0) == 0 && ::posix_spawnattr_setsigmask(&m_attr, &none) == 0 &&
                ::posix_spawnattr_setsigdefault(&m_attr, &defaults) == 0;
    }
    ~CSpawnAttributes() { ::posix_spawnattr_destroy(&m_attr); }
    CSpawnAttributes(const CSpawnAttributes&) = delete;
    CSpawnAttributes& operator=(const CSpawnAttributes&) = delete;
    bool IsOk() const { return m_bOk; }
    const posix_spawnattr_t* Get() const { return &m_attr; }

private:
    posix_spawnattr_t m_attr;
    bool m_bOk = false;
};

// Sleeps for the pause, or less once every writer has closed the pipe (a poll for no event
// still reports the hang-up): what is left is then read at once, and the end seen, instead of a
// pause or two later. A stop ends the child, so it wakes the pause too.
void Pause(int fd, unsigned nPauseMs)
{
    if (nPauseMs == 0)
        return;
    pollfd hangUp {fd, 0, 0};
    ::poll(&hangUp, 1, static_cast<int>(nPauseMs));
}

} // namespace

CapturedRun RunCaptured(const std::vector<std::string>& argv, unsigned nPauseMs, const CapturedChunk& onChunk,
                        std::stop_token stop)
{
    CapturedRun run;
    if (argv.empty()) {
        run.m_nErrno = EINVAL;
        return run;
    }
    CPipe pipe;
    if (!pipe.IsOpen()) {
        run.m_start = CapturedStart::PipeFailed;
        run.m_nErrno = errno;
        return run;
    }
    CSpawnActions actions;
    CSpawnAttributes attributes;
    if (!actions.Redirect(pipe.Write()) || !attributes.IsOk()) {
        run.m_nErrno = errno != 0 ? errno : ENOMEM;
        return run;
    }
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    const int spawnError = ::posix_spawnp(&pid, args[0], actions.Get(), attributes.Get(), args.data(), environ);
    // Ours closed at once: the read ends as soon as the child's side has closed.
    pipe.CloseWrite();
    if (spawnError != 0) {
        run.m_nErrno = spawnError;
        return run;
    }
    run.m_start = CapturedStart::Started;
    {
        // Gone before the child is reaped, so the signal can never reach a group whose number
        // has been given to someone else.
        std::stop_callback terminate(stop, [pid] { ::kill(-pid, SIGTERM); });
        char buffer[kChunk + 1];
        for (;;) {
            const ssize_t n = ::read(pipe.Read(), buffer, kChunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            if (onChunk)
                onChunk(std::string_view(buffer, static_cast<std::size_t>(n)));
            Pause(pipe.Read(), nPauseMs);
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return run;
    }
    run.m_nExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace platform
