#include "recording/SlideCounter.h"

#include "platform/base/VirtualKeys.h"

#include <cstdio>

namespace recording {

bool CSlideCounter::ApplyKey(UINT virtualKey)
{
    switch (virtualKey) {
    case VK_PRIOR:
    case VK_LEFT:
        --m_nPosition;
        break;
    case VK_NEXT:
    case VK_RIGHT:
        ++m_nPosition;
        break;
    case VK_HOME:
        m_nPosition = 1;
        break;
    case VK_END:
        m_nPosition = m_nCount;
        break;
    default:
        return false;
    }
    if (m_nPosition < 1)
        m_nPosition = 1;
    if (m_nPosition > m_nCount)
        m_nPosition = m_nCount;
    return true;
}

std::string CSlideCounter::Text() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d", static_cast<int>(m_nPosition), static_cast<int>(m_nCount));
    return text;
}

}  // namespace recording
