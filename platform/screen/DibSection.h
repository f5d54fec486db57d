#pragma once
// A DIB section of the screen layer: our own pixel buffer in one of the capture's formats, with
// rows padded to 32 bits and bottom-up unless made with a negative height.
#include "platform/base/WinGdiTypes.h"
#include "platform/screen/PixelFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

class CGdiObject {
public:
    virtual ~CGdiObject() = default;
};

class CDeviceContext;

class CDibSection : public CGdiObject {
public:
    CDibSection(const PixelLayout& layout, int width, int height, bool topDown)
        : m_layout(layout), m_nWidth(width), m_nHeight(height), m_bTopDown(topDown),
          m_nStride(static_cast<std::ptrdiff_t>(DibStride(width, static_cast<WORD>(layout.bitsPerPixel)))),
          m_pBits(new std::uint8_t[static_cast<std::size_t>(m_nStride) * height]())
    {
    }

    std::uint8_t* Bits() { return m_pBits.get(); }
    // Row 0 is the top row of the picture.
    std::uint8_t* TopRow() { return m_bTopDown ? Bits() : Bits() + (m_nHeight - 1) * m_nStride; }
    std::ptrdiff_t TopDownStride() const { return m_bTopDown ? m_nStride : -m_nStride; }

    PixelLayout m_layout;
    int m_nWidth;
    int m_nHeight;
    bool m_bTopDown;
    std::ptrdiff_t m_nStride;
    std::unique_ptr<std::uint8_t[]> m_pBits;
    CDeviceContext* m_pSelectedInto = nullptr;
    bool m_bOwnedByDC = false;
};

}  // namespace platform
