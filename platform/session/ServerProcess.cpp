#include "platform/session/ServerProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform::session {

namespace {

// The child's environment: ours with the command's changes, built before the fork (between fork
// and exec only async-signal-safe calls may be made).
std::vector<std::string> ChildEnvironment(const ServerCommand& command)
{
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool changed = false;
        for (const auto& [key, value] : command.environment)
            changed = changed || key == name;
        if (!changed)
            env.push_back(entry);
    }
    for (const auto& [key, value] : command.environment)
        if (value)
            env.push_back(key + "=" + *value);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

CServerProcess::~CServerProcess()
{
    Stop();
}

bool CServerProcess::Start(const ServerCommand& command, std::string* error)
{
    if (command.argv.empty()) {
        *error = "no program";
        return false;
    }
    std::vector<std::string> args = command.argv;
    std::vector<std::string> env = ChildEnvironment(command);
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    const std::string log = command.logPath.empty() ? "/dev/null" : command.logPath;

    // The exec's failure comes back through a pipe that a successful exec closes.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);  // we died before the death signal was set
        setpgid(0, 0);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in >= 0)
            dup2(in, 0);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        if (command.passFd >= 0)
            dup2(command.passFd, 3);  // dup2 clears close-on-exec on the copy
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        execvpe(argv[0], argv.data(), envp.data());
        const int e = errno;
        (void)!write(report[1], &e, sizeof e);
        _exit(127);
    }
    close(report[1]);
    if (pid < 0) {
        *error = std::strerror(errno);
        close(report[0]);
        return false;
    }
    int execErrno = 0;
    ssize_t n;
    while ((n = read(report[0], &execErrno, sizeof execErrno)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    m_pid = pid;
    if (n == static_cast<ssize_t>(sizeof execErrno)) {
        Stop();
        *error = command.argv[0] + ": " + std::strerror(execErrno);
        return false;
    }
    return true;
}

bool CServerProcess::IsRunning()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    const pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid || (r < 0 && errno == ECHILD)) {
        m_pid = -1;
        return false;
    }
    return true;
}

void CServerProcess::Stop(int timeoutMs)
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || (r < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}

CScopedEnvironment::~CScopedEnvironment()
{
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->had)
            setenv(it->name.c_str(), it->value.c_str(), 1);
        else
            unsetenv(it->name.c_str());
    }
}

void CScopedEnvironment::Set(const char* name, const char* value)
{
    const char* old = std::getenv(name);
    m_saved.push_back({name, old != nullptr, old ? old : ""});
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

CPrivateFolder::CPrivateFolder(const char* prefix)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()))
        m_strPath = pattern;
}

CPrivateFolder::~CPrivateFolder()
{
    std::error_code ec;
    if (!m_strPath.empty())
        std::filesystem::remove_all(m_strPath, ec);
}

std::string LogTail(const std::string& path, std::size_t maxBytes)
{
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (text.size() > maxBytes)
        text = text.substr(text.size() - maxBytes);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace platform::session
