#include "platform/office/OfficeProcess.h"
#include "platform/base/PollUntil.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/prctl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace office {

namespace {
constexpr const char* kOfficeProgram = "/usr/lib/libreoffice/program/soffice.bin";
constexpr int kProfileSlots = 16;

bool MakeFolders(const std::string& path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            std::string part = path.substr(0, pos);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

// The inodes of the sockets a process holds open.
std::set<unsigned long> SocketInodes(pid_t pid)
{
    std::set<unsigned long> inodes;
    std::error_code ec;
    std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", ec);
    for (; !ec && fds != std::filesystem::directory_iterator(); fds.increment(ec)) {
        std::string target = std::filesystem::read_symlink(fds->path(), ec).string();
        if (!ec && target.rfind("socket:[", 0) == 0)
            inodes.insert(std::strtoul(target.c_str() + 8, nullptr, 10));
        ec.clear();
    }
    return inodes;
}

constexpr const char* kPipePrefix = "vantorel_office_";

// The sockets of our pipes whose process has ended without clearing up (killed with us).
void RemoveDeadPipes()
{
    std::string prefix = "OSL_PIPE_" + std::to_string(getuid()) + "_" + kPipePrefix;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/tmp", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0)
            continue;
        pid_t owner = static_cast<pid_t>(std::strtol(name.c_str() + prefix.size(), nullptr, 10));
        if (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH)
            unlink(it->path().c_str());
    }
}
}  // namespace

std::string OfficeProfileRoot()
{
    if (const char* over = std::getenv("VANTOREL_OFFICE_PROFILES"); over && *over)
        return over;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
        return std::string(cache) + "/vantorel/office";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.cache/vantorel/office";
}

// The office's pipes are listening Unix sockets named /tmp/OSL_PIPE_<uid>_<name>: its own
// single-instance pipe and the one we connect through. A killed office leaves their files.
void COfficeProcess::RememberPipes()
{
    if (m_pid <= 0)
        return;
    auto inodes = SocketInodes(m_pid);
    std::ifstream table("/proc/net/unix");
    std::string line;
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string num, refCount, protocol, flags, type, state, path;
        unsigned long inode = 0;
        if (!(fields >> num >> refCount >> protocol >> flags >> type >> state >> inode >> path))
            continue;
        if (inodes.count(inode) && path.rfind("/tmp/OSL_PIPE_", 0) == 0
            && std::find(m_pipes.begin(), m_pipes.end(), path) == m_pipes.end())
            m_pipes.push_back(path);
    }
}

void COfficeProcess::Ended(int status, bool reaped)
{
    m_nExitCode = reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    for (const auto& pipe : m_pipes)
        unlink(pipe.c_str());
    m_pipes.clear();
    if (!m_strProfile.empty()) {
        unlink((m_strProfile + "/.lock").c_str());
        std::error_code ec;
        std::filesystem::remove_all(TempFolder(), ec);
    }
}

COfficeProcess::~COfficeProcess()
{
    Kill();
    if (m_nLockFd >= 0)
        close(m_nLockFd);
}

bool COfficeProcess::LockProfileSlot(std::string* error)
{
    std::string root = OfficeProfileRoot();
    if (!MakeFolders(root)) {
        *error = "cannot create " + root + ": " + std::strerror(errno);
        return false;
    }
    for (int slot = 0; slot < kProfileSlots; ++slot) {
        std::string lock = root + "/slot" + std::to_string(slot) + ".lock";
        int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_nLockFd = fd;
            m_strProfile = root + "/slot" + std::to_string(slot);
            return true;
        }
        close(fd);
    }
    *error = "no free office profile in " + root;
    return false;
}

bool COfficeProcess::Start(std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    if (m_nLockFd < 0 && !LockProfileSlot(error))
        return false;
    static std::atomic<int> s_nCounter {0};
    RemoveDeadPipes();
    m_strPipe = kPipePrefix + std::to_string(getpid()) + "_" + std::to_string(++s_nCounter);

    std::vector<std::string> args {
        kOfficeProgram,
        "--accept=pipe,name=" + m_strPipe + ";urp;StarOffice.ComponentContext",
        "--norestore", "--nologo", "--nodefault", "--nolockcheck", "--nofirststartwizard",
        "-env:UserInstallation=file://" + m_strProfile};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // Its temporary files in a folder of the slot's own, cleared when it ends: a killed office
    // would leave them in /tmp.
    std::error_code ec;
    std::filesystem::remove_all(TempFolder(), ec);
    if (mkdir(TempFolder().c_str(), 0700) != 0) {
        *error = "cannot create " + TempFolder() + ": " + std::strerror(errno);
        return false;
    }

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "SAL_USE_VCLPLUGIN=", 18) != 0 && std::strncmp(*e, "TMPDIR=", 7) != 0)
            env.emplace_back(*e);
    // The plain X11 back-end: one top-level X window per frame, nothing from a desktop toolkit.
    env.emplace_back("SAL_USE_VCLPLUGIN=gen");
    env.emplace_back("TMPDIR=" + TempFolder());
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    // fork and exec rather than posix_spawn: the child asks to be killed when we die, so an
    // office never outlives us and never keeps a profile slot busy that we think is free.
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        execve(kOfficeProgram, argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0) {
        *error = std::string("cannot start the office: ") + std::strerror(errno);
        return false;
    }
    m_pid = pid;
    m_nExitCode = -1;
    return true;
}

bool COfficeProcess::IsRunning()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid || (r < 0 && errno == ECHILD)) {
        Ended(status, r == m_pid);
        return false;
    }
    return true;
}

bool COfficeProcess::WaitExit(int timeoutMs)
{
    return platform::PollUntil([this] { return !IsRunning(); }, std::chrono::milliseconds(timeoutMs),
                               std::chrono::milliseconds(20));
}

void COfficeProcess::Kill()
{
    if (!IsRunning())
        return;
    kill(m_pid, SIGKILL);
    int status = 0;
    pid_t r;
    while ((r = waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
    }
    Ended(status, r == m_pid);
}

}  // namespace office
