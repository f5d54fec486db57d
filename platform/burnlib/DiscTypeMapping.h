#pragma once
// The disc type code of the inserted disc, from libburn's media profile and disc status:
//   no disc or not ready            -> 14
//   0x08 CD-ROM -> 4, 0x09 CD-R -> 2, 0x0a CD-RW -> 3
//   0x10 DVD-ROM -> 10, 0x11 DVD-R -> 5, 0x12 DVD-RAM -> 6, 0x13/0x14 DVD-RW -> 9,
//   0x15/0x16 DVD-R DL -> 13, 0x1a DVD+RW -> 8, 0x1b DVD+R -> 7, 0x2b DVD+R DL -> 15
//   0xffff stdio file (a pseudo drive) -> 8: overwritable, blank when nothing is recorded
//   anything else (BD, HD DVD ...) -> 0, which the engine does not write to.
#include "platform/base/WinTypes.h"

namespace platform::burnlib {

// The libburn disc status values the mapping looks at (enum burn_disc_status).
enum class MediaStatus { Unready, Blank, Empty, Appendable, Full, Unsuitable };

LONG DiscTypeFromProfile(int profile, MediaStatus status);

} // namespace platform::burnlib
