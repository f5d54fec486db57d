#pragma once
// What a recorded AVI file holds, read with ffprobe and ffmpeg: its streams, whether it decodes
// cleanly, and what each frame of a recorded slide show shows.
#include <cstdint>
#include <string>
#include <vector>

namespace recordingtest {

// What a shell command writes on its standard output and standard error.
std::string RunCommand(const std::string& command);

struct VideoFacts {
    std::string codec;
    int width = 0;
    int height = 0;
    long frames = 0;
    double videoSeconds = 0;  // where the stream's last packet ends
    double soundSeconds = 0;  // 0: no sound stream
    std::string decodeErrors;  // what ffmpeg says while decoding every packet; empty when clean
};
VideoFacts ReadVideoFacts(const std::string& file);

// The video stream header's dwRate (byte 132 of a file the multiplexer wrote).
std::uint32_t ReadVideoRateField(const std::string& file);

// One decoded frame of a recorded show of `slides` slides (colours of TestPresentations.h).
struct FrameLook {
    long slide = 0;           // the slide whose colour the centre shows, 0 for none
    bool redOutline = false;  // a pure red line along an edge: the capture frame was recorded
    long foreign = 0;         // pixels that are neither the slide, black, nor its number's corner
    long lit = 0;             // of a frame of no slide: the pixels that are not black
    bool OnlySlide(int width, int height) const { return slide != 0 && foreign <= 3 * (width + height); }
    // Black but for a line of text: the show past its last slide, waiting to be left.
    bool EndScreen(int width, int height) const { return slide == 0 && lit <= 3 * (width + height); }
};
std::vector<FrameLook> LookAtFrames(const std::string& file, int width, int height, long slides);

// The slides in the order the frames show them, repeats and frames of no slide left out.
std::vector<long> SlideOrder(const std::vector<FrameLook>& looks);

// The timing log beside the recording `file` against its frames (`looks`, from LookAtFrames):
// each entry's slide shows in every frame from a frame after its time to a frame before the next
// entry's, and every frame that shows a slide lies within a frame of an entry of that slide.
// What does not match, a line each; empty when everything does.
std::string TimingLogMismatches(const std::string& file, const std::vector<FrameLook>& looks);

// With VANTOREL_TEST_SHOTS=<folder>: frames `indices` of the file as <name>-<index>.png there.
void KeepFrames(const std::string& file, const std::string& name, const std::vector<long>& indices);

}  // namespace recordingtest
