#include "dvd/AuthoringFiles.h"

#include "dvd/DvdWindow.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

// A relative path that starts with '-' would read as an option; one that starts with "&<digit>"
// is a descriptor to dvdauthor. "./" keeps every path a plain path.
std::string PlainPath(const std::string& strPath)
{
    return !strPath.empty() && strPath[0] == '/' ? strPath : "./" + strPath;
}

constexpr std::size_t kMaxKeyFrameArgument = 100000;
// The longest group of pictures asked for: a DVD allows 0.6 s, and the times round to frames.
constexpr long long kMaxGroupMs = 560;

std::string SecondsList(const std::vector<long long>& times)
{
    std::string list;
    for (long long ms : times) {
        ms = std::max(0LL, ms);
        char szTime[32];
        std::snprintf(szTime, sizeof szTime, "%lld.%03lld", ms / 1000, ms % 1000);
        list += (list.empty() ? "" : ",") + std::string(szTime);
    }
    return list;
}

const char* VideoFormat(int nTvFormat)
{
    return nTvFormat == TV_FORMAT_NTSC ? "NTSC" : "PAL";
}

} // namespace

std::vector<std::string> EncoderCommand(const std::string& strProgramFolder, const std::string& strInput,
                                        const std::string& strBase, int nTvFormat,
                                        const std::vector<long long>& chapterMs)
{
    std::vector<std::string> command {strProgramFolder + "fg",
            "-i",
            "file:" + strInput,
            "-y",
            "-target",
            nTvFormat == TV_FORMAT_NTSC ? "ntsc-dvd" : "pal-dvd",
            // The preset scales to the standard's frame and keeps the source's square pixels, a
            // shape a DVD cannot say; the authored stream then says 16:9 and a 4:3 recording
            // plays stretched. The nearer of the two shapes a DVD has keeps the picture true.
            "-vf",
            "setdar=if(gte(dar\\,14/9)\\,16/9\\,4/3)"};
    if (!chapterMs.empty()) {
        std::string times = SecondsList(KeyFrameTimes(chapterMs));
        // One argument may not exceed 128 KiB; past some hours of video only the chapters' own.
        if (times.size() > kMaxKeyFrameArgument)
            times = SecondsList(chapterMs);
        command.insert(command.end(), {"-force_key_frames", times});
    }
    command.push_back("file:" + strBase + ".mpg");
    return command;
}

std::vector<long long> KeyFrameTimes(const std::vector<long long>& chapterMs)
{
    std::vector<long long> times;
    for (std::size_t i = 0; i < chapterMs.size(); ++i) {
        const long long start = std::max(0LL, chapterMs[i]);
        times.push_back(start);
        if (i + 1 == chapterMs.size())
            break;
        // Equal groups up to the next chapter: the longest that a DVD allows, so the encoder adds
        // no key frame of its own just before the chapter's.
        const long long length = chapterMs[i + 1] - start;
        const long long groups = (length + kMaxGroupMs - 1) / kMaxGroupMs;
        for (long long k = 1; k < groups; ++k)
            times.push_back(start + length * k / groups);
    }
    return times;
}

std::string ControlFileText(const std::vector<std::string>& mpegList,
                            const std::vector<std::vector<long long>>& chapterMs)
{
    std::string text = "<dvdauthor>\n"
                       "\t<vmgm />\n"
                       "\t\t<titleset>\n"
                       "\t\t\t<titles>\n"
                       "            <pgc>\n";
    for (std::size_t i = 0; i < mpegList.size(); ++i) {
        text += "            <vob file=\"" + XmlEscape(PlainPath(mpegList[i])) + "\"";
        if (i < chapterMs.size() && !chapterMs[i].empty())
            text += " chapters=\"" + ChapterList(chapterMs[i]) + "\"";
        text += " />\n";
    }
    text += "            </pgc>\n"
            "\t\t\t</titles>\n"
            "\t\t</titleset>\n"
            "</dvdauthor>\n";
    return text;
}

std::string ChapterList(const std::vector<long long>& chapterMs)
{
    std::string list;
    for (long long ms : chapterMs) {
        ms = std::max(0LL, ms);
        char szTime[48];
        std::snprintf(szTime, sizeof szTime, "%lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                      ms % 1000);
        list += (list.empty() ? "" : ",") + std::string(szTime);
    }
    return list;
}

std::string AuthoringScriptText(const std::string& strProgramFolder, const std::string& strDvdPath,
                                const std::string& strControlPath, int nTvFormat)
{
    const std::string strDvd = ShellQuote(PlainPath(strDvdPath));
    return std::string("export VIDEO_FORMAT=") + VideoFormat(nTvFormat) + "\n" +
           "mkdir -p " + strDvd + "\n" +
           "find " + strDvd + " -type f -delete\n" +
           ShellQuote(PlainPath(strProgramFolder + "ar")) + " -o " + strDvd + " -x " +
           ShellQuote(PlainPath(strControlPath)) + "\n";
}

std::vector<std::string> AuthoringScriptCommand(const std::string& strBatchPath)
{
    return {"/bin/sh", PlainPath(strBatchPath)};
}

std::string ShellQuote(std::string_view text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string XmlEscape(std::string_view text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        case '\t': escaped += "&#9;"; break;
        case '\n': escaped += "&#10;"; break;
        case '\r': escaped += "&#13;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

std::string MissingToolText(const std::string& strPath, const char* szPackage)
{
    if (::access(strPath.c_str(), X_OK) == 0)
        return {};
    return "Cannot run " + strPath + ": it is a link to " + szPackage + ". Install the Debian package \"" +
           szPackage + "\" (apt install " + szPackage + ").";
}
