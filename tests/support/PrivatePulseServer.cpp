#include "support/PrivatePulseServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

namespace {

// The server answers once its socket accepts: the protocol module is loaded last.
bool SocketAnswers(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) {
        close(fd);
        return false;
    }
    path.copy(addr.sun_path, path.size());
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    close(fd);
    return ok;
}

void StopChild(pid_t& pid)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid = -1;
}

}  // namespace

PrivatePulseServer::PrivatePulseServer(int sineFrequency) : m_nFrequency(sineFrequency)
{
    namespace fs = std::filesystem;
    const fs::path& root = m_dir.path();
    for (const char* sub : {"home", "runtime", "config", "state"}) fs::create_directories(root / sub);
    fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    const std::string socketPath = (root / "native").string();
    WriteFile(m_dir.file("server.pa"),
              "load-module module-null-sink sink_name=" + std::string(kSinkName) +
                  " sink_properties=\"device.description='" + kSinkDescription + "'\"\n"
                  "load-module module-sine-source source_name=" + kSineSourceName +
                  " rate=44100 frequency=" + std::to_string(sineFrequency) + "\n"
                  "load-module module-null-sink sink_name=" + kToneSinkName +
                  " sink_properties=\"device.description='Vantorel Tone Output'\"\n"
                  "load-module module-sine sink=" + kToneSinkName + " frequency=" + std::to_string(sineFrequency) + "\n"
                  "set-default-sink " + kSinkName + "\n"
                  "set-default-source " + kSineSourceName + "\n"
                  "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socketPath + "\n");

    const std::string script = m_dir.file("server.pa");
    const std::string log = m_dir.file("server.log");
    m_pid = fork();
    if (m_pid == 0) {
        // Ends with the test process, even when that one crashes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        setenv("HOME", (root / "home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (root / "runtime" / "pulse").c_str(), 1);
        setenv("PULSE_STATE_PATH", (root / "state").c_str(), 1);
        unsetenv("PULSE_SERVER");
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        // Without a bus address D-Bus would start one on the X display, shared by every server
        // of the tests on that display, and the second server could not take its bus name.
        unsetenv("DISPLAY");
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = open("/dev/null", O_RDONLY);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        if (in >= 0) dup2(in, 0);
        execlp("pulseaudio", "pulseaudio", "--system=false", "--daemonize=no", "--exit-idle-time=-1",
               "--use-pid-file=no", "--disallow-module-loading=no", "-n", "-F", script.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    if (m_pid < 0) return;

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (SocketAnswers(socketPath)) {
            m_bReady = true;
            break;
        }
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;  // it gave up; Log() tells why
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!m_bReady) return;
    m_strAddress = "unix:" + socketPath;

    m_keeperPid = fork();
    if (m_keeperPid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        setenv("PULSE_SERVER", m_strAddress.c_str(), 1);
        setenv("HOME", (root / "home").c_str(), 1);
        unsetenv("DISPLAY");
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        const std::string monitor = std::string(kToneSinkName) + ".monitor";
        execlp("parec", "parec", "--latency-msec=20", "-d", monitor.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The output's first block, still at the long latency, must pass.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    m_pEnv = std::make_unique<ScopedEnv>("PULSE_SERVER", m_strAddress);
}

PrivatePulseServer::~PrivatePulseServer()
{
    Stop();
}

void PrivatePulseServer::Stop()
{
    m_pEnv.reset();
    m_bReady = false;
    StopChild(m_keeperPid);
    StopChild(m_pid);
}

std::string PrivatePulseServer::SineDescription() const
{
    return "Sine source at " + std::to_string(m_nFrequency) + " Hz";
}

std::string PrivatePulseServer::Log() const
{
    return ReadFile(m_dir.file("server.log"));
}

}  // namespace testsupport
