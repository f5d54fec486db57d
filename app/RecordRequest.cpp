#include "app/RecordRequest.h"

#include "app/CommandLine.h"
#include "dvd/DvdWindow.h"
#include "platform/automation/CommandLineInfo.h"
#include "recording/RecordGeometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <functional>
#include <strings.h>

namespace fs = std::filesystem;

namespace {

// Applies an option's value; the fault's text, or empty when the value is good.
using Apply = std::function<std::string(RecordRequest&, const std::string& value)>;

struct RecordOption {
    const char* name;
    const char* argument;  // null: the option takes no value
    const char* help;
    Apply apply;
};

bool ParseInt(const std::string& text, int* value)
{
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && p == end;
}

// "WxH" (or "W X H"), or the name in brackets of a preset of the size list ("DVD").
std::optional<RecordSize> ParseSize(std::string text)
{
    for (const recording::SizePreset& preset : recording::kSizePresets) {
        const std::string label = preset.text;
        const std::size_t open = label.find('('), close = label.find(')');
        if (preset.width > 0 && open != std::string::npos && close > open &&
            strcasecmp(label.substr(open + 1, close - open - 1).c_str(), text.c_str()) == 0)
            return RecordSize {preset.width, preset.height};
    }
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    const std::size_t x = text.find_first_of("xX");
    RecordSize size;
    if (x == std::string::npos || !ParseInt(text.substr(0, x), &size.width) ||
        !ParseInt(text.substr(x + 1), &size.height))
        return std::nullopt;
    if (size.width < 16 || size.height < 16 || size.width > kMaxRecordSide || size.height > kMaxRecordSide)
        return std::nullopt;
    return size;
}

const std::vector<RecordOption>& Options()
{
    static const std::vector<RecordOption> options = {
        {"output", "DIR", "Folder for the recordings (default: the output options' folder).",
         [](RecordRequest& r, const std::string& value) -> std::string {
             const std::string folder = AbsoluteArgument(value);
             std::error_code ec;
             if (!fs::is_directory(folder, ec))
                 return "the output folder " + folder + " does not exist";
             r.outputFolder = folder.back() == '/' ? folder : folder + "/";
             return {};
         }},
        {"slide-seconds", "N", "Time of a slide that has no timing of its own, in seconds (default 5).",
         [](RecordRequest& r, const std::string& value) -> std::string {
             std::size_t used = 0;
             double seconds = 0;
             try {
                 seconds = std::stod(value, &used);
             } catch (const std::exception&) {
                 used = 0;
             }
             if (used != value.size() || !std::isfinite(seconds) || seconds < 0.1 || seconds > 3600)
                 return "--slide-seconds takes a number of seconds from 0.1 to 3600, not " + value;
             r.slideSeconds = seconds;
             return {};
         }},
        {"size", "WxH", "Picture size: WIDTHxHEIGHT, or DVD, SVCD, VCD (default: the recording window's).",
         [](RecordRequest& r, const std::string& value) -> std::string {
             r.size = ParseSize(value);
             if (!r.size)
                 return "--size takes WIDTHxHEIGHT (16 to " + std::to_string(kMaxRecordSide) +
                        " each) or DVD, SVCD, VCD, not " + value;
             return {};
         }},
        {"no-sound", nullptr, "Records no sound.",
         [](RecordRequest& r, const std::string&) -> std::string {
             r.noSound = true;
             return {};
         }},
        {"compressor", "NAME", "Video compressor by its name in the output options, or none.",
         [](RecordRequest& r, const std::string& value) -> std::string {
             if (value.empty())
                 return "--compressor needs a name";
             r.compressor = value;
             return {};
         }},
        {"headless", nullptr, "Records on a private X server (and sound server) of its own.",
         [](RecordRequest& r, const std::string&) -> std::string {
             r.headless = true;
             return {};
         }},
        {"dvd-image", "FILE.iso", "Afterwards makes a DVD-Video image of the recordings.",
         [](RecordRequest& r, const std::string& value) -> std::string {
             const std::string image = AbsoluteArgument(value);
             std::error_code ec;
             if (!fs::is_directory(fs::path(image).parent_path(), ec))
                 return "the folder of the DVD image " + image + " does not exist";
             // The image is a pseudo drive, named in a list that ';' separates.
             if (image.find(';') != std::string::npos)
                 return "a DVD image's name cannot hold ';': " + image;
             if (fs::exists(image, ec) && (fs::is_directory(image, ec) || fs::file_size(image, ec) > 0))
                 return "the DVD image " + image + " exists already; remove it or name another";
             r.dvdImage = image;
             return {};
         }},
        {"burn", "DRIVE", "Afterwards burns the recordings to a DVD-Video disc in DRIVE (/dev/sr0).",
         [](RecordRequest& r, const std::string& value) -> std::string {
             if (value.empty())
                 return "--burn needs a drive";
             r.burnDrive = value;
             return {};
         }},
        {"format", "PAL|NTSC", "The DVD's television standard (default: the burn window's).",
         [](RecordRequest& r, const std::string& value) -> std::string {
             if (strcasecmp(value.c_str(), "PAL") == 0)
                 r.tvFormat = TV_FORMAT_PAL;
             else if (strcasecmp(value.c_str(), "NTSC") == 0)
                 r.tvFormat = TV_FORMAT_NTSC;
             else
                 return "--format takes PAL or NTSC, not " + value;
             return {};
         }},
        {"chapters", nullptr, "Gives the DVD a chapter at every slide change.",
         [](RecordRequest& r, const std::string&) -> std::string {
             r.chapters = true;
             return {};
         }},
        {"help", nullptr, "Shows the help and ends.",
         [](RecordRequest& r, const std::string&) -> std::string {
             r.help = true;
             return {};
         }},
    };
    return options;
}

}  // namespace

RecordRequest ParseRecordRequest(const std::vector<std::string>& words, std::vector<std::string>* faults)
{
    RecordRequest request;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.empty())
            continue;
        const char* name = onlyFiles ? nullptr : platform::OptionName(word.c_str());
        if (name && word == "--") {
            onlyFiles = true;
            continue;
        }
        const RecordOption* option = nullptr;
        for (const RecordOption& o : Options())
            if (name && strcasecmp(name, o.name) == 0)
                option = &o;
        if (!option && name && word[0] == '-') {
            faults->push_back("unknown option " + word);
            continue;
        }
        if (!option) {
            request.files.push_back(AbsoluteArgument(word));
            continue;
        }
        std::string value;
        if (option->argument) {
            if (i + 1 >= words.size()) {
                faults->push_back(std::string("the option ") + word + " needs " + option->argument);
                continue;
            }
            value = words[++i];
        }
        if (std::string fault = option->apply(request, value); !fault.empty())
            faults->push_back(fault);
    }
    if (request.help)
        return request;
    if (request.files.empty())
        faults->push_back("--record needs the presentations to record");
    if (request.dvdImage && request.burnDrive)
        faults->push_back("--dvd-image and --burn cannot go together");
    if (!request.WantsDvd()) {
        if (request.tvFormat)
            faults->push_back("--format needs --dvd-image or --burn");
        if (request.chapters)
            faults->push_back("--chapters needs --dvd-image or --burn");
    }
    return request;
}

std::string RecordOptionsHelp()
{
    std::string text;
    for (const RecordOption& o : Options()) {
        std::string left = std::string("      --") + o.name + (o.argument ? std::string(" ") + o.argument : "");
        left.resize(std::max<std::size_t>(left.size() + 2, 30), ' ');
        text += left + o.help + "\n";
    }
    return text;
}
