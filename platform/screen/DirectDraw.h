#pragma once
// The DirectDraw calls of the screen capture, over X11:
// - the DirectDraw object is an X connection of its own (DirectDrawCreate(NULL, ...));
// - the primary surface is the root window: its size is the screen's and its depth the bits per
//   pixel of the root's ZPixmap images (32 on a 24-bit screen); it cannot be locked;
// - an off-screen plain surface is a shared-memory image (a plain image without MIT-SHM);
//   BltFast from the primary surface is XShmGetImage of the source rectangle, which must lie
//   inside the screen (else DDERR_INVALIDRECT) and lands at (x, y) of the surface;
// - Lock hands out a pointer and pitch such that lpSurface + y * lPitch + bits * x / 8 addresses
//   pixel (x, y) of the rectangle last blitted; only that rectangle is backed by memory;
// - the GDI surface is the primary surface.
// Objects are reference counted like the platform's (AddRef / Release); DDRef holds one reference.
#include "platform/base/WinGdiTypes.h"

#include <cstdint>
#include <utility>

namespace platform {

// The platform's 32-bit result code (the same type as the COM layer's).
using HRESULT = LONG;

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001);
constexpr HRESULT DDERR_INVALIDRECT = static_cast<HRESULT>(0x88760000 | 150);
constexpr HRESULT DDERR_NODIRECTDRAWHW = static_cast<HRESULT>(0x88760000 | 565);
constexpr HRESULT DDERR_NOTLOCKED = static_cast<HRESULT>(0x88760000 | 584);

constexpr DWORD DDSCL_NORMAL = 0x00000008;
constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_PITCH = 0x00000008;
constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;
constexpr DWORD DDSD_LPSURFACE = 0x00000800;
constexpr DWORD DDSD_ALL = 0x00FFF9EE;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr DWORD DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr DWORD DDPF_RGB = 0x00000040;
constexpr DWORD DDBLTFAST_NOCOLORKEY = 0x00000000;
constexpr DWORD DDLOCK_WAIT = 0x00000001;
constexpr DWORD DDLOCK_READONLY = 0x00000010;

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};

struct DDPIXELFORMAT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwFourCC;
    DWORD dwRGBBitCount;
    DWORD dwRBitMask;
    DWORD dwGBitMask;
    DWORD dwBBitMask;
    DWORD dwRGBAlphaBitMask;
};

struct DDSCAPS {
    DWORD dwCaps;
};

// The platform's field order; lpSurface is a native pointer, so the structure is larger than
// the 108 bytes of a 32-bit build (dwSize is sizeof(DDSURFACEDESC)).
struct DDSURFACEDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    DWORD dwRefreshRate;
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    void* lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};
static_assert(sizeof(DDPIXELFORMAT) == 32);

class IDirectDrawSurface {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT GetSurfaceDesc(DDSURFACEDESC* desc) = 0;
    virtual HRESULT BltFast(DWORD x, DWORD y, IDirectDrawSurface* source, RECT* sourceRect,
                            DWORD flags) = 0;
    virtual HRESULT Lock(RECT* rect, DDSURFACEDESC* desc, DWORD flags, void* event) = 0;
    virtual HRESULT Unlock(void* rect) = 0;

protected:
    virtual ~IDirectDrawSurface() = default;
};

class IDirectDraw {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface,
                                  void* outer) = 0;
    virtual HRESULT GetGDISurface(IDirectDrawSurface** surface) = 0;

protected:
    virtual ~IDirectDraw() = default;
};

// driver must be null (the primary display), outer null.
HRESULT DirectDrawCreate(void* driver, IDirectDraw** object, void* outer);

// Holds one reference; Reset releases it.
template <class T>
class DDRef {
public:
    DDRef() = default;
    DDRef(const DDRef&) = delete;
    DDRef& operator=(const DDRef&) = delete;
    DDRef(DDRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    DDRef& operator=(DDRef&& other) noexcept
    {
        if (this != &other)
            Attach(std::exchange(other.m_p, nullptr));
        return *this;
    }
    ~DDRef() { Reset(); }

    void Reset() { Attach(nullptr); }
    void Attach(T* p)
    {
        if (m_p)
            m_p->Release();
        m_p = p;
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases what is held first.
    T** Receive()
    {
        Reset();
        return &m_p;
    }

private:
    T* m_p = nullptr;
};

}  // namespace platform
