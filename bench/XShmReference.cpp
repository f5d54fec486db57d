#include "bench/XShmReference.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

CXShmReference::~CXShmReference()
{
    if (m_bAttached) {
        XShmDetach(m_pDisplay, &m_shm);
        XSync(m_pDisplay, False);
    }
    if (m_shm.shmaddr)
        shmdt(m_shm.shmaddr);
    if (m_pImage) {
        m_pImage->data = nullptr;
        XDestroyImage(m_pImage);
    }
    if (m_pDisplay)
        XCloseDisplay(m_pDisplay);
}

bool CXShmReference::Open(int width, int height)
{
    m_pDisplay = XOpenDisplay(nullptr);
    if (!m_pDisplay || !XShmQueryExtension(m_pDisplay))
        return false;
    int screen = DefaultScreen(m_pDisplay);
    m_pImage = XShmCreateImage(m_pDisplay, DefaultVisual(m_pDisplay, screen),
                               static_cast<unsigned>(DefaultDepth(m_pDisplay, screen)), ZPixmap,
                               nullptr, &m_shm, static_cast<unsigned>(width),
                               static_cast<unsigned>(height));
    if (!m_pImage)
        return false;
    m_shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(m_pImage->bytes_per_line) * height,
                         IPC_CREAT | 0600);
    if (m_shm.shmid < 0)
        return false;
    void* address = shmat(m_shm.shmid, nullptr, 0);
    shmctl(m_shm.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1))
        return false;
    m_shm.shmaddr = m_pImage->data = static_cast<char*>(address);
    m_shm.readOnly = False;
    m_bAttached = XShmAttach(m_pDisplay, &m_shm) && XSync(m_pDisplay, False);
    return m_bAttached;
}

bool CXShmReference::Grab()
{
    return XShmGetImage(m_pDisplay, RootWindow(m_pDisplay, DefaultScreen(m_pDisplay)), m_pImage, 0,
                        0, AllPlanes);
}
