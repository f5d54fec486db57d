#pragma once
// A PulseAudio server of our own for a run where none answers (a container, a login over ssh):
// one silent output, "Vantorel Output", whose monitor is the default input, so a recording with
// sound records what the presentation plays. Its files live in a private folder; the server ends
// with this object (or with the process). While it lives PULSE_SERVER names it.
//
// A silent output works in two-second blocks until a client asks for less, and a recording would
// get its first sound late: a recorder of our own (parec) keeps the monitor at a short latency
// from the start.
#include "platform/session/ServerProcess.h"

#include <memory>
#include <string>

namespace platform::session {

// What a server offers: the module lines of its script (the socket's module is loaded after
// them, so that a client that reaches it finds them all), and the output whose monitor a
// recorder keeps at a short latency.
struct SoundServerSetup {
    std::string modules;
    std::string keptAwakeSink;
};

class CPrivateSoundServer {
public:
    static constexpr const char* kSinkName = "vantorel_output";

    // The program's: one silent output, whose monitor is the default input.
    static SoundServerSetup ProgramSetup();

    explicit CPrivateSoundServer(SoundServerSetup setup = ProgramSetup());
    ~CPrivateSoundServer();
    CPrivateSoundServer(const CPrivateSoundServer&) = delete;
    CPrivateSoundServer& operator=(const CPrivateSoundServer&) = delete;

    // True when a sound server answers (PULSE_SERVER, or the session's) within timeoutMs.
    static bool IsServerReachable(int timeoutMs = 2000);

    // Starts the server and waits (up to 10 s) until it accepts clients, then for its output's
    // first block; false with the reason in *error.
    bool Start(std::string* error);
    void Stop();

    // "unix:<folder>/native" while it runs.
    const std::string& Address() const { return m_strAddress; }
    // What the server has written so far, while it runs.
    std::string Log() const;

private:
    SoundServerSetup m_setup;
    std::unique_ptr<CPrivateFolder> m_pFolder;
    CServerProcess m_server;
    CServerProcess m_keeper;
    std::string m_strAddress;
    std::unique_ptr<CScopedEnvironment> m_pEnvironment;
};

}  // namespace platform::session
