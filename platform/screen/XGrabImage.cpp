#include "platform/screen/XGrabImage.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>
#include <new>

namespace platform {

std::unique_ptr<CXGrabImage> CXGrabImage::Create(std::shared_ptr<CXConnection> connection,
                                                 int width, int height)
{
    if (!connection || width <= 0 || height <= 0 || !IsSupportedLayout(connection->GetScreenLayout()))
        return nullptr;
    std::unique_ptr<CXGrabImage> image(new CXGrabImage(std::move(connection), width, height));
    if (image->m_pConnection->HasShm() && image->CreateShared())
        return image;
    // A server that cannot attach our segment (another host, no MIT-SHM) still answers GetImage.
    if (image->CreatePlain())
        return image;
    return nullptr;
}

CXGrabImage::CXGrabImage(std::shared_ptr<CXConnection> connection, int width, int height)
    : m_pConnection(std::move(connection)), m_nWidth(width), m_nHeight(height)
{
}

CXGrabImage::~CXGrabImage()
{
    Display* dpy = m_pConnection->GetDisplay();
    if (m_bAttached) {
        XShmDetach(dpy, &m_shm);
        m_pConnection->SyncAndTakeError();
    }
    if (m_bShm && m_shm.shmaddr)
        shmdt(m_shm.shmaddr);
    if (m_pImage) {
        // The pixels are ours (segment or vector), not Xlib's to free.
        m_pImage->data = nullptr;
        XDestroyImage(m_pImage);
    }
}

bool CXGrabImage::CreateShared()
{
    Display* dpy = m_pConnection->GetDisplay();
    m_pImage = XShmCreateImage(dpy, m_pConnection->GetVisual(),
                               static_cast<unsigned>(m_pConnection->GetDepth()), ZPixmap, nullptr,
                               &m_shm, static_cast<unsigned>(m_nWidth),
                               static_cast<unsigned>(m_nHeight));
    if (!m_pImage)
        return false;
    auto size = static_cast<std::size_t>(m_pImage->bytes_per_line) * static_cast<std::size_t>(m_nHeight);
    // Only this user may read the screen copy.
    m_shm.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (m_shm.shmid < 0) {
        XDestroyImage(m_pImage);
        m_pImage = nullptr;
        return false;
    }
    void* address = shmat(m_shm.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(m_shm.shmid, IPC_RMID, nullptr);
        XDestroyImage(m_pImage);
        m_pImage = nullptr;
        return false;
    }
    m_bShm = true;
    m_shm.shmaddr = static_cast<char*>(address);
    m_shm.readOnly = False;
    m_pImage->data = m_shm.shmaddr;

    m_pConnection->TakeError();
    Status attached = XShmAttach(dpy, &m_shm);
    int error = m_pConnection->SyncAndTakeError();
    // Both sides are attached now (or never will be): the segment goes with the last detach,
    // so it cannot outlive a crash.
    shmctl(m_shm.shmid, IPC_RMID, nullptr);
    if (!attached || error != Success) {
        shmdt(m_shm.shmaddr);
        m_shm.shmaddr = nullptr;
        m_bShm = false;
        m_pImage->data = nullptr;
        XDestroyImage(m_pImage);
        m_pImage = nullptr;
        return false;
    }
    m_bAttached = true;
    m_nStride = m_pImage->bytes_per_line;
    return true;
}

bool CXGrabImage::CreatePlain()
{
    int stride = m_pConnection->RowBytes(m_nWidth);
    try {
        m_plain.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(m_nHeight), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_nStride = stride;
    return true;
}

bool CXGrabImage::Grab(int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0 || width > m_nWidth || height > m_nHeight || x < 0 || y < 0 ||
        x + width > m_pConnection->GetWidth() || y + height > m_pConnection->GetHeight())
        return false;
    Display* dpy = m_pConnection->GetDisplay();
    if (m_bAttached) {
        // The server writes rows of the requested width, packed from the segment's start.
        m_pImage->width = width;
        m_pImage->height = height;
        m_pImage->bytes_per_line = m_pConnection->RowBytes(width);
        Status ok = XShmGetImage(dpy, m_pConnection->GetRoot(), m_pImage, x, y, AllPlanes);
        int error = m_pConnection->TakeError();
        m_nStride = m_pImage->bytes_per_line;
        return ok && error == Success;
    }
    XImage* image = XGetImage(dpy, m_pConnection->GetRoot(), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    int error = m_pConnection->TakeError();
    if (!image)
        return false;
    bool ok = error == Success && image->bits_per_pixel == m_pConnection->GetBitsPerPixel() &&
              image->data != nullptr;
    if (ok) {
        std::ptrdiff_t stride = m_pConnection->RowBytes(width);
        std::size_t rowBytes = static_cast<std::size_t>(width) * (image->bits_per_pixel / 8);
        for (int row = 0; row < height; ++row)
            std::memcpy(m_plain.data() + row * stride, image->data + row * image->bytes_per_line,
                        rowBytes);
        m_nStride = stride;
    }
    XDestroyImage(image);
    return ok;
}

const std::uint8_t* CXGrabImage::Data() const
{
    if (m_bAttached)
        return reinterpret_cast<const std::uint8_t*>(m_pImage->data);
    return m_plain.data();
}

std::ptrdiff_t CXGrabImage::Stride() const
{
    return m_nStride;
}

}  // namespace platform
