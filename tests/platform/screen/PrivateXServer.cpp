#include "platform/screen/PrivateXServer.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace screentest {

CPrivateXServer::CPrivateXServer(const std::string& geometry, const std::vector<std::string>& extraArgs)
{
    std::vector<std::string> args {"Xvfb", "-displayfd", "3", "-screen", "0", geometry, "-nolisten", "tcp", "-noreset"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    m_pid = fork();
    if (m_pid == 0) {
        // The child: the display number goes to the pipe's write end, as fd 3. A test killed on
        // its deadline takes its server with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(fds[1], 3);
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
        close(fds[0]);
        return;
    }
    std::string number;
    pollfd p {fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
        return;
    m_strDisplay = ":" + number;
    m_pEnv = std::make_unique<testsupport::ScopedEnv>("DISPLAY", m_strDisplay);
}

CPrivateXServer::~CPrivateXServer()
{
    m_pEnv.reset();
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

}  // namespace screentest
