#pragma once
// The millisecond tick count and sleeping, behind one interface so that a test can script the
// timing of a streaming thread exactly.
#include "platform/base/WinTypes.h"

class ITickClock {
public:
    virtual ~ITickClock() = default;
    // Milliseconds since an arbitrary start, wrapping at 2^32.
    virtual DWORD GetTickCount() = 0;
    virtual void Sleep(DWORD dwMilliseconds) = 0;
};

// The monotonic system clock; lives as long as the process.
ITickClock& SystemTickClock();
