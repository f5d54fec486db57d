#include "burner/DiscTypeTable.h"

DiscTypeRule RuleForDiscType(LONG discType)
{
    using B = BlankTest;
    using P = SpeedProbing;
    using S = RecordedSizeSource;
    const SpeedTable* cd = &g_CdSpeedTable;
    const SpeedTable* dvd = &g_DvdSpeedTable;
    switch (discType) {
    case 2:
    case 3:
        return {B::TrackOneBlankFlag, cd, P::Probed, S::TableOfContents};
    case 4:
        return {B::RecordedSizeIsZero, nullptr, P::None, S::TableOfContents};
    case 5:
        return {B::TrackOneBlankFlag, dvd, P::Probed, S::TableOfContents};
    case 6:
        return {B::NeverBlank, dvd, P::Probed, S::TableOfContents};
    case 7:
    case 8:
    case 9:
        return {B::RecordedSizeIsZero, dvd, P::Probed, S::InvisibleTrack};
    case 10:
        return {B::NeverBlank, nullptr, P::None, S::TableOfContents};
    case 11:
    case 12:
        return {B::NeverBlank, cd, P::Probed, S::TableOfContents};
    case 13:
    case 15:
        return {B::TrackOneBlankFlag, dvd, P::Probed, S::TableOfContents};
    case 14:
        return {B::NeverBlank, cd, P::NotProbed, S::TableOfContents};
    default:
        return {B::NeverBlank, nullptr, P::None, S::TableOfContents};
    }
}
