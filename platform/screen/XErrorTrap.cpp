#include "platform/screen/XErrorTrap.h"

#include <map>
#include <mutex>

// Last: it defines min and max as macros.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace platform {
namespace {

// The recorded errors of every registered connection.
struct TrapTable {
    std::mutex lock;
    std::map<Display*, int> lastError;
};

TrapTable& Table()
{
    static TrapTable table;
    return table;
}

// Xlib converts each error of a connection through that connection's table before it calls the
// process's handler; False ends the error there.
Bool OnConnectionError(Display* dpy, XErrorEvent* he, xError*)
{
    TrapTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.lastError.find(dpy);
    if (it == table.lastError.end())
        return True;
    it->second = he->error_code;
    return False;
}

constexpr int kFirstErrorCode = 1;  // 0 is no error
constexpr int kLastErrorCode = 255;

}  // namespace

void XErrorTrap::Register(Display* dpy)
{
    {
        TrapTable& table = Table();
        std::lock_guard<std::mutex> guard(table.lock);
        table.lastError[dpy] = Success;
    }
    // Outside the table's lock: Xlib takes the display's lock, under which errors arrive.
    for (int code = kFirstErrorCode; code <= kLastErrorCode; ++code)
        XESetWireToError(dpy, code, OnConnectionError);
}

void XErrorTrap::Unregister(Display* dpy)
{
    // A null procedure puts Xlib's own conversion back.
    for (int code = kFirstErrorCode; code <= kLastErrorCode; ++code)
        XESetWireToError(dpy, code, nullptr);
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
