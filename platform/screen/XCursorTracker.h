#pragma once
// The X server's current cursor, kept in a buffer made once: the image is read again (XFixes)
// only when the server reports that the displayed cursor changed, so capturing a frame costs no
// cursor request in the common case. Cursors larger than the buffer are cut to its size.
#include "platform/screen/CursorImage.h"
#include "platform/screen/XConnection.h"

#include <memory>
#include <vector>

namespace platform {

class CXCursorTracker {
public:
    static constexpr int kMaxSide = 256;

    // Null when the server has no XFixes 2 or the selection fails.
    static std::unique_ptr<CXCursorTracker> Create(std::shared_ptr<CXConnection> connection);
    ~CXCursorTracker();
    CXCursorTracker(const CXCursorTracker&) = delete;
    CXCursorTracker& operator=(const CXCursorTracker&) = delete;

    // The current cursor; null when the server could not give it.
    const CursorImage* Current();

private:
    explicit CXCursorTracker(std::shared_ptr<CXConnection> connection);
    bool Refresh();

    std::shared_ptr<CXConnection> m_pConnection;
    std::vector<std::uint32_t> m_pixels;
    CursorImage m_image;
    bool m_bStale = true;
    bool m_bValid = false;
};

}  // namespace platform
