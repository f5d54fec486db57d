#pragma once
// The byte encoding of the option files: 32-bit little-endian integers and length-prefixed
// strings, one field after the other with nothing around them. One archive either stores (into a
// buffer that is written out in one piece) or loads (from a byte source whose size is known, so
// that no length prefix can make us allocate more than the source still holds).
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace options {

// Thrown by a loading archive when a field runs past the end of its source. Fields read before
// keep the values read.
class CArchiveEndOfFile : public std::runtime_error {
public:
    CArchiveEndOfFile() : std::runtime_error("option file ends before the last field") {}
};

// Where a loading archive reads from.
class IByteSource {
public:
    virtual ~IByteSource() = default;
    virtual std::uint64_t Remaining() const = 0;
    // Reads exactly n bytes; false when they could not all be read.
    virtual bool Read(void* buffer, std::size_t n) = 0;
};

class CMemoryByteSource : public IByteSource {
public:
    CMemoryByteSource(const void* data, std::size_t size)
        : m_pData(static_cast<const unsigned char*>(data)), m_nSize(size) {}
    std::uint64_t Remaining() const override { return m_nSize - m_nPos; }
    bool Read(void* buffer, std::size_t n) override;

private:
    const unsigned char* m_pData;
    std::size_t m_nSize;
    std::size_t m_nPos = 0;
};

// An open file read from its current position; size is the file's size at opening.
class CFileByteSource : public IByteSource {
public:
    CFileByteSource(std::FILE* file, std::uint64_t size) : m_pFile(file), m_nRemaining(size) {}
    std::uint64_t Remaining() const override { return m_nRemaining; }
    bool Read(void* buffer, std::size_t n) override;

private:
    std::FILE* m_pFile;
    std::uint64_t m_nRemaining;
};

class COptionArchive {
public:
    // A storing archive collects the bytes in Buffer().
    static COptionArchive ForStoring() { return COptionArchive(nullptr); }
    static COptionArchive ForLoading(IByteSource& source) { return COptionArchive(&source); }

    bool IsStoring() const { return m_pSource == nullptr; }

    // Writes or reads one field, as the archive's direction says. A record lists its fields once,
    // in file order, and the same list serves both directions.
    COptionArchive& Field(int& value);
    COptionArchive& Field(std::string& value);

    void WriteInt(std::int32_t value);
    void WriteString(const std::string& value);
    std::int32_t ReadInt();
    std::string ReadString();

    const std::string& Buffer() const { return m_buffer; }

private:
    explicit COptionArchive(IByteSource* source) : m_pSource(source) {}
    void ReadBytes(void* buffer, std::uint64_t n);
    std::uint8_t ReadByte();
    std::uint16_t ReadWord();
    std::uint32_t ReadDword();
    std::uint32_t ReadLengthPrefix(bool& bWide);

    IByteSource* m_pSource;
    std::string m_buffer;
};

// Converts little-endian UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(const std::string& bytes);

} // namespace options
