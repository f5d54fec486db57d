#include "HookTestSupport.h"

#include <QApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace hooktest {

namespace {

class CDisplayEnvironment : public ::testing::Environment {
public:
    void TearDown() override
    {
        m_pApp.reset();
        m_pServer.reset();
    }
    bool Start()
    {
        if (m_pApp)
            return true;
        m_pServer = std::make_unique<screentest::CPrivateXServer>("1280x1024x24");
        if (!m_pServer->IsRunning())
            return false;
        static int argc = 1;
        static char name[] = "hook-test";
        static char* argv[] = {name, nullptr};
        m_pApp = std::make_unique<QApplication>(argc, argv);
        return true;
    }

private:
    std::unique_ptr<screentest::CPrivateXServer> m_pServer;
    std::unique_ptr<QApplication> m_pApp;
};

// Registered before the tests run, so both end after the last one; started on first use only, so
// listing the tests needs no display.
auto* const g_pEnvironment = static_cast<CDisplayEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new CDisplayEnvironment));

}  // namespace

bool StartDisplay()
{
    return g_pEnvironment->Start();
}

bool Xdotool(std::initializer_list<std::string> args)
{
    std::vector<std::string> words {"xdotool"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace hooktest
