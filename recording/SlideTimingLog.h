#pragma once
// The per-slide timing log beside each recording, "NAME_NNN.slides.csv": for every slide the
// video shows, its slide number, its position in the show and the time in the video (ms) at
// which it appeared. The recording window writes it at every stop; the DVD steps read it for the
// chapters.
//
// The video's time is the time the graph ran: a pause stops it, so a slide change made while
// paused appears in the video at the moment the recording resumes.
#include <chrono>
#include <string>
#include <vector>

namespace recording {

struct SlideTiming {
    long slideNumber = 0;
    long showPosition = 0;
    long long videoMs = 0;

    bool operator==(const SlideTiming&) const = default;
};

// A slide change as the presentation program logged it, on the steady clock.
struct SlideChangeTime {
    long showPosition = 0;
    long slideNumber = 0;
    std::chrono::steady_clock::time_point time;
};

// The recording's clock: which stretches of the steady clock went into the video.
class CVideoClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Starts anew: nothing recorded yet.
    void Reset();
    // The graph runs (the start, or a resume); ignored while running.
    void Run(TimePoint t);
    // The graph pauses or stops; ignored while not running.
    void Halt(TimePoint t);

    bool IsRunning() const { return m_bRunning; }
    bool HasRun() const { return !m_spans.empty(); }
    // The video's time at t: 0 before the start, frozen while paused, the length after the stop.
    long long VideoMs(TimePoint t) const;

private:
    struct Span {
        TimePoint from;
        TimePoint to;
    };
    std::vector<Span> m_spans;  // the last one is open while running
    bool m_bRunning = false;
};

// The slide changes as the video shows them, oldest first: each at the video's time of its
// moment. Changes that fall on the same video time (before the start, during a pause) leave only
// the last, the one the video shows; a change at or after the end of the recording shows in no
// frame and is left out. `end` is the moment the recording stopped.
std::vector<SlideTiming> SlidesInVideo(const std::vector<SlideChangeTime>& changes, const CVideoClock& clock,
                                       CVideoClock::TimePoint end);

// "NAME_NNN.slides.csv" beside the video "NAME_NNN.avi" (any extension; none: appended).
std::string TimingLogPath(const std::string& videoPath);

// The log's text: the header "slide,position,time_ms", then one line per entry.
std::string TimingLogText(const std::vector<SlideTiming>& timings);
// Writes the log whole; false with the reason in *error.
bool WriteTimingLog(const std::string& path, const std::vector<SlideTiming>& timings, std::string* error);
// Reads a log; false with the reason (and the line) in *error for a file that cannot be read, a
// line that is not three numbers, or times that go back.
bool ReadTimingLog(const std::string& path, std::vector<SlideTiming>* timings, std::string* error);

}  // namespace recording
