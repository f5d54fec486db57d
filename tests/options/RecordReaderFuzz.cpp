// Fuzz target for the option record reader: any bytes, read as each of the three records, must
// neither crash nor allocate more than the input holds, and whatever was read must survive a
// store and a reload unchanged.
#include "options/OptionArchive.h"
#include "options/PresentationModeOptions.h"
#include "options/RecordingOptions.h"
#include "options/VideoOptions.h"

#include <cstdlib>

namespace {

template <class Record>
std::string Store(Record& record)
{
    options::COptionArchive ar = options::COptionArchive::ForStoring();
    record.SerializeOptions(ar);
    return ar.Buffer();
}

template <class Record>
bool Load(Record& record, const void* data, std::size_t size)
{
    options::CMemoryByteSource source(data, size);
    options::COptionArchive ar = options::COptionArchive::ForLoading(source);
    try {
        record.SerializeOptions(ar);
    } catch (const options::CArchiveEndOfFile&) {
        return false;
    }
    return true;
}

template <class Record>
void CheckRoundTrip(Record& first, Record& second, const std::uint8_t* data, std::size_t size)
{
    Load(first, data, size);
    const std::string stored = Store(first);
    if (!Load(second, stored.data(), stored.size()) || Store(second) != stored)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    options::CVideoOptions video, video2;
    CheckRoundTrip(video, video2, data, size);

    options::CBurnSettings burn, burn2;
    options::CRecordingOptions recording(burn), recording2(burn2);
    CheckRoundTrip(recording, recording2, data, size);

    options::CPresentationModeOptions mode, mode2;
    CheckRoundTrip(mode, mode2, data, size);
    return 0;
}
