#include "platform/burnlib/DiscImage.h"

#include "platform/burnlib/ToolProcess.h"
#include "platform/shell/Places.h"

#include <cerrno>
#include <sys/statvfs.h>
#include <filesystem>
#include <system_error>

namespace platform::burnlib {

namespace fs = std::filesystem;

namespace {

std::string LastLine(const std::string& output)
{
    std::size_t end = output.find_last_not_of("\r\n ");
    if (end == std::string::npos) {
        return {};
    }
    const std::size_t start = output.find_last_of('\n', end);
    return output.substr(start == std::string::npos ? 0 : start + 1,
                         end - (start == std::string::npos ? 0 : start + 1) + 1);
}

// Runs the tool; on failure fills error with the tool's name and its last words. What it wrote
// goes to *output when asked for.
bool RunImageTool(const std::vector<std::string>& argv, ImageError& error, std::string* output = nullptr)
{
    ToolResult result = RunTool(argv);
    if (output != nullptr) {
        *output = result.m_strOutput;
    }
    if (!result.m_bStarted) {
        error.m_nErrno = result.m_nErrno;
        error.m_strText = "cannot start " + argv[0] + ": " + std::generic_category().message(result.m_nErrno);
        return false;
    }
    if (result.m_nExitCode != 0) {
        error.m_nErrno = 0;
        error.m_strText = argv[0] + " failed (exit " + std::to_string(result.m_nExitCode) +
                          "): " + LastLine(result.m_strOutput);
        return false;
    }
    return true;
}

// The last line of the output that is a number (genisoimage -print-size: sectors of 2048 bytes).
bool ParseSectorCount(const std::string& output, std::uint64_t& sectors)
{
    bool found = false;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        const std::string line = output.substr(start, end - start);
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos && line.size() < 19) {
            sectors = std::stoull(line);
            found = true;
        }
        start = end + 1;
    }
    return found;
}

std::string Megabytes(std::uint64_t bytes)
{
    return std::to_string((bytes + 1024 * 1024 - 1) / (1024 * 1024)) + " MB";
}

// Whether the temporary folder has room for an image of the given size; says so when not. A
// folder whose free space cannot be read is left for the tool to find out.
bool RoomForImage(std::uint64_t bytes, ImageError& error)
{
    const std::string folder = platform::GetTempPath();
    struct statvfs info {};
    if (statvfs(folder.c_str(), &info) != 0) {
        return true;
    }
    const std::uint64_t available = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    if (bytes <= available) {
        return true;
    }
    error.m_bNoRoom = true;
    error.m_nErrno = ENOSPC;
    error.m_strText = "Not enough free space for the disc image: it needs " + Megabytes(bytes) + " in " + folder +
                      ", which has " + Megabytes(available) + " free.";
    return false;
}

std::string NewTempFile(const char* prefix, ImageError& error)
{
    const std::string path = platform::GetTempFileName(platform::GetTempPath(), prefix);
    if (path.empty()) {
        error.m_nErrno = errno;
        error.m_strText = "cannot create a temporary image file in " + platform::GetTempPath();
    }
    return path;
}

std::unique_ptr<CDiscImage> Measure(const std::string& path, std::uint32_t blockSize,
                                    ImageError& error)
{
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size == 0) {
        error.m_nErrno = ec ? ec.value() : 0;
        error.m_strText = "the image " + path + " is missing or empty";
        fs::remove(path, ec);
        return nullptr;
    }
    return std::make_unique<CDiscImage>(path, size, blockSize);
}

} // namespace

// genisoimage refuses longer volume names.
std::string CutVolumeLabel(const std::string& label)
{
    if (label.size() <= kMaxVolumeLabel) {
        return label;
    }
    std::size_t end = kMaxVolumeLabel;
    while (end > 0 && (static_cast<unsigned char>(label[end]) & 0xC0) == 0x80) {
        --end;
    }
    return label.substr(0, end);
}

CDiscImage::CDiscImage(std::string path, std::uint64_t size, std::uint32_t blockSize)
    : m_strPath(std::move(path)), m_ullSize(size), m_ulBlockSize(blockSize)
{
}

CDiscImage::~CDiscImage()
{
    std::error_code ec;
    fs::remove(m_strPath, ec);
}

std::unique_ptr<CDiscImage> MakeDvdVideoImage(const std::string& videoTsFolder,
                                              const std::string& volumeLabel, ImageError& error)
{
    fs::path folder = fs::path(videoTsFolder).lexically_normal();
    if (folder.filename().empty()) {
        folder = folder.parent_path(); // a trailing separator
    }
    std::error_code ec;
    if (folder.filename() != "VIDEO_TS" || !fs::is_directory(folder, ec)) {
        error.m_nErrno = ENOENT;
        error.m_strText = "no VIDEO_TS folder at " + videoTsFolder;
        return nullptr;
    }
    std::vector<std::string> argv = {"genisoimage", "-quiet", "-dvd-video"};
    if (!volumeLabel.empty()) {
        argv.insert(argv.end(), {"-V", CutVolumeLabel(volumeLabel)});
    }
    // The image is as large as what it holds, up to the whole disc: measured first, so a folder
    // that cannot hold it is never filled to the brim.
    std::vector<std::string> measure = argv;
    measure.insert(measure.end(), {"-print-size", folder.parent_path().string()});
    std::string measured;
    if (!RunImageTool(measure, error, &measured)) {
        return nullptr;
    }
    std::uint64_t sectors = 0;
    if (ParseSectorCount(measured, sectors) && !RoomForImage(sectors * 2048, error)) {
        return nullptr;
    }
    const std::string image = NewTempFile("vtd", error);
    if (image.empty()) {
        return nullptr;
    }
    argv.insert(argv.end(), {"-o", image, folder.parent_path().string()});
    if (!RunImageTool(argv, error)) {
        fs::remove(image, ec);
        return nullptr;
    }
    return Measure(image, 2048, error);
}

std::unique_ptr<CDiscImage> MakeVideoCdImage(const std::string& source, const std::string& album,
                                             bool superVideoCD, ImageError& error)
{
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) {
        error.m_nErrno = ENOENT;
        error.m_strText = "no MPEG source at " + source;
        return nullptr;
    }
    // Each 2324 bytes of MPEG take a raw sector of 2352: the image is at least that large.
    const std::uintmax_t sourceSize = fs::file_size(source, ec);
    if (!ec && !RoomForImage(static_cast<std::uint64_t>(sourceSize) / 2324 * 2352, error)) {
        return nullptr;
    }
    const std::string image = NewTempFile("vtc", error);
    if (image.empty()) {
        return nullptr;
    }
    const std::string cue = image + ".cue";
    const std::vector<std::string> argv = {"vcdimager",
                                           "--type=" + std::string(superVideoCD ? "svcd" : "vcd2"),
                                           "--info-album-id=" + album.substr(0, 16),
                                           "--cue-file=" + cue,
                                           "--bin-file=" + image,
                                           source};
    const bool made = RunImageTool(argv, error);
    fs::remove(cue, ec);
    if (!made) {
        fs::remove(image, ec);
        return nullptr;
    }
    return Measure(image, 2352, error);
}

} // namespace platform::burnlib
