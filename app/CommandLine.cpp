#include "app/CommandLine.h"

#include "app/RecordCommand.h"
#include "app/RecordRequest.h"
#include "app/RepairCommand.h"
#include "app/Resource.h"
#include "platform/automation/CommandLineInfo.h"

#include <algorithm>
#include <filesystem>
#include <strings.h>

std::string AbsoluteArgument(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

CVantorelCommandLine::CVantorelCommandLine()
{
    m_options = {
        {"help", nullptr, "Shows this help and ends.",
         [this](const std::vector<std::string>&) {
             std::fputs(HelpText().c_str(), stdout);
             return 0;
         }},
        {"version", nullptr, "Shows the version and ends.",
         [](const std::vector<std::string>&) {
             std::printf("Vantorel %s\n", LoadString(IDS_VERSION).c_str());
             return 0;
         }},
        {"repair", "FILE...", "Repairs recordings that a crash left unfinished, then ends.",
         [](const std::vector<std::string>& files) { return RunRepairCommand(files, stdout, stderr); },
         true},
        {"record", "[OPTION]... FILE...",
         "Records the presentations one after another, unattended, then ends. Options:",
         [](const std::vector<std::string>& words) { return RunRecordCommand(words); }, true, RecordOptionsHelp},
        {"Automation", nullptr, "Started by the session bus to serve an automation client.", nullptr},
        {"Embedding", nullptr, "The same as -Automation.", nullptr},
    };
}

void CVantorelCommandLine::Parse(int argc, const char* const* argv)
{
    m_pRun = nullptr;
    m_files.clear();
    m_faults.clear();
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg || !*arg)
            continue;
        const char* name = onlyFiles ? nullptr : platform::OptionName(arg);
        if (name && std::string(arg) == "--") {
            onlyFiles = true;
            continue;
        }
        const CommandLineOption* option = nullptr;
        for (const CommandLineOption& o : m_options)
            if (name && strcasecmp(name, o.name) == 0)
                option = &o;
        if (!option && name && arg[0] == '-') {
            m_faults.push_back(std::string("unknown option ") + arg);
            continue;
        }
        if (!option) {
            m_files.push_back(AbsoluteArgument(arg));
            continue;
        }
        std::vector<std::string> arguments;
        if (option->takesRest) {
            while (i + 1 < argc)
                arguments.push_back(argv[++i]);
        } else if (option->argument) {
            if (i + 1 >= argc) {
                m_faults.push_back(std::string("the option ") + arg + " needs " + option->argument);
                continue;
            }
            arguments.push_back(argv[++i]);
        }
        if (option->run && !m_pRun) {
            m_pRun = option;
            m_runArguments = std::move(arguments);
        }
    }
}

std::optional<int> CVantorelCommandLine::RunImmediate() const
{
    if (!m_pRun)
        return std::nullopt;
    return m_pRun->run(m_runArguments);
}

bool CVantorelCommandLine::ReportFaults(std::FILE* errors) const
{
    for (const std::string& fault : m_faults)
        std::fprintf(errors, "vantorel: %s\n", fault.c_str());
    if (!m_faults.empty())
        std::fprintf(errors, "Try 'vantorel --help'.\n");
    return !m_faults.empty();
}

std::string CVantorelCommandLine::HelpText() const
{
    std::string text =
        "Usage: vantorel [OPTION]... [FILE]...\n"
        "Records the slide shows of presentations into video files and burns them to DVD.\n"
        "The FILEs (.ppt, .pps, .pptx, .odp) are put in the presentation list.\n"
        "\n"
        "Options (after -, -- or /, in any case):\n";
    for (const CommandLineOption& o : m_options) {
        std::string left = std::string("  --") + o.name + (o.argument ? std::string(" ") + o.argument : "");
        // A long option and its arguments get a line of their own.
        left = left.size() + 2 > 24 ? left + "\n" + std::string(24, ' ') : left + std::string(24 - left.size(), ' ');
        text += left + o.help + "\n";
        if (o.moreHelp)
            text += o.moreHelp();
    }
    text += "\n"
            "With --record, each event is one line on standard output (file, slide, written, timings,\n"
            "dvd, done) and each error one line on standard error naming its file. Exit status:\n"
            "0 every file recorded (and the DVD made), 1 some failed (the rest is kept), 2 bad arguments.\n";
    return text;
}

std::optional<int> CVantorelCommandLine::EndBeforeWindow() const
{
    if (std::optional<int> status = RunImmediate())
        return status;
    if (ReportFaults(stderr))
        return 2;
    return std::nullopt;
}
