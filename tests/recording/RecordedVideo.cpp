#include "RecordedVideo.h"

#include "platform/office/ShowScreen.h"
#include "platform/office/TestPresentations.h"
#include "recording/SlideTimingLog.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace recordingtest {

std::string RunCommand(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

namespace {

std::map<std::string, std::string> Probe(const std::string& file, const char* stream)
{
    std::map<std::string, std::string> values;
    std::string out = RunCommand("ffprobe -v error -count_frames -select_streams " + std::string(stream)
                                 + " -show_entries stream=codec_name,width,height,nb_read_frames"
                                   " -of default=nw=1 '" + file + "'");
    std::size_t pos = 0;
    while (pos < out.size()) {
        std::size_t end = out.find('\n', pos);
        if (end == std::string::npos)
            end = out.size();
        std::string line = out.substr(pos, end - pos);
        if (std::size_t eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end + 1;
    }
    return values;
}

// Where a stream's last packet ends (PCM in AVI has no stream duration of its own); 0 without one.
double StreamSeconds(const std::string& file, const char* stream)
{
    std::string out = RunCommand("ffprobe -v error -select_streams " + std::string(stream)
                                 + " -show_entries packet=pts_time,duration_time -of csv=p=0 '" + file + "' | tail -1");
    double start = 0, length = 0;
    return std::sscanf(out.c_str(), "%lf,%lf", &start, &length) == 2 ? start + length : 0;
}

}  // namespace

VideoFacts ReadVideoFacts(const std::string& file)
{
    VideoFacts facts;
    auto video = Probe(file, "v:0");
    facts.codec = video["codec_name"];
    facts.width = std::atoi(video["width"].c_str());
    facts.height = std::atoi(video["height"].c_str());
    facts.frames = std::atol(video["nb_read_frames"].c_str());
    facts.videoSeconds = StreamSeconds(file, "v:0");
    facts.soundSeconds = StreamSeconds(file, "a:0");
    facts.decodeErrors = RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -");
    return facts;
}

std::uint32_t ReadVideoRateField(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    in.seekg(132);
    unsigned char b[4] = {};
    in.read(reinterpret_cast<char*>(b), 4);
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::vector<FrameLook> LookAtFrames(const std::string& file, int width, int height, long slides)
{
    std::vector<FrameLook> looks;
    FILE* pipe = popen(("ffmpeg -nostdin -v error -i '" + file + "' -f rawvideo -pix_fmt rgb24 -").c_str(), "r");
    if (!pipe)
        return looks;
    std::vector<unsigned char> frame(static_cast<std::size_t>(width) * height * 3);
    auto at = [&](int x, int y) {
        const unsigned char* p = &frame[(static_cast<std::size_t>(y) * width + x) * 3];
        return static_cast<std::uint32_t>(p[0] << 16 | p[1] << 8 | p[2]);
    };
    while (std::fread(frame.data(), 1, frame.size(), pipe) == frame.size()) {
        FrameLook look;
        const std::uint32_t centre = at(width / 2, height / 2);
        for (long n = 1; n <= slides && !look.slide; ++n)
            if (officetest::Near(centre, officetest::SlideColour(n)))
                look.slide = n;
        long red = 0;
        for (int x = 0; x < width; ++x)
            red += (at(x, 0) == 0xFF0000) + (at(x, height - 1) == 0xFF0000);
        for (int y = 0; y < height; ++y)
            red += (at(0, y) == 0xFF0000) + (at(width - 1, y) == 0xFF0000);
        look.redOutline = red >= (width + height) / 2;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint32_t p = at(x, y);
                if (!look.slide)
                    look.lit += !officetest::Near(p, 0);
                else if (!(x < width / 4 && y < height * 2 / 5) && !officetest::Near(p, officetest::SlideColour(look.slide))
                         && !officetest::Near(p, 0))
                    ++look.foreign;
            }
        looks.push_back(look);
    }
    pclose(pipe);
    return looks;
}

std::vector<long> SlideOrder(const std::vector<FrameLook>& looks)
{
    std::vector<long> order;
    for (const FrameLook& look : looks)
        if (look.slide && (order.empty() || order.back() != look.slide))
            order.push_back(look.slide);
    return order;
}

std::string TimingLogMismatches(const std::string& file, const std::vector<FrameLook>& looks)
{
    std::vector<recording::SlideTiming> log;
    std::string error;
    if (!recording::ReadTimingLog(recording::TimingLogPath(file), &log, &error))
        return "the timing log cannot be read: " + error + "\n";
    std::ostringstream said;
    // Each frame's time in the video, ms.
    std::vector<double> times;
    std::istringstream pts(
        RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 '" + file + "'"));
    for (double seconds = 0; pts >> seconds;)
        times.push_back(seconds * 1000);
    const std::size_t count = std::min(times.size(), looks.size());
    if (count < 2)
        return said.str() + "the video has no frames to compare\n";
    const double frame = (times[count - 1] - times[0]) / static_cast<double>(count - 1);
    // Entry i spans from its time to the next one's (the last one to the end).
    const auto end = [&](std::size_t i) {
        return i + 1 < log.size() ? static_cast<double>(log[i + 1].videoMs) : times[count - 1] + frame;
    };
    // Within an entry's span, a frame away from its ends shows its slide.
    for (std::size_t i = 0; i < log.size(); ++i)
        for (std::size_t j = 0; j < count; ++j)
            if (times[j] >= static_cast<double>(log[i].videoMs) + frame && times[j] < end(i) - frame &&
                looks[j].slide != log[i].slideNumber) {
                said << "slide " << log[i].slideNumber << " from " << log[i].videoMs << " ms: frame " << j << " at "
                     << times[j] << " ms shows " << looks[j].slide << "\n";
                break;
            }
    // A frame that shows a slide is within a frame of an entry of that slide (an entry shorter
    // than a frame may show in none).
    for (std::size_t j = 0; j < count; ++j) {
        bool logged = looks[j].slide == 0;
        for (std::size_t i = 0; i < log.size() && !logged; ++i)
            logged = log[i].slideNumber == looks[j].slide && times[j] >= static_cast<double>(log[i].videoMs) - frame &&
                     times[j] < end(i) + frame;
        if (!logged)
            said << "frame " << j << " at " << times[j] << " ms shows slide " << looks[j].slide
                 << ", which the log does not have there\n";
    }
    return said.str();
}

void KeepFrames(const std::string& file, const std::string& name, const std::vector<long>& indices)
{
    const char* folder = std::getenv("VANTOREL_TEST_SHOTS");
    if (!folder)
        return;
    for (long index : indices)
        RunCommand("ffmpeg -nostdin -v error -y -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(index)
                   + ")' -frames:v 1 '" + folder + "/" + name + "-" + std::to_string(index) + ".png'");
}

}  // namespace recordingtest
