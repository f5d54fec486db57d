#pragma once
// The physical bound of any X11 grabber that asks for one image per frame: XShmGetImage of the
// rectangle into a segment made once, in a loop, with nothing done to the pixels.
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

class CXShmReference {
public:
    CXShmReference() = default;
    ~CXShmReference();
    CXShmReference(const CXShmReference&) = delete;
    CXShmReference& operator=(const CXShmReference&) = delete;

    // Opens its own connection and segment for a width x height grab at the screen's origin.
    bool Open(int width, int height);
    bool Grab();

private:
    Display* m_pDisplay = nullptr;
    XImage* m_pImage = nullptr;
    XShmSegmentInfo m_shm {};
    bool m_bAttached = false;
};
