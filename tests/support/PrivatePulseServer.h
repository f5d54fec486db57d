#pragma once
// Test support: a PulseAudio server of our own for one test, on a private socket in a temporary
// folder, so tests never meet the user's sound server or each other. It has a silent null
// output (kSinkName, the default sink), a second null output on which a sine tone plays
// (kToneSinkName: its monitor carries the tone in real time - a recorder of our own keeps the
// output at a short latency, since a null output left alone works in two-second blocks and
// takes one block to adopt a shorter latency) and a sine source
// (kSineSourceName, the default source; it hands its data over in blocks of two seconds, so it
// suits listing, not timing). While it lives PULSE_SERVER names it (the old value comes back afterwards);
// the destructor stops it.
//
// The server ends with the thread that made it (and with the process, should it crash).
//
//     testsupport::PrivatePulseServer pulse;
//     ASSERT_TRUE(pulse.IsRunning()) << pulse.Log();
#include "platform/session/PrivateSoundServer.h"
#include "support/TempDir.h"

#include <string>

namespace testsupport {

class PrivatePulseServer {
public:
    static constexpr const char* kSinkName = "vantorel_null";
    static constexpr const char* kSinkDescription = "Vantorel Null Output";
    // The monitor of the null sink, as the server describes it.
    static constexpr const char* kMonitorDescription = "Monitor of Vantorel Null Output";
    static constexpr const char* kSineSourceName = "vantorel_sine";
    static constexpr const char* kToneSinkName = "vantorel_tone";
    static constexpr const char* kToneMonitorDescription = "Monitor of Vantorel Tone Output";

    // The sine source and the tone play sineFrequency Hz. Waits up to 10 s for the server and
    // about 2.5 s more for the tone's output to settle.
    explicit PrivatePulseServer(int sineFrequency = 440);
    ~PrivatePulseServer();
    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    bool IsRunning() const { return m_bReady; }
    // "unix:/tmp/.../native", as PULSE_SERVER takes it.
    const std::string& Address() const { return m_server.Address(); }
    // The sine source's description ("Sine source at 440 Hz").
    std::string SineDescription() const;
    // What the server wrote so far (for failure messages).
    std::string Log() const;
    // Stops the server early (a test of a server that goes away).
    void Stop();

private:
    int m_nFrequency;
    platform::session::CPrivateSoundServer m_server;
    bool m_bReady = false;
    std::string m_strError;
};

}  // namespace testsupport
