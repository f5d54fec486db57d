#include "platform/session/PrivateDisplay.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace platform::session {

namespace {
constexpr int kStartTimeoutMs = 20000;
}

CPrivateDisplay::CPrivateDisplay() = default;

CPrivateDisplay::~CPrivateDisplay()
{
    Stop();
}

bool CPrivateDisplay::Start(int width, int height, std::string* error)
{
    return StartScreen(std::to_string(width) + "x" + std::to_string(height) + "x24", {}, error);
}

bool CPrivateDisplay::StartScreen(const std::string& geometry, const std::vector<std::string>& extraArgs,
                                  std::string* error)
{
    CPrivateFolder folder("vantorel-xvfb");
    const std::string log = folder.Path().empty() ? std::string() : folder.Path() + "/xvfb.log";
    // The server writes its display number, and a line end, once it accepts clients.
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        *error = "no pipe for Xvfb";
        return false;
    }
    ServerCommand command;
    command.argv = {"Xvfb", "-displayfd", "3", "-screen", "0", geometry, "-nolisten", "tcp", "-noreset"};
    command.argv.insert(command.argv.end(), extraArgs.begin(), extraArgs.end());
    command.logPath = log;
    command.passFd = ready[1];
    if (!m_server.Start(command, error)) {
        close(ready[0]);
        close(ready[1]);
        if (error->find(std::strerror(ENOENT)) != std::string::npos)
            *error += " (install the Debian package xvfb)";
        return false;
    }
    close(ready[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p {ready[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char c;
        if (read(ready[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(ready[0]);
    if (number.empty()) {
        const std::string said = log.empty() ? std::string() : LogTail(log);
        *error = "Xvfb did not start" + (said.empty() ? std::string(".") : ": " + said);
        m_server.Stop();
        return false;
    }
    m_strDisplay = ":" + number;
    m_pEnvironment = std::make_unique<CScopedEnvironment>();
    m_pEnvironment->Set("DISPLAY", m_strDisplay.c_str());
    // Qt would take a Wayland session's socket over the X server.
    m_pEnvironment->Set("WAYLAND_DISPLAY", nullptr);
    return true;
}

void CPrivateDisplay::Stop()
{
    m_pEnvironment.reset();
    m_server.Stop();
    m_strDisplay.clear();
}

}  // namespace platform::session
