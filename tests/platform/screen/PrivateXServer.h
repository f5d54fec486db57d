#pragma once
// Test support: an Xvfb of our own for one test, so that pixel comparisons never meet windows of
// tests running beside us. Sets DISPLAY while it lives and stops the server at the end.
#include "platform/session/PrivateDisplay.h"
#include "support/TempDir.h"

#include <string>
#include <vector>

namespace screentest {

class CPrivateXServer {
public:
    // geometry as for Xvfb -screen: "640x480x24"; extra arguments go to Xvfb as they are.
    explicit CPrivateXServer(const std::string& geometry, const std::vector<std::string>& extraArgs = {})
    {
        std::string error;
        m_display.StartScreen(geometry, extraArgs, &error);
    }

    bool IsRunning() const { return !m_display.Display().empty(); }
    const std::string& Display() const { return m_display.Display(); }

private:
    platform::session::CPrivateDisplay m_display;
};

}  // namespace screentest
