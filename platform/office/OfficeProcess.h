#pragma once
// The office as a child process of ours: soffice.bin on $DISPLAY, accepting UNO connections on a
// pipe of its own, with a private profile. Profiles live in numbered slots that are reused (a
// known profile starts in well under a second) and locked, so two instances never share one.
// Whenever the process has ended, however it ended (even killed by another caller), what it
// would have removed at a clean exit is removed once it is reaped: the profile's lock file, its
// temporary folder and the sockets of its pipes. The pipes of an office that went down with its
// program (killed, crashed) are removed by the next start.
#include <string>
#include <sys/types.h>
#include <vector>

namespace office {

class COfficeProcess {
public:
    COfficeProcess() = default;
    ~COfficeProcess();  // kills the process if still running and reaps it
    COfficeProcess(const COfficeProcess&) = delete;
    COfficeProcess& operator=(const COfficeProcess&) = delete;

    // False with the reason in *error when no profile slot is free or the program cannot run.
    bool Start(std::string* error);
    bool IsRunning();
    // Waits up to timeoutMs for the process to end; true once it has been reaped.
    bool WaitExit(int timeoutMs);
    void Kill();
    // Notes the office's listening sockets (its pipes, in /tmp), for removal once it has ended.
    // Called once it accepts connections.
    void RememberPipes();

    pid_t Pid() const { return m_pid; }
    // The exit code of the process that ended last (-1 while running or when killed by a signal).
    // 81 asks for a restart: the office does that after setting up a new profile.
    int ExitCode() const { return m_nExitCode; }
    const std::string& PipeName() const { return m_strPipe; }
    // The profile folder in use (empty before the first start).
    const std::string& Profile() const { return m_strProfile; }

    // The folder the office keeps its temporary files in (its TMPDIR).
    std::string TempFolder() const { return m_strProfile.empty() ? "" : m_strProfile + ".tmp"; }

private:
    bool LockProfileSlot(std::string* error);
    // The process has been reaped: take the exit status and clear up after it.
    void Ended(int status, bool reaped);

    pid_t m_pid = -1;
    int m_nLockFd = -1;
    int m_nExitCode = -1;
    std::string m_strPipe;
    std::string m_strProfile;
    std::vector<std::string> m_pipes;
};

// The folder that holds the profile slots: $VANTOREL_OFFICE_PROFILES, else
// ${XDG_CACHE_HOME:-~/.cache}/vantorel/office.
std::string OfficeProfileRoot();

}  // namespace office
