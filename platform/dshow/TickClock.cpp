#include "platform/dshow/TickClock.h"

#include <cerrno>
#include <ctime>

namespace {

class CSystemTickClock final : public ITickClock {
public:
    DWORD GetTickCount() override
    {
        timespec ts {};
        clock_gettime(CLOCK_MONOTONIC, &ts);  // cannot fail for this clock id
        return static_cast<DWORD>(static_cast<unsigned long long>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000);
    }
    void Sleep(DWORD ms) override
    {
        timespec ts {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
};

} // namespace

ITickClock& SystemTickClock()
{
    static CSystemTickClock clock;
    return clock;
}
