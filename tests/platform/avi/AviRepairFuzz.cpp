// Fuzz target for the AVI repair: any bytes, taken as a file cut short, must be checked and
// repaired without a fault; a repair that reports success leaves a file that checks as whole and
// that a second repair leaves unchanged.
#include "platform/avi/AviHeaderLayout.h"
#include "platform/avi/AviRepair.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class CMemoryFile final : public CAviFileAccess {
public:
    explicit CMemoryFile(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    int64_t Size() const override { return static_cast<int64_t>(m_bytes.size()); }
    bool ReadAt(int64_t offset, void* pData, std::size_t cb) override
    {
        if (offset < 0 || static_cast<std::uint64_t>(offset) + cb > m_bytes.size()) return Fail(EIO);
        std::memcpy(pData, m_bytes.data() + offset, cb);
        return true;
    }
    bool WriteAt(int64_t offset, const void* pData, std::size_t cb) override
    {
        // A bound far past any input: a write there is a fault of the repair, not a big file.
        if (offset < 0 || static_cast<std::uint64_t>(offset) + cb > (64u << 20)) std::abort();
        if (m_bytes.size() < offset + cb) m_bytes.resize(offset + cb);
        std::memcpy(m_bytes.data() + offset, pData, cb);
        return true;
    }
    bool Truncate(int64_t size) override
    {
        if (size < 0) std::abort();
        m_bytes.resize(static_cast<std::size_t>(size));
        return true;
    }
    int Error() const override { return m_error; }
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

private:
    bool Fail(int err)
    {
        m_error = err;
        return false;
    }
    std::vector<std::uint8_t> m_bytes;
    int m_error = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ParseAviHeader(data, size);
    CMemoryFile file(std::vector<std::uint8_t>(data, data + size));
    const AviFileState state = InspectAvi(file);
    const AviRepairResult result = RepairAvi(file);
    if ((state == AviFileState::NotAvi) != (result.outcome == AviRepairResult::Outcome::NotAvi)) std::abort();
    if (result.Describe().empty()) std::abort();
    if (!result.Succeeded()) return 0;
    if (InspectAvi(file) != AviFileState::Whole) std::abort();
    const std::vector<std::uint8_t> repaired = file.Bytes();
    if (RepairAvi(file).outcome != AviRepairResult::Outcome::AlreadyWhole || file.Bytes() != repaired) std::abort();
    return 0;
}
