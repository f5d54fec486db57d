#pragma once
// A server program that we start and that must end with us, with what it needs around it: a
// private folder for its files and the environment variables that name it.
//
// The process is a child of ours in a process group of its own, killed by the kernel should we
// die first (PR_SET_PDEATHSIG), ended by Stop or the destructor (SIGTERM, then SIGKILL after a
// deadline) and reaped. No shell is involved.
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace platform::session {

struct ServerCommand {
    // argv[0] is looked up on $PATH when it holds no '/'.
    std::vector<std::string> argv;
    // Variables set (a value) or removed (none) for the child; the rest is ours.
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;
    // Standard output and standard error go here (created or truncated); empty: /dev/null.
    std::string logPath;
    // A descriptor of ours handed to the child as its descriptor 3, or -1.
    int passFd = -1;
};

class CServerProcess {
public:
    CServerProcess() = default;
    ~CServerProcess();
    CServerProcess(const CServerProcess&) = delete;
    CServerProcess& operator=(const CServerProcess&) = delete;

    // Starts the program; false with the reason in *error when it could not be started (the
    // program is missing, no process could be made). Must not be running already.
    bool Start(const ServerCommand& command, std::string* error);
    // True while the program runs; reaps it once it has ended.
    bool IsRunning();
    // Ends it: SIGTERM, SIGKILL after timeoutMs; nothing when not running.
    void Stop(int timeoutMs = 3000);
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

// Sets environment variables for its lifetime; the old values (or their absence) come back at
// the end.
class CScopedEnvironment {
public:
    CScopedEnvironment() = default;
    ~CScopedEnvironment();
    CScopedEnvironment(const CScopedEnvironment&) = delete;
    CScopedEnvironment& operator=(const CScopedEnvironment&) = delete;

    // Sets name (value) or removes it (null).
    void Set(const char* name, const char* value);

private:
    struct Saved {
        std::string name;
        bool had = false;
        std::string value;
    };
    std::vector<Saved> m_saved;
};

// A private folder (mode 0700) under the temporary folder, removed with everything in it at the
// end; empty path when none could be made.
class CPrivateFolder {
public:
    explicit CPrivateFolder(const char* prefix);
    ~CPrivateFolder();
    CPrivateFolder(const CPrivateFolder&) = delete;
    CPrivateFolder& operator=(const CPrivateFolder&) = delete;
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// The last lines a server wrote before it failed, for the error text.
std::string LogTail(const std::string& path, std::size_t maxBytes = 600);

}  // namespace platform::session
