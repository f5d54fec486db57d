#include "support/PrivatePulseServer.h"

namespace testsupport {

namespace {

platform::session::SoundServerSetup TestSetup(int sineFrequency)
{
    using Server = PrivatePulseServer;
    const std::string frequency = std::to_string(sineFrequency);
    return {std::string("load-module module-null-sink sink_name=") + Server::kSinkName +
                " sink_properties=\"device.description='" + Server::kSinkDescription + "'\"\n"
                "load-module module-sine-source source_name=" + Server::kSineSourceName +
                " rate=44100 frequency=" + frequency + "\n"
                "load-module module-null-sink sink_name=" + Server::kToneSinkName +
                " sink_properties=\"device.description='Vantorel Tone Output'\"\n"
                "load-module module-sine sink=" + Server::kToneSinkName + " frequency=" + frequency + "\n"
                "set-default-sink " + Server::kSinkName + "\n"
                "set-default-source " + Server::kSineSourceName + "\n",
            Server::kToneSinkName};
}

}  // namespace

PrivatePulseServer::PrivatePulseServer(int sineFrequency)
    : m_nFrequency(sineFrequency), m_server(TestSetup(sineFrequency))
{
    m_bReady = m_server.Start(&m_strError);
}

PrivatePulseServer::~PrivatePulseServer()
{
    Stop();
}

void PrivatePulseServer::Stop()
{
    m_bReady = false;
    m_server.Stop();
}

std::string PrivatePulseServer::SineDescription() const
{
    return "Sine source at " + std::to_string(m_nFrequency) + " Hz";
}

std::string PrivatePulseServer::Log() const
{
    return m_strError + m_server.Log();
}

}  // namespace testsupport
