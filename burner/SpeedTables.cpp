#include "burner/SpeedTables.h"

namespace {

const SpeedEntry kCdSpeeds[] = {
    {176, "1.0x"},   {353, "2.0x"},   {387, "2.2x"},   {528, "3.0x"},   {706, "4.0x"},
    {1400, "8.0x"},  {1760, "10.0x"}, {2112, "12.0x"}, {2800, "16.0x"}, {4224, "24.0x"},
    {5632, "32.0x"}, {7040, "40.0x"}, {7744, "44.0x"}, {8448, "48.0x"}, {9152, "52.0x"},
};

const SpeedEntry kDvdSpeeds[] = {
    {1385, "1.0x"}, {2770, "2.0x"}, {3324, "2.4x"},  {4155, "3.0x"},   {5540, "4.0x"},
    {6925, "5.0x"}, {8310, "6.0x"}, {11080, "8.0x"}, {16620, "12.0x"}, {22160, "16.0x"},
};

} // namespace

const SpeedTable g_CdSpeedTable = {kCdSpeeds, sizeof kCdSpeeds / sizeof kCdSpeeds[0]};
const SpeedTable g_DvdSpeedTable = {kDvdSpeeds, sizeof kDvdSpeeds / sizeof kDvdSpeeds[0]};

const char* LabelForSpeed(const SpeedTable& table, ULONG speed)
{
    const SpeedEntry* t = table.m_pEntries;
    for (std::size_t k = 1; k + 1 < table.m_nCount; ++k) {
        if (t[k - 1].m_ulSpeed <= speed && speed <= t[k].m_ulSpeed) {
            const ULONG below = speed - t[k - 1].m_ulSpeed;
            const ULONG above = t[k].m_ulSpeed - speed;
            return below <= above ? t[k - 1].m_szLabel : t[k].m_szLabel;
        }
    }
    return nullptr;
}
