#include "dvd/BurnChecks.h"

#include "platform/avi/AviHeaderLayout.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// The DVD preset: 6000 kbit/s of video and 448 kbit/s of AC-3 sound, with about 3 % for the
// program stream's packs and the DVD's own files. A slide show mostly takes less: this is the
// most the files can be, which is what a check against the free space needs.
constexpr double kMpegBytesPerSecond = (6000.0 + 448.0) * 1000.0 / 8.0 * 1.03;
// The header of the AVI files we write is a few KiB; 1 MiB also passes a long one of others.
constexpr std::size_t kHeaderBytes = 1 << 20;

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string Megabytes(std::uint64_t ullBytes)
{
    return std::to_string((ullBytes + 500000) / 1000000) + " MB";
}

} // namespace

std::vector<std::string> MissingFiles(const std::vector<std::string>& files)
{
    std::vector<std::string> missing;
    for (const std::string& strFile : files) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(strFile, ec))
            missing.push_back(strFile);
    }
    return missing;
}

std::string MissingFilesText(const std::vector<std::string>& missing)
{
    std::string text = "These video files no longer exist:\n\n";
    for (const std::string& strFile : missing)
        text += strFile + "\n";
    return text + "\nDelete them from the list, or add them again from where they are now.";
}

std::optional<double> AviSeconds(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::vector<std::uint8_t> header(kHeaderBytes);
    file.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    header.resize(static_cast<std::size_t>(file.gcount()));
    const std::optional<AviHeaderLayout> layout = ParseAviHeader(header.data(), header.size());
    if (!layout)
        return std::nullopt;
    for (std::int64_t strh : layout->strh) {
        const std::uint8_t* body = header.data() + strh;
        if (std::memcmp(body, "vids", 4) != 0)
            continue;
        const std::uint32_t scale = Le32(body + AviHeaderLayout::kStrhScale);
        const std::uint32_t rate = Le32(body + AviHeaderLayout::kStrhRate);
        const std::uint32_t length = Le32(body + AviHeaderLayout::kStrhLength);
        if (scale == 0 || rate == 0)
            return std::nullopt;
        return static_cast<double>(length) * scale / rate;
    }
    return std::nullopt;
}

MpegEstimate EstimateMpegSize(const std::vector<std::string>& files)
{
    MpegEstimate estimate;
    for (const std::string& strFile : files) {
        if (const std::optional<double> seconds = AviSeconds(strFile))
            estimate.m_ullBytes += static_cast<std::uint64_t>(*seconds * kMpegBytesPerSecond);
        else
            ++estimate.m_nUnknown;
    }
    return estimate;
}

std::string DiscSpaceQuestion(std::uint64_t ullNeeded, std::uint64_t ullFree)
{
    return "Converted to DVD video, these files will take up to about " + Megabytes(ullNeeded) +
           ", but the disc has only " + Megabytes(ullFree) +
           " free. The burn may fail at the end.\n\nConvert and burn anyway?";
}
