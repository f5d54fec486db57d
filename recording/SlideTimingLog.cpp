#include "recording/SlideTimingLog.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace recording {

namespace {

constexpr const char* kHeader = "slide,position,time_ms";

long long Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// Three comma-separated integers, nothing else.
bool ParseLine(const std::string& line, SlideTiming* timing)
{
    const char* p = line.data();
    const char* end = p + line.size();
    long long values[3] {};
    for (int i = 0; i < 3; ++i) {
        auto [next, ec] = std::from_chars(p, end, values[i]);
        if (ec != std::errc() || next == p)
            return false;
        p = next;
        if (i < 2) {
            if (p == end || *p != ',')
                return false;
            ++p;
        }
    }
    if (p != end || values[0] < 1 || values[1] < 1 || values[2] < 0)
        return false;
    timing->slideNumber = static_cast<long>(values[0]);
    timing->showPosition = static_cast<long>(values[1]);
    timing->videoMs = values[2];
    return true;
}

}  // namespace

void CVideoClock::Reset()
{
    m_spans.clear();
    m_bRunning = false;
}

void CVideoClock::Run(TimePoint t)
{
    if (m_bRunning)
        return;
    m_spans.push_back({t, t});
    m_bRunning = true;
}

void CVideoClock::Halt(TimePoint t)
{
    if (!m_bRunning)
        return;
    m_spans.back().to = t;
    m_bRunning = false;
}

long long CVideoClock::VideoMs(TimePoint t) const
{
    long long ms = 0;
    for (std::size_t i = 0; i < m_spans.size(); ++i) {
        const Span& span = m_spans[i];
        if (t <= span.from)
            break;
        const bool open = m_bRunning && i + 1 == m_spans.size();
        const TimePoint to = open || t < span.to ? t : span.to;
        ms += Milliseconds(to - span.from);
    }
    return ms;
}

std::vector<SlideTiming> SlidesInVideo(const std::vector<SlideChangeTime>& changes, const CVideoClock& clock,
                                       CVideoClock::TimePoint end)
{
    const long long endMs = clock.VideoMs(end);
    std::vector<SlideTiming> timings;
    for (const SlideChangeTime& change : changes) {
        const long long ms = clock.VideoMs(change.time);
        if (ms >= endMs)
            break;
        // The video shows only the last of the changes made at one moment of its time.
        if (!timings.empty() && timings.back().videoMs >= ms)
            timings.pop_back();
        // A change back to the slide the video shows already is no change in it.
        if (!timings.empty() && timings.back().showPosition == change.showPosition)
            continue;
        timings.push_back({change.slideNumber, change.showPosition, ms});
    }
    return timings;
}

std::string TimingLogPath(const std::string& videoPath)
{
    const std::size_t slash = videoPath.find_last_of('/');
    const std::size_t dot = videoPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? videoPath.substr(0, dot) : videoPath) + ".slides.csv";
}

std::string TimingLogText(const std::vector<SlideTiming>& timings)
{
    std::string text = std::string(kHeader) + "\n";
    for (const SlideTiming& t : timings)
        text += std::to_string(t.slideNumber) + "," + std::to_string(t.showPosition) + "," +
                std::to_string(t.videoMs) + "\n";
    return text;
}

bool WriteTimingLog(const std::string& path, const std::vector<SlideTiming>& timings, std::string* error)
{
    const std::string text = TimingLogText(timings);
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeErrno = errno;
    // A full disk shows at the close at the latest: a cut log must not pass for a whole one.
    if (std::fclose(file) != 0 || !written) {
        *error = std::strerror(written ? errno : writeErrno);
        return false;
    }
    return true;
}

bool ReadTimingLog(const std::string& path, std::vector<SlideTiming>* timings, std::string* error)
{
    std::ifstream file(path);
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    timings->clear();
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || (number == 1 && line == kHeader))
            continue;
        SlideTiming timing;
        if (!ParseLine(line, &timing)) {
            *error = "line " + std::to_string(number) + " is not \"slide,position,time_ms\": " + line;
            return false;
        }
        if (!timings->empty() && timing.videoMs < timings->back().videoMs) {
            *error = "line " + std::to_string(number) + " goes back in time";
            return false;
        }
        timings->push_back(timing);
    }
    if (file.bad()) {
        *error = "read error";
        return false;
    }
    return true;
}

}  // namespace recording
