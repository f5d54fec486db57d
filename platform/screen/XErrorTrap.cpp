#include "platform/screen/XErrorTrap.h"

#include <map>
#include <mutex>

namespace platform {
namespace {

// The handler's table: one process-wide object, because Xlib's handler is process-wide.
struct TrapTable {
    std::mutex lock;
    std::map<Display*, int> lastError;
    XErrorHandler previous = nullptr;
};

TrapTable& Table()
{
    static TrapTable table;
    return table;
}

int OnXError(Display* dpy, XErrorEvent* event)
{
    XErrorHandler previous;
    {
        TrapTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.lastError.find(dpy);
        if (it != table.lastError.end()) {
            it->second = event->error_code;
            return 0;
        }
        previous = table.previous;
    }
    return previous ? previous(dpy, event) : 0;
}

}  // namespace

void XErrorTrap::Register(Display* dpy)
{
    TrapTable& table = Table();
    // Installed outside the table's lock: the handler itself takes that lock.
    static std::once_flag installed;
    std::call_once(installed, [&table] {
        XErrorHandler previous = XSetErrorHandler(OnXError);
        std::lock_guard<std::mutex> guard(table.lock);
        table.previous = previous;
    });
    std::lock_guard<std::mutex> guard(table.lock);
    table.lastError[dpy] = Success;
}

void XErrorTrap::Unregister(Display* dpy)
{
    TrapTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.lastError.erase(dpy);
}

int XErrorTrap::Take(Display* dpy)
{
    TrapTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.lastError.find(dpy);
    if (it == table.lastError.end())
        return Success;
    int code = it->second;
    it->second = Success;
    return code;
}

}  // namespace platform
