#pragma once
// "vantorel --record [OPTION]... FILE...": what an unattended run is asked to do, read from the
// words after --record. Options are written after "-" or "--", in any case, among the files;
// after "--" every word is a file. Each option is one row of one table, which the help lists.
#include <optional>
#include <string>
#include <vector>

// The exit status of the run.
enum RecordStatus : int {
    RECORD_STATUS_DONE = 0,          // every file recorded (and burned, when asked)
    RECORD_STATUS_SOME_FAILED = 1,   // some file or the DVD failed; what was made is kept
    RECORD_STATUS_BAD_ARGUMENTS = 2, // the command line asked for nothing that can be done
};

// The recordings' picture size: a preset of the recording window's size list, or a free size.
struct RecordSize {
    int width = 0;
    int height = 0;
};

struct RecordRequest {
    std::vector<std::string> files;         // absolute, in command-line order
    std::optional<std::string> outputFolder; // absolute, ending with '/'
    double slideSeconds = 5;                 // for slides without a time of their own
    std::optional<RecordSize> size;
    bool noSound = false;
    std::optional<std::string> compressor;   // a friendly name, or "none" (uncompressed)
    bool headless = false;
    std::optional<std::string> dvdImage;     // absolute
    std::optional<std::string> burnDrive;
    std::optional<int> tvFormat;             // TV_FORMAT_PAL or TV_FORMAT_NTSC
    bool chapters = false;
    bool help = false;

    bool WantsDvd() const { return dvdImage.has_value() || burnDrive.has_value(); }
    // Where the DVD goes: the image, else the drive. Only when WantsDvd().
    const std::string& DvdTarget() const { return dvdImage ? *dvdImage : *burnDrive; }
};

// Reads the words after --record. Each fault (unknown option, missing or bad value, options
// that do not go together, no file) is added to *faults; the request is usable only without.
RecordRequest ParseRecordRequest(const std::vector<std::string>& words, std::vector<std::string>* faults);

// The options' lines of the help text, each "  --name VALUE  what it does".
std::string RecordOptionsHelp();

// The longest side a recording may have (the capture filter refuses more).
inline constexpr int kMaxRecordSide = 8192;
