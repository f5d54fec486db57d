#pragma once
// What the burn window can know before it converts anything, so that a run does not fail late:
// video files that are gone, and how much of the disc the converted files will take.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The files of the list that no longer exist (or are no regular files), in list order.
std::vector<std::string> MissingFiles(const std::vector<std::string>& files);
// "These video files no longer exist: ..." for the message box.
std::string MissingFilesText(const std::vector<std::string>& missing);

// The playing time of an AVI file: its first video stream's length in frames over its rate.
// Nothing for a file that is not an AVI or whose header says no time.
std::optional<double> AviSeconds(const std::string& path);

struct MpegEstimate {
    std::uint64_t m_ullBytes = 0;  // the files whose time is known
    int m_nUnknown = 0;            // files whose time could not be read, left out of the sum
};
// What the encoder's DVD preset makes of the files: its video and sound bit rates over their
// playing time, with the program stream's packing.
MpegEstimate EstimateMpegSize(const std::vector<std::string>& files);

// The question when the estimate is above the disc's free space: go on or not.
std::string DiscSpaceQuestion(std::uint64_t ullNeeded, std::uint64_t ullFree);
