#pragma once
// Test support: a server socket that lets connections wait in its backlog, unanswered, as a
// stuck or stopped server does, and counts them.
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace testsupport {

class CSilentSocket {
public:
    explicit CSilentSocket(const std::string& path)
    {
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        path.copy(addr.sun_path, sizeof(addr.sun_path) - 1);
        m_bOk = m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 && listen(m_fd, 64) == 0;
    }
    ~CSilentSocket()
    {
        if (m_fd >= 0) close(m_fd);
    }
    CSilentSocket(const CSilentSocket&) = delete;
    CSilentSocket& operator=(const CSilentSocket&) = delete;

    bool Ok() const { return m_bOk; }
    // The connection attempts waiting since the last call, taken off the backlog.
    int TakeConnections()
    {
        int n = 0;
        for (int c; (c = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ++n) close(c);
        return n;
    }

private:
    int m_fd = -1;
    bool m_bOk = false;
};

}  // namespace testsupport
