#include "platform/hook/InputWatcher.h"

#include "platform/hook/VirtualKeyMap.h"
#include "platform/screen/XErrorTrap.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace brelin {

bool CInputWatcher::Start()
{
    if (IsRunning())
        return true;
    if (!Connect())
        return false;
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        Disconnect();
        return false;
    }
    m_bStopping = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CInputWatcher::Stop()
{
    if (!m_thread.joinable())
        return;
    m_bStopping = true;
    std::uint64_t one = 1;
    while (write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    m_thread.join();
    close(m_wakeFd);
    m_wakeFd = -1;
    Disconnect();
}

bool CInputWatcher::Connect()
{
    m_pDisplay = XOpenDisplay(nullptr);
    if (!m_pDisplay)
        return false;
    // An X error on this connection must not end the program (Xlib's default handler exits).
    platform::XErrorTrap::Register(m_pDisplay);
    int event = 0, error = 0;
    // XInput2 events are generic events: without that extension none would arrive.
    bool usable = XQueryExtension(m_pDisplay, "XInputExtension", &m_nOpcode, &event, &error)
        && XQueryExtension(m_pDisplay, "Generic Event Extension", &event, &event, &error);
    int major = 2, minor = 2;
    usable = usable && XIQueryVersion(m_pDisplay, &major, &minor) == Success
        && (major > 2 || (major == 2 && minor >= 2));
    if (!usable) {
        Disconnect();
        return false;
    }
    // Raw events reach the root whatever window has the focus or a grab, and take nothing away.
    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawKeyPress);
    XISetMask(mask, XI_RawButtonPress);
    XIEventMask eventMask {XIAllMasterDevices, static_cast<int>(sizeof mask), mask};
    XISelectEvents(m_pDisplay, DefaultRootWindow(m_pDisplay), &eventMask, 1);
    XSync(m_pDisplay, False);
    return true;
}

void CInputWatcher::Disconnect()
{
    if (m_pDisplay) {
        platform::XErrorTrap::Unregister(m_pDisplay);
        XCloseDisplay(m_pDisplay);
    }
    m_pDisplay = nullptr;
}

void CInputWatcher::Run()
{
    pollfd fds[2] = {{ConnectionNumber(m_pDisplay), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    while (!m_bStopping) {
        HandleEvents();
        if (m_bStopping)
            break;
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & (POLLERR | POLLHUP))
            break;  // the server went away
    }
}

void CInputWatcher::HandleEvents()
{
    while (!m_bStopping && XPending(m_pDisplay) > 0) {
        XEvent event;
        XNextEvent(m_pDisplay, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != m_nOpcode
            || !XGetEventData(m_pDisplay, cookie))
            continue;
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        int evtype = cookie->evtype;
        int detail = raw->detail;
        XFreeEventData(m_pDisplay, cookie);
        if (evtype == XI_RawKeyPress)
            OnRawKey(detail);
        else if (evtype == XI_RawButtonPress)
            OnRawButton(detail);
    }
}

void CInputWatcher::OnRawKey(int keycode)
{
    // The key's own symbol (letters and digits as if unshifted); on the keypad the one that Num
    // Lock and Shift select now, since Page Down and 3 share a key there.
    KeySym keysym = XkbKeycodeToKeysym(m_pDisplay, static_cast<KeyCode>(keycode), 0, 0);
    if (IsKeypadKey(keysym)) {
        XkbStateRec state {};
        unsigned int consumed = 0;
        KeySym shifted = NoSymbol;
        if (XkbGetState(m_pDisplay, XkbUseCoreKbd, &state) == Success
            && XkbLookupKeySym(m_pDisplay, static_cast<KeyCode>(keycode),
                               XkbBuildCoreState(state.lookup_mods, state.group), &consumed, &shifted)
            && shifted != NoSymbol)
            keysym = shifted;
    }
    if (UINT vk = VirtualKeyFromKeysym(keysym))
        m_sink.OnKeyDown(vk);
}

void CInputWatcher::OnRawButton(int button)
{
    if (button < Button1 || button > Button3)
        return;  // wheel steps and extra buttons are no clicks
    // Raw events carry no position: the pointer is where the button went down, give or take the
    // time this round trip takes.
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(m_pDisplay, DefaultRootWindow(m_pDisplay), &root, &child, &rootX, &rootY, &x, &y, &mask))
        return;
    m_sink.OnClick(POINT {rootX, rootY}, static_cast<HWND>(child), m_bStopping);
}

}  // namespace brelin
