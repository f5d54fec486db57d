#pragma once
// Write speeds with their labels, and the two fixed speed tables (ascending, KB/s).
#include "platform/base/WinTypes.h"

#include <cstddef>

struct SpeedEntry {
    ULONG m_ulSpeed;      // KB/s
    const char* m_szLabel; // points into a fixed table
};

struct SpeedTable {
    const SpeedEntry* m_pEntries;
    std::size_t m_nCount;
};

extern const SpeedTable g_CdSpeedTable;  // 15 entries, 176 "1.0x" .. 9152 "52.0x"
extern const SpeedTable g_DvdSpeedTable; // 10 entries, 1385 "1.0x" .. 22160 "16.0x"

// The label of the table entry nearer to speed among the two around it, looking only at the
// intervals below the two highest entries' interval; on a tie the lower entry. nullptr when the
// speed lies below the first entry or above the second-highest one.
const char* LabelForSpeed(const SpeedTable& table, ULONG speed);
