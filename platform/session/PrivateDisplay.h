#pragma once
// An X server of our own (Xvfb) for a run without a display: over ssh, in a container, from a
// script. The server picks a free display number itself (-displayfd), listens on no network
// port, and ends with this object (or with the process). While it lives DISPLAY names it; the old
// value comes back afterwards.
#include "platform/session/ServerProcess.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::session {

class CPrivateDisplay {
public:
    CPrivateDisplay();
    ~CPrivateDisplay();
    CPrivateDisplay(const CPrivateDisplay&) = delete;
    CPrivateDisplay& operator=(const CPrivateDisplay&) = delete;

    // Starts Xvfb with one 24-bit screen of width x height and waits (up to 20 s) for it to
    // accept clients; false with the reason in *error (Xvfb missing, or what it said as it
    // ended).
    bool Start(int width, int height, std::string* error);
    // The same with Xvfb's own screen geometry ("640x480x16") and further arguments as they are.
    bool StartScreen(const std::string& geometry, const std::vector<std::string>& extraArgs, std::string* error);
    void Stop();

    // ":N" while it runs.
    const std::string& Display() const { return m_strDisplay; }

private:
    CServerProcess m_server;
    std::string m_strDisplay;
    std::unique_ptr<CScopedEnvironment> m_pEnvironment;
};

}  // namespace platform::session
