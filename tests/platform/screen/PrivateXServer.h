#pragma once
// Test support: an Xvfb of our own for one test, so that pixel comparisons never meet windows of
// tests running beside us. Sets DISPLAY while it lives and stops the server at the end.
#include "support/TempDir.h"

#include <memory>
#include <string>
#include <vector>
#include <sys/types.h>

namespace screentest {

class CPrivateXServer {
public:
    // geometry as for Xvfb -screen: "640x480x24"; extra arguments go to Xvfb as they are.
    explicit CPrivateXServer(const std::string& geometry, const std::vector<std::string>& extraArgs = {});
    ~CPrivateXServer();
    CPrivateXServer(const CPrivateXServer&) = delete;
    CPrivateXServer& operator=(const CPrivateXServer&) = delete;

    bool IsRunning() const { return m_pid > 0 && !m_strDisplay.empty(); }
    const std::string& Display() const { return m_strDisplay; }

private:
    pid_t m_pid = -1;
    std::string m_strDisplay;
    std::unique_ptr<testsupport::ScopedEnv> m_pEnv;
};

}  // namespace screentest
