#include "platform/burnlib/ToolProcess.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform::burnlib {

namespace {

constexpr std::size_t kMaxOutput = 64 * 1024;

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

class CSpawnActions {
public:
    CSpawnActions() { m_bOk = ::posix_spawn_file_actions_init(&m_actions) == 0; }
    ~CSpawnActions()
    {
        if (m_bOk) {
            ::posix_spawn_file_actions_destroy(&m_actions);
        }
    }
    CSpawnActions(const CSpawnActions&) = delete;
    CSpawnActions& operator=(const CSpawnActions&) = delete;
    bool Redirect(int writeFd)
    {
        return m_bOk && ::posix_spawn_file_actions_adddup2(&m_actions, writeFd, 1) == 0 &&
               ::posix_spawn_file_actions_adddup2(&m_actions, writeFd, 2) == 0 &&
               ::posix_spawn_file_actions_addopen(&m_actions, 0, "/dev/null", O_RDONLY, 0) == 0;
    }
    const posix_spawn_file_actions_t* Get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
    bool m_bOk = false;
};

} // namespace

ToolResult RunTool(const std::vector<std::string>& argv)
{
    ToolResult result;
    if (argv.empty()) {
        result.m_nErrno = EINVAL;
        return result;
    }
    CPipe pipe;
    CSpawnActions actions;
    if (!pipe.IsOpen() || !actions.Redirect(pipe.Write())) {
        result.m_nErrno = errno != 0 ? errno : EIO;
        return result;
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    pid_t pid = -1;
    const int spawnError = ::posix_spawnp(&pid, args[0], actions.Get(), nullptr, args.data(), environ);
    pipe.CloseWrite();
    if (spawnError != 0) {
        result.m_nErrno = spawnError;
        return result;
    }
    result.m_bStarted = true;

    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipe.Read(), buffer, sizeof buffer);
        if (n > 0) {
            result.m_strOutput.append(buffer, static_cast<std::size_t>(n));
            if (result.m_strOutput.size() > kMaxOutput) {
                result.m_strOutput.erase(0, result.m_strOutput.size() - kMaxOutput);
            }
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.m_nErrno = errno;
            return result;
        }
    }
    result.m_nExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace platform::burnlib
