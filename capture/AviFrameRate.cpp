#include "capture/AviFrameRate.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

BOOL UpdateAviFrameRate(const std::string& strFileName, double dFps)
{
    std::FILE* pFile = std::fopen(strFileName.c_str(), "r+b");
    if (!pFile)
        return FALSE;
    // A file too short to hold the stream header is not ours to extend.
    if (std::fseek(pFile, 0, SEEK_END) != 0 || std::ftell(pFile) < 136) {
        std::fclose(pFile);
        return FALSE;
    }
    // Truncated toward zero, but never 0: a zero rate makes the file unplayable.
    double dRate = std::trunc(std::isfinite(dFps) ? dFps : 0.0);
    dRate = std::fmax(std::fmin(dRate, double(std::numeric_limits<std::int32_t>::max())), 1.0);
    const auto nRate = static_cast<std::uint32_t>(dRate);
    const unsigned char bytes[4] = {static_cast<unsigned char>(nRate), static_cast<unsigned char>(nRate >> 8),
                                    static_cast<unsigned char>(nRate >> 16), static_cast<unsigned char>(nRate >> 24)};
    const bool bOk = std::fseek(pFile, 132, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, pFile) == 4;
    const bool bClosed = std::fclose(pFile) == 0;
    return bOk && bClosed ? TRUE : FALSE;
}
