#include "options/HyperlinkShell.h"

#include "platform/shell/ShellExecute.h"
#include "platform/shell/SpawnDetached.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace options {
namespace {

// Closes a descriptor when it goes out of scope.
class CFd {
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd() { Reset(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    void Reset()
    {
        if (m_fd >= 0)
            (void)close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

void WaitFor(pid_t pid, int* status)
{
    int dummy = 0;
    while (waitpid(pid, status ? status : &dummy, 0) < 0 && errno == EINTR) {
    }
}

std::vector<char*> Argv(std::vector<std::string>& words)
{
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    return argv;
}

// Runs a program and returns its standard output (at most limit bytes); false when it could
// not run or did not exit with 0.
bool RunAndCapture(std::vector<std::string> words, std::string& output, std::size_t limit = 4096)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    CFd readEnd(fds[0]);
    CFd writeEnd(fds[1]);
    std::vector<char*> argv = Argv(words);
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 2);
        }
        dup2(writeEnd.Get(), 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    writeEnd.Reset();
    output.clear();
    char buf[512];
    for (;;) {
        ssize_t n = read(readEnd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (output.size() < limit)
            output.append(buf, std::min(static_cast<std::size_t>(n), limit - output.size()));
    }
    int status = 0;
    WaitFor(pid, &status);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Trim(const std::string& s)
{
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") + 1 - b);
}

std::vector<std::string> ApplicationFolders()
{
    std::vector<std::string> folders;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/') {
        folders.push_back(std::string(dataHome) + "/applications/");
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        folders.push_back(std::string(home) + "/.local/share/applications/");
    }
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dirs && *dirs ? dirs : "/usr/local/share/:/usr/share/";
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        std::string dir = list.substr(start, end - start);
        if (!dir.empty() && dir[0] == '/')
            folders.push_back(dir + (dir.back() == '/' ? "" : "/") + "applications/");
        start = end + 1;
    }
    return folders;
}

// The Exec line of the [Desktop Entry] group of a desktop file.
bool ReadExecLine(const std::string& path, std::string& exec)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (inEntry && line.rfind("Exec", 0) == 0) {
            std::string rest = Trim(line.substr(4));
            if (!rest.empty() && rest[0] == '=') {
                exec = Trim(rest.substr(1));
                return !exec.empty();
            }
        }
    }
    return false;
}

UINT ExecErrorCode(int err)
{
    switch (err) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES:
    case EPERM: return 5;
    case ENOEXEC: return 11;
    default: return 0;
    }
}

} // namespace

bool SplitCommandLine(const std::string& command, std::vector<std::string>& words)
{
    words.clear();
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < command.size(); ++i) {
        char c = command[i];
        if (quoted) {
            if (c == '\\' && i + 1 < command.size() && std::string("\"`$\\").find(command[i + 1]) != std::string::npos)
                word += command[++i];
            else if (c == '"')
                quoted = false;
            else
                word += c;
            continue;
        }
        if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '"') {
            quoted = true;
        } else if (c == '%' && i + 1 < command.size()) {
            if (command[++i] == '%')
                word += '%';
        } else {
            word += c;
        }
    }
    if (quoted)
        return false;
    // A word made only of a dropped field code is no word.
    if (inWord && !word.empty())
        words.push_back(word);
    std::erase_if(words, [](const std::string& w) { return w.empty(); });
    return !words.empty();
}

INT_PTR CDesktopHyperlinkShell::ShellOpen(const std::string& url)
{
    return platform::ShellExecute("open", url);
}

bool CDesktopHyperlinkShell::QueryHtmlOpenCommand(std::string& command)
{
    std::string xdgMime = platform::FindOnPath("xdg-mime");
    std::string id;
    if (xdgMime.empty() || !RunAndCapture({xdgMime, "query", "default", "text/html"}, id))
        return false;
    id = Trim(id);
    // A desktop id is a plain file name; anything else is not looked up.
    if (id.empty() || id.find('/') != std::string::npos || id.find('\n') != std::string::npos)
        return false;
    for (const std::string& folder : ApplicationFolders())
        if (ReadExecLine(folder + id, command))
            return true;
    return false;
}

UINT CDesktopHyperlinkShell::WinExec(const std::string& command, const std::string& url, int nCmdShow)
{
    (void)nCmdShow; // the started program places its own window
    std::vector<std::string> words;
    if (!SplitCommandLine(command, words))
        return 2;
    words.push_back(url);
    int err = 0;
    switch (platform::SpawnDetached(words, &err)) {
    case platform::SpawnResult::Started: return 33;
    case platform::SpawnResult::ExecFailed: return ExecErrorCode(err);
    default: return 0;
    }
}

} // namespace options
