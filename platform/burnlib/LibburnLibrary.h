#pragma once
// The real burning library: IStarBurn over libburn.
//
// Start-up is burn_initialize, once per process; its messages are queued (never printed) and
// become the exception texts of failed calls. The device search reports libburn's drives (leading
// address byte 0) and then the pseudo drives named in VANTOREL_BURN_DRIVES ("stdio:/path/a.img",
// several separated by ';'; leading byte 1). The port byte numbers the devices of one search in
// order, bus, target id and LUN are 0, and the later calls map an address back to its drive
// through the table of the last search. The device name is the drive's path.
//
// Handles: a burner object is a CLibburnDrive, a DVD-Video file system (and its tree root) a
// CDiscImage. Threads: the drive table is guarded; a burner object is used by one thread at a
// time.
#include "platform/burnlib/StarBurn.h"

namespace platform::burnlib {

IStarBurn& RealStarBurnLibrary();

} // namespace platform::burnlib
