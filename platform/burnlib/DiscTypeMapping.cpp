#include "platform/burnlib/DiscTypeMapping.h"

#include "platform/burnlib/StarBurn.h"

namespace platform::burnlib {

LONG DiscTypeFromProfile(int profile, MediaStatus status)
{
    if (status == MediaStatus::Empty || status == MediaStatus::Unready) {
        return DISC_TYPE_NO_MEDIA;
    }
    switch (profile) {
    case 0x08:
        return DISC_TYPE_CDROM;
    case 0x09:
        return DISC_TYPE_CDR;
    case 0x0a:
        return DISC_TYPE_CDRW;
    case 0x10:
        return DISC_TYPE_DVDROM;
    case 0x11:
        return DISC_TYPE_DVDR;
    case 0x12:
        return DISC_TYPE_DVDRAM;
    case 0x13:
    case 0x14:
        return DISC_TYPE_DVDRW;
    case 0x15:
    case 0x16:
        return DISC_TYPE_DVDR_DL;
    case 0x1a:
    case 0xffff:
        return DISC_TYPE_DVDPLUSRW;
    case 0x1b:
        return DISC_TYPE_DVDPLUSR;
    case 0x2b:
        return DISC_TYPE_DVDPLUSR_DL;
    default:
        return DISC_TYPE_UNKNOWN;
    }
}

} // namespace platform::burnlib
