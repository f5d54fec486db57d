#include "platform/session/PrivateSoundServer.h"

#include "platform/pulse/PulseContext.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace platform::session {

namespace {

constexpr int kStartTimeoutMs = 10000;
// One block of a silent output at its idle latency, and a little more.
constexpr int kFirstBlockMs = 2500;

bool SocketAnswers(const std::string& path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    bool answers = false;
    if (path.size() < sizeof address.sun_path) {
        path.copy(address.sun_path, path.size());
        answers = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    close(fd);
    return answers;
}

}  // namespace

SoundServerSetup CPrivateSoundServer::ProgramSetup()
{
    return {std::string("load-module module-null-sink sink_name=") + kSinkName +
                " sink_properties=\"device.description='Vantorel Output'\"\n"
                "set-default-sink " + kSinkName + "\n"
                "set-default-source " + kSinkName + ".monitor\n",
            kSinkName};
}

CPrivateSoundServer::CPrivateSoundServer(SoundServerSetup setup) : m_setup(std::move(setup)) {}

CPrivateSoundServer::~CPrivateSoundServer()
{
    Stop();
}

bool CPrivateSoundServer::IsServerReachable(int timeoutMs)
{
    CPulseContext context;
    return SUCCEEDED(context.Connect("Vantorel", timeoutMs));
}

bool CPrivateSoundServer::Start(std::string* error)
{
    m_pFolder = std::make_unique<CPrivateFolder>("vantorel-pulse");
    const std::string root = m_pFolder->Path();
    if (root.empty()) {
        *error = "no folder for the sound server";
        return false;
    }
    for (const char* sub : {"/home", "/runtime", "/config", "/state"})
        mkdir((root + sub).c_str(), 0700);
    const std::string socketPath = root + "/native";
    const std::string script = root + "/server.pa";
    {
        std::ofstream file(script);
        file << m_setup.modules
             << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socketPath << "\n";
        if (!file.flush()) {
            *error = "cannot write " + script;
            return false;
        }
    }
    ServerCommand command;
    command.argv = {"pulseaudio", "--system=false", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                    "--disallow-module-loading=no", "-n", "-F", script};
    // Its own home and runtime folders; no session bus and no display, which D-Bus would use to
    // start a bus of its own.
    command.environment = {{"HOME", root + "/home"},
                           {"XDG_RUNTIME_DIR", root + "/runtime"},
                           {"XDG_CONFIG_HOME", root + "/config"},
                           {"PULSE_RUNTIME_PATH", root + "/runtime/pulse"},
                           {"PULSE_STATE_PATH", root + "/state"},
                           {"PULSE_SERVER", std::nullopt},
                           {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
                           {"DISPLAY", std::nullopt}};
    command.logPath = root + "/server.log";
    if (!m_server.Start(command, error)) {
        if (error->find(std::strerror(ENOENT)) != std::string::npos)
            *error += " (install the Debian package pulseaudio)";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (!SocketAnswers(socketPath)) {
        if (!m_server.IsRunning() || std::chrono::steady_clock::now() >= deadline) {
            const std::string said = LogTail(command.logPath);
            *error = "the sound server did not start" + (said.empty() ? std::string(".") : ": " + said);
            Stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_strAddress = "unix:" + socketPath;

    ServerCommand keeper;
    keeper.argv = {"parec", "--latency-msec=20", "-d", m_setup.keptAwakeSink + ".monitor"};
    keeper.environment = {{"PULSE_SERVER", m_strAddress}, {"HOME", root + "/home"}, {"DISPLAY", std::nullopt}};
    keeper.logPath = "/dev/null";
    std::string keeperError;
    // Without parec (pulseaudio-utils) a recording's first sound may come late; it still records.
    if (m_keeper.Start(keeper, &keeperError))
        std::this_thread::sleep_for(std::chrono::milliseconds(kFirstBlockMs));

    m_pEnvironment = std::make_unique<CScopedEnvironment>();
    m_pEnvironment->Set("PULSE_SERVER", m_strAddress.c_str());
    return true;
}

std::string CPrivateSoundServer::Log() const
{
    if (!m_pFolder || m_pFolder->Path().empty())
        return {};
    std::ifstream file(m_pFolder->Path() + "/server.log");
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void CPrivateSoundServer::Stop()
{
    m_pEnvironment.reset();
    m_keeper.Stop();
    m_server.Stop();
    m_strAddress.clear();
    m_pFolder.reset();
}

}  // namespace platform::session
