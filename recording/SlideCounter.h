#pragma once
// The recording window's SlideCounter: the current slide position (from 1) and the slide count of
// the open presentation, shown as "%d/%d" in static 1056. The navigation keys move it by their
// rules; the show's own position sets it.
#include "platform/base/WinTypes.h"

#include <string>

namespace recording {

class CSlideCounter {
public:
    LONG Position() const { return m_nPosition; }
    LONG Count() const { return m_nCount; }
    // A presentation was opened.
    void SetCount(LONG count) { m_nCount = count; }
    // The show's current position, as the show reports it.
    void SetPosition(LONG position) { m_nPosition = position; }

    // A navigation key: Page Up and Left one back, Page Down and Right one on, Home the first,
    // End the last slide; then the position is kept within 1 and the count. Other keys change
    // nothing. True when the key is one of those.
    bool ApplyKey(UINT virtualKey);

    std::string Text() const;

private:
    LONG m_nPosition = 1;
    LONG m_nCount = 0;
};

}  // namespace recording
