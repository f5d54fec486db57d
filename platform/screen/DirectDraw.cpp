#include "platform/screen/DirectDraw.h"

#include "platform/screen/XConnection.h"
#include "platform/screen/XGrabImage.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

namespace platform {
namespace {

// Reference counting shared by the objects below. Owned by the thread that made them, like the
// platform's single-threaded objects; the count itself is atomic all the same.
template <class Interface>
class CRefCounted : public Interface {
public:
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override
    {
        ULONG left = --m_nRefs;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    std::atomic<ULONG> m_nRefs {1};
};

void DescribeScreen(const CXConnection& x, DDSURFACEDESC* desc)
{
    DWORD size = desc->dwSize;
    std::memset(desc, 0, sizeof *desc);
    desc->dwSize = size;
    desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc->dwWidth = static_cast<DWORD>(x.GetWidth());
    desc->dwHeight = static_cast<DWORD>(x.GetHeight());
    desc->lPitch = x.RowBytes(x.GetWidth());
    DDPIXELFORMAT& pf = desc->ddpfPixelFormat;
    pf.dwSize = sizeof(DDPIXELFORMAT);
    const PixelLayout& layout = x.GetScreenLayout();
    pf.dwRGBBitCount = static_cast<DWORD>(x.GetBitsPerPixel());
    if (layout.palette) {
        pf.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    } else {
        pf.dwFlags = DDPF_RGB;
        pf.dwRBitMask = layout.redMask;
        pf.dwGBitMask = layout.greenMask;
        pf.dwBBitMask = layout.blueMask;
    }
}

class CPrimarySurface final : public CRefCounted<IDirectDrawSurface> {
public:
    explicit CPrimarySurface(std::shared_ptr<CXConnection> connection)
        : m_pConnection(std::move(connection))
    {
    }

    HRESULT GetSurfaceDesc(DDSURFACEDESC* desc) override
    {
        if (!desc || desc->dwSize != sizeof(DDSURFACEDESC))
            return DDERR_INVALIDPARAMS;
        DescribeScreen(*m_pConnection, desc);
        desc->ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        return DD_OK;
    }
    // The screen is read, never written or mapped.
    HRESULT BltFast(DWORD, DWORD, IDirectDrawSurface*, RECT*, DWORD) override { return DDERR_UNSUPPORTED; }
    HRESULT Lock(RECT*, DDSURFACEDESC*, DWORD, void*) override { return DDERR_UNSUPPORTED; }
    HRESULT Unlock(void*) override { return DDERR_NOTLOCKED; }

    const std::shared_ptr<CXConnection>& Connection() const { return m_pConnection; }

private:
    std::shared_ptr<CXConnection> m_pConnection;
};

class COffscreenSurface final : public CRefCounted<IDirectDrawSurface> {
public:
    COffscreenSurface(std::shared_ptr<CXConnection> connection, int width, int height,
                      std::unique_ptr<CXGrabImage> image)
        : m_pConnection(std::move(connection)), m_nWidth(width), m_nHeight(height),
          m_pImage(std::move(image))
    {
    }

    HRESULT GetSurfaceDesc(DDSURFACEDESC* desc) override
    {
        if (!desc || desc->dwSize != sizeof(DDSURFACEDESC))
            return DDERR_INVALIDPARAMS;
        DescribeScreen(*m_pConnection, desc);
        desc->dwWidth = static_cast<DWORD>(m_nWidth);
        desc->dwHeight = static_cast<DWORD>(m_nHeight);
        desc->lPitch = static_cast<LONG>(m_pImage->Stride());
        desc->ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        return DD_OK;
    }

    HRESULT BltFast(DWORD x, DWORD y, IDirectDrawSurface* source, RECT* sourceRect, DWORD) override
    {
        auto* primary = dynamic_cast<CPrimarySurface*>(source);
        if (!primary || primary->Connection() != m_pConnection || m_bLocked)
            return DDERR_INVALIDPARAMS;
        RECT r = sourceRect ? *sourceRect
                            : RECT {0, 0, m_pConnection->GetWidth(), m_pConnection->GetHeight()};
        long width = static_cast<long>(r.right) - r.left, height = static_cast<long>(r.bottom) - r.top;
        if (width <= 0 || height <= 0 || r.left < 0 || r.top < 0 ||
            r.right > m_pConnection->GetWidth() || r.bottom > m_pConnection->GetHeight() ||
            static_cast<long>(x) + width > m_nWidth || static_cast<long>(y) + height > m_nHeight)
            return DDERR_INVALIDRECT;
        if (!m_pImage->Grab(r.left, r.top, static_cast<int>(width), static_cast<int>(height)))
            return DDERR_GENERIC;
        m_nBlitX = x;
        m_nBlitY = y;
        return DD_OK;
    }

