#pragma once
// A client-side image that rectangles of the root window are read into: a shared-memory image
// (MIT-SHM) when the server offers it, otherwise a plain image filled with XGetSubImage. Made once
// for the largest rectangle a surface reads; each grab reuses it.
#include "platform/screen/XConnection.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

class CXGrabImage {
public:
    // Null when the image cannot be made (no memory, bad size).
    static std::unique_ptr<CXGrabImage> Create(std::shared_ptr<CXConnection> connection, int width,
                                               int height);
    ~CXGrabImage();
    CXGrabImage(const CXGrabImage&) = delete;
    CXGrabImage& operator=(const CXGrabImage&) = delete;

    // Reads the root's rectangle (x, y, width, height), which must lie inside the screen and fit
    // the image. On success Data()/Stride() describe it, packed from the image's start.
    bool Grab(int x, int y, int width, int height);

    const std::uint8_t* Data() const;
    std::ptrdiff_t Stride() const;
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    bool UsesShm() const { return m_bShm; }

private:
    CXGrabImage(std::shared_ptr<CXConnection> connection, int width, int height);
    bool CreateShared();
    bool CreatePlain();

    std::shared_ptr<CXConnection> m_pConnection;
    int m_nWidth;
    int m_nHeight;
    XImage* m_pImage = nullptr;
    XShmSegmentInfo m_shm {};
    bool m_bShm = false;
    bool m_bAttached = false;
    std::vector<std::uint8_t> m_plain;
    std::ptrdiff_t m_nStride = 0;
};

}  // namespace platform
