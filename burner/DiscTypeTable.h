#pragma once
// How the engine treats each disc type code: the blank test, the speed table of the write speed
// list, and where the recorded size comes from.
#include "burner/SpeedTables.h"

enum class BlankTest { TrackOneBlankFlag, RecordedSizeIsZero, NeverBlank };
enum class SpeedProbing { None, Probed, NotProbed };
enum class RecordedSizeSource { TableOfContents, InvisibleTrack };

struct DiscTypeRule {
    BlankTest m_BlankTest;
    const SpeedTable* m_pSpeedTable; // nullptr: no speeds
    SpeedProbing m_Probing;
    RecordedSizeSource m_SizeSource;
};

DiscTypeRule RuleForDiscType(LONG discType);
