#pragma once
// Disc images made by outside tools, in files of the temporary folder that are deleted with the
// object: the DVD-Video UDF/ISO 9660 bridge image (genisoimage -dvd-video) and the Video CD or
// Super Video CD image (vcdimager).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform::burnlib {

class CDiscImage {
public:
    CDiscImage(std::string path, std::uint64_t size, std::uint32_t blockSize);
    ~CDiscImage();
    CDiscImage(const CDiscImage&) = delete;
    CDiscImage& operator=(const CDiscImage&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::uint64_t Size() const { return m_ullSize; }
    // Bytes per block of the image: 2048 for DVD-Video, 2352 for the raw Video CD sectors.
    std::uint32_t BlockSize() const { return m_ulBlockSize; }

private:
    std::string m_strPath;
    std::uint64_t m_ullSize;
    std::uint32_t m_ulBlockSize;
};

struct ImageError {
    std::string m_strText; // what failed, with the tool's last output line
    int m_nErrno = 0;
    bool m_bNoRoom = false; // the temporary folder cannot hold the image; nothing was written
};

// Each image is measured (or, for a Video CD, estimated) before it is made: one larger than the
// temporary folder's free space is refused with m_bNoRoom and a text that says how much is needed.

// ISO 9660 and UDF volume names hold 32 bytes.
constexpr std::size_t kMaxVolumeLabel = 32;
// The label cut to kMaxVolumeLabel bytes at a UTF-8 character boundary; shorter ones unchanged.
std::string CutVolumeLabel(const std::string& label);

// Image of the VIDEO_TS folder's parent; the folder itself must be named VIDEO_TS. A volume label
// longer than 32 bytes is cut to 32.
std::unique_ptr<CDiscImage> MakeDvdVideoImage(const std::string& videoTsFolder,
                                              const std::string& volumeLabel, ImageError& error);
// Video CD 2.0 (superVideoCD false) or Super Video CD image of one MPEG source.
std::unique_ptr<CDiscImage> MakeVideoCdImage(const std::string& source, const std::string& album,
                                             bool superVideoCD, ImageError& error);

} // namespace platform::burnlib
