#pragma once
// The program's own command line, beyond the COM options: the options that do their work and end
// the program instead of opening the main window (--help, --version), and the files to put in the
// presentation list. Every option is one row of one table, which --help lists.
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct CommandLineOption {
    const char* name;      // written after "-", "--" or "/", in any case
    const char* argument;  // the name of its argument in the help text; null: it takes none
    const char* help;
    // Does the option's work instead of the program's window and returns the exit status; null
    // for an option that only changes how the program starts ("Embedding", "Automation").
    std::function<int(const std::vector<std::string>& arguments)> run;
    // The option takes every word after it as its arguments ("--repair FILE...").
    bool takesRest = false;
    // Lines the help lists below the option (its own options), or null.
    std::string (*moreHelp)() = nullptr;
};

// A path named on the command line made absolute and normal (against the working folder); as
// written when that fails.
std::string AbsoluteArgument(const std::string& path);

class CVantorelCommandLine {
public:
    CVantorelCommandLine();
    CVantorelCommandLine(const CVantorelCommandLine&) = delete;
    CVantorelCommandLine& operator=(const CVantorelCommandLine&) = delete;

    // Reads argv: the first option that runs on its own, the plain parameters (after "--" every
    // word is one), and the faults. A "/word" that names no option is a path.
    void Parse(int argc, const char* const* argv);

    // Runs the option found, if any, and returns its status.
    std::optional<int> RunImmediate() const;
    // Tells each fault (unknown option, missing argument) on errors; true when there was one.
    bool ReportFaults(std::FILE* errors) const;
    // What ends the start before any window: the option run (its status), or the faults told on
    // stderr (2). Empty when the program goes on to its window.
    std::optional<int> EndBeforeWindow() const;

    // The plain parameters as absolute paths, in their order.
    const std::vector<std::string>& GetFiles() const { return m_files; }
    const std::vector<CommandLineOption>& GetOptions() const { return m_options; }
    std::string HelpText() const;

private:
    std::vector<CommandLineOption> m_options;
    const CommandLineOption* m_pRun = nullptr;
    std::vector<std::string> m_runArguments;
    std::vector<std::string> m_files;
    std::vector<std::string> m_faults;
};
