#include "platform/screen/XCursorTracker.h"

#include <X11/extensions/Xfixes.h>

namespace platform {

std::unique_ptr<CXCursorTracker> CXCursorTracker::Create(std::shared_ptr<CXConnection> connection)
{
    if (!connection || !connection->HasXFixes())
        return nullptr;
    std::unique_ptr<CXCursorTracker> tracker(new CXCursorTracker(std::move(connection)));
    CXConnection& x = *tracker->m_pConnection;
    x.TakeError();
    XFixesSelectCursorInput(x.GetDisplay(), x.GetRoot(), XFixesDisplayCursorNotifyMask);
    if (x.SyncAndTakeError() != Success)
        return nullptr;
    return tracker;
}

CXCursorTracker::CXCursorTracker(std::shared_ptr<CXConnection> connection)
    : m_pConnection(std::move(connection)),
      m_pixels(static_cast<std::size_t>(kMaxSide) * kMaxSide, 0u)
{
    m_image.pixels = m_pixels.data();
}

CXCursorTracker::~CXCursorTracker()
{
    CXConnection& x = *m_pConnection;
    XFixesSelectCursorInput(x.GetDisplay(), x.GetRoot(), 0);
    x.SyncAndTakeError();
}

const CursorImage* CXCursorTracker::Current()
{
    Display* dpy = m_pConnection->GetDisplay();
    // The connection selects no other events, so everything queued is about the cursor.
    while (XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        if (event.type == m_pConnection->GetXFixesEventBase() + XFixesCursorNotify)
            m_bStale = true;
    }
    if (m_bStale)
        m_bValid = Refresh();
    return m_bValid ? &m_image : nullptr;
}

bool CXCursorTracker::Refresh()
{
    m_bStale = false;
    XFixesCursorImage* cursor = XFixesGetCursorImage(m_pConnection->GetDisplay());
    int error = m_pConnection->TakeError();
    if (!cursor)
        return false;
    bool ok = error == Success && cursor->pixels != nullptr;
    if (ok) {
        int width = cursor->width < kMaxSide ? cursor->width : kMaxSide;
        int height = cursor->height < kMaxSide ? cursor->height : kMaxSide;
        // XFixes hands out one pixel per long; we keep 32-bit words.
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                m_pixels[static_cast<std::size_t>(y) * width + x] =
                    static_cast<std::uint32_t>(cursor->pixels[y * cursor->width + x]);
        m_image.width = width;
        m_image.height = height;
        m_image.xHotspot = cursor->xhot;
        m_image.yHotspot = cursor->yhot;
    }
    XFree(cursor);
    return ok;
}

}  // namespace platform
