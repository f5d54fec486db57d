#pragma once
// Waiting on something another process or thread brings about, when nothing tells us it did.
#include <chrono>
#include <thread>

namespace platform {

// Asks `done` every `interval` until it holds or `timeout` has passed; whether it held.
template <class Done>
bool PollUntil(Done&& done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds interval = std::chrono::milliseconds(10))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace platform