    HRESULT Lock(RECT* rect, DDSURFACEDESC* desc, DWORD, void*) override
    {
        if (rect || !desc || desc->dwSize != sizeof(DDSURFACEDESC))
            return DDERR_INVALIDPARAMS;
        HRESULT hr = GetSurfaceDesc(desc);
        if (hr != DD_OK)
            return hr;
        // The last blit is stored packed; shift the origin so that surface coordinates reach it.
        std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(m_nBlitY) * m_pImage->Stride() +
                                static_cast<std::ptrdiff_t>(m_nBlitX) * (m_pConnection->GetBitsPerPixel() / 8);
        desc->lpSurface = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(m_pImage->Data()) -
                                                  static_cast<std::uintptr_t>(offset));
        desc->dwFlags |= DDSD_LPSURFACE;
        m_bLocked = true;
        return DD_OK;
    }

    HRESULT Unlock(void*) override
    {
        if (!m_bLocked)
            return DDERR_NOTLOCKED;
        m_bLocked = false;
        return DD_OK;
    }

private:
    std::shared_ptr<CXConnection> m_pConnection;
    int m_nWidth;
    int m_nHeight;
    std::unique_ptr<CXGrabImage> m_pImage;
    DWORD m_nBlitX = 0;
    DWORD m_nBlitY = 0;
    bool m_bLocked = false;
};

class CDirectDraw final : public CRefCounted<IDirectDraw> {
public:
    explicit CDirectDraw(std::shared_ptr<CXConnection> connection)
        : m_pConnection(std::move(connection))
    {
    }

    HRESULT SetCooperativeLevel(HWND, DWORD flags) override
    {
        // Exclusive and full-screen modes have no counterpart on a shared X screen.
        return flags == DDSCL_NORMAL ? DD_OK : DDERR_UNSUPPORTED;
    }

    HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** surface, void* outer) override
    {
        if (!desc || !surface || outer || desc->dwSize != sizeof(DDSURFACEDESC) ||
            !(desc->dwFlags & DDSD_CAPS))
            return DDERR_INVALIDPARAMS;
        *surface = nullptr;
        DWORD caps = desc->ddsCaps.dwCaps;
        if (caps & DDSCAPS_PRIMARYSURFACE) {
            // One primary surface per object; the object keeps a reference of its own.
            if (!m_pPrimary) {
                m_pPrimary = new (std::nothrow) CPrimarySurface(m_pConnection);
                if (!m_pPrimary)
                    return DDERR_OUTOFMEMORY;
            }
            m_pPrimary->AddRef();
            *surface = m_pPrimary;
            return DD_OK;
        }
        if (caps & DDSCAPS_OFFSCREENPLAIN) {
            if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT) ||
                desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > 0x7FFF ||
                desc->dwHeight > 0x7FFF)
                return DDERR_INVALIDPARAMS;
            int width = static_cast<int>(desc->dwWidth), height = static_cast<int>(desc->dwHeight);
            std::unique_ptr<CXGrabImage> image = CXGrabImage::Create(m_pConnection, width, height);
            if (!image)
                return DDERR_OUTOFMEMORY;
            *surface = new (std::nothrow) COffscreenSurface(m_pConnection, width, height, std::move(image));
            return *surface ? DD_OK : DDERR_OUTOFMEMORY;
        }
        return DDERR_UNSUPPORTED;
    }

    HRESULT GetGDISurface(IDirectDrawSurface** surface) override
    {
        if (!surface)
            return DDERR_INVALIDPARAMS;
        *surface = nullptr;
        if (!m_pPrimary)
            return DDERR_GENERIC;
        m_pPrimary->AddRef();
        *surface = m_pPrimary;
        return DD_OK;
    }

    ~CDirectDraw() override
    {
        if (m_pPrimary)
            m_pPrimary->Release();
    }

private:
    std::shared_ptr<CXConnection> m_pConnection;
    CPrimarySurface* m_pPrimary = nullptr;
};

}  // namespace

HRESULT DirectDrawCreate(void* driver, IDirectDraw** object, void* outer)
{
    if (!object || driver || outer)
        return DDERR_INVALIDPARAMS;
    *object = nullptr;
    std::shared_ptr<CXConnection> connection = CXConnection::Open();
    if (!connection || !IsSupportedLayout(connection->GetScreenLayout()))
        return DDERR_NODIRECTDRAWHW;
    *object = new (std::nothrow) CDirectDraw(std::move(connection));
    return *object ? DD_OK : DDERR_OUTOFMEMORY;
}

}  // namespace platform
