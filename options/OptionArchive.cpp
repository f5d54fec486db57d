#include "options/OptionArchive.h"

#include <cstring>

namespace options {
namespace {

constexpr std::uint8_t kByteEscape = 0xFF;
constexpr std::uint16_t kWideMarker = 0xFFFE;
constexpr std::uint16_t kWordEscape = 0xFFFF;

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

bool CMemoryByteSource::Read(void* buffer, std::size_t n)
{
    if (n > m_nSize - m_nPos)
        return false;
    if (n != 0)
        std::memcpy(buffer, m_pData + m_nPos, n);
    m_nPos += n;
    return true;
}

bool CFileByteSource::Read(void* buffer, std::size_t n)
{
    if (n > m_nRemaining)
        return false;
    if (n != 0 && std::fread(buffer, 1, n, m_pFile) != n) {
        // The file shrank under us or could not be read: nothing more can be trusted.
        m_nRemaining = 0;
        return false;
    }
    m_nRemaining -= n;
    return true;
}

COptionArchive& COptionArchive::Field(int& value)
{
    if (IsStoring())
        WriteInt(value);
    else
        value = ReadInt();
    return *this;
}

COptionArchive& COptionArchive::Field(std::string& value)
{
    if (IsStoring())
        WriteString(value);
    else
        value = ReadString();
    return *this;
}

void COptionArchive::WriteInt(std::int32_t value)
{
    auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        m_buffer += static_cast<char>((u >> (8 * i)) & 0xFF);
}

void COptionArchive::WriteString(const std::string& value)
{
    const std::size_t n = value.size();
    if (n < kByteEscape) {
        m_buffer += static_cast<char>(n);
    } else if (n < kWideMarker) {
        // 0xFFFE would read back as the UTF-16 marker, so it already takes the long form.
        m_buffer += static_cast<char>(kByteEscape);
        m_buffer += static_cast<char>(n & 0xFF);
        m_buffer += static_cast<char>(n >> 8);
    } else {
        if (n > 0xFFFFFFFFu)
            throw std::length_error("option string longer than the file format allows");
        m_buffer += static_cast<char>(kByteEscape);
        m_buffer += static_cast<char>(0xFF);
        m_buffer += static_cast<char>(0xFF);
        WriteInt(static_cast<std::int32_t>(static_cast<std::uint32_t>(n)));
    }
    m_buffer += value;
}

void COptionArchive::ReadBytes(void* buffer, std::uint64_t n)
{
    if (n > m_pSource->Remaining() || !m_pSource->Read(buffer, static_cast<std::size_t>(n)))
        throw CArchiveEndOfFile();
}

std::uint8_t COptionArchive::ReadByte()
{
    unsigned char b[1];
    ReadBytes(b, 1);
    return b[0];
}

std::uint16_t COptionArchive::ReadWord()
{
    unsigned char b[2];
    ReadBytes(b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t COptionArchive::ReadDword()
{
    unsigned char b[4];
    ReadBytes(b, 4);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::int32_t COptionArchive::ReadInt()
{
    return static_cast<std::int32_t>(ReadDword());
}

std::uint32_t COptionArchive::ReadLengthPrefix(bool& bWide)
{
    bWide = false;
    std::uint8_t b = ReadByte();
    if (b < kByteEscape)
        return b;
    std::uint16_t w = ReadWord();
    if (w == kWideMarker) {
        // The UTF-16 form: a second prefix follows, in which 0xFFFE is an ordinary length.
        bWide = true;
        b = ReadByte();
        if (b < kByteEscape)
            return b;
        w = ReadWord();
    }
    if (w < kWordEscape)
        return w;
    return ReadDword();
}

std::string COptionArchive::ReadString()
{
    bool bWide = false;
    const std::uint64_t units = ReadLengthPrefix(bWide);
    const std::uint64_t bytes = bWide ? units * 2 : units;
    // Checked before allocating: a damaged prefix may claim gigabytes the file does not have.
    if (bytes > m_pSource->Remaining())
        throw CArchiveEndOfFile();
    std::string raw(static_cast<std::size_t>(bytes), '\0');
    ReadBytes(raw.data(), bytes);
    return bWide ? Utf16LeToUtf8(raw) : raw;
}

std::string Utf16LeToUtf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    const std::size_t count = bytes.size() / 2;
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                          (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count) {
            std::uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
    }
    return out;
}

} // namespace options
