#include "burner/FakeStarBurn.h"

#include "burner/Device.h"

#include <cstdio>
#include <algorithm>
#include <cstring>

namespace {
int g_FileSystemTag = 0;
}

CFakeStarBurn::CFakeStarBurn()
{
    CDevice::Devices().clear();
    SetStarBurnLibrary(this);
}

CFakeStarBurn::~CFakeStarBurn()
{
    CDevice::Devices().clear();
    SetStarBurnLibrary(nullptr);
}

FakeDrive& CFakeStarBurn::AddDrive(BYTE port)
{
    FakeDrive drive;
    drive.m_Address[1] = port;
    drive.m_strName = "/dev/sr" + std::to_string(port);
    m_Drives.push_back(drive);
    return m_Drives.back();
}

bool CFakeStarBurn::Fails(const std::string& call, char* text, ULONG size, ULONG* status)
{
    m_Calls.push_back(call);
    if (m_Failing.count(call) == 0) {
        if (status != nullptr) {
            *status = 0;
        }
        return false;
    }
    if (text != nullptr) {
        std::snprintf(text, size, "%s", m_strFailureText.c_str());
    }
    if (status != nullptr) {
        *status = 7;
    }
    return true;
}

EXCEPTION_NUMBER CFakeStarBurn::UpStartEx(void*, ULONG size)
{
    return Fails("UpStartEx", nullptr, 0, nullptr) || size != 1024 ? m_lFailure : EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::FindDevice(BYTE deviceType, BOOL, PCALLBACK callback, void* context)
{
    if (Fails("FindDevice", nullptr, 0, nullptr) || deviceType != 5) {
        return m_lFailure;
    }
    for (FakeDrive& drive : m_Drives) {
        callback(CN_FIND_DEVICE, context, drive.m_Address, nullptr);
        callback(3, context, drive.m_Address, nullptr); // other events add nothing
    }
    return EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::GetDeviceNameByDeviceAddress(BYTE port, BYTE, BYTE, BYTE, char* name)
{
    if (Fails("GetDeviceNameByDeviceAddress", nullptr, 0, nullptr)) {
        return m_lFailure;
    }
    for (const FakeDrive& drive : m_Drives) {
        if (drive.m_Address[1] == port) {
            std::snprintf(name, 256, "%s", drive.m_strName.c_str());
            return EN_SUCCESS;
        }
    }
    return EN_DEVICE_NOT_FOUND;
}

EXCEPTION_NUMBER CFakeStarBurn::Create(void** burner, char* text, ULONG size, ULONG* status,
                                       CDB_FAILURE_INFORMATION*, PCALLBACK callback, void* context,
                                       BYTE port, BYTE, BYTE, BYTE, ULONG)
{
    if (Fails("Create", text, size, status)) {
        return m_lFailure;
    }
    for (FakeDrive& drive : m_Drives) {
        if (drive.m_Address[1] == port) {
            *burner = new Burner{&drive, callback, context, drive.m_ulMaxWrite};
            ++m_nLiveBurners;
            m_nMaxLiveBurners = std::max(m_nMaxLiveBurners, m_nLiveBurners);
            return EN_SUCCESS;
        }
    }
    return EN_DEVICE_NOT_FOUND;
}

void CFakeStarBurn::Release(void** burner)
{
    if (*burner != nullptr) {
        m_Calls.push_back("Release");
        delete static_cast<Burner*>(*burner);
        *burner = nullptr;
        --m_nLiveBurners;
    }
}

EXCEPTION_NUMBER CFakeStarBurn::TestUnitReady(void* burner, char* text, ULONG size, ULONG* status,
                                              CDB_FAILURE_INFORMATION*)
{
    if (Fails("TestUnitReady", text, size, status)) {
        return m_lFailure;
    }
    return static_cast<Burner*>(burner)->m_pDrive->m_bReady ? EN_SUCCESS : EN_UNIT_NOT_READY;
}

EXCEPTION_NUMBER CFakeStarBurn::GetDeviceInformation(void* burner, char* vendor, char* product,
                                                     char* revision, ULONG* cacheSize)
{
    m_Calls.push_back("GetDeviceInformation");
    const FakeDrive& drive = *static_cast<Burner*>(burner)->m_pDrive;
    std::snprintf(vendor, 1024, "%s", drive.m_strVendor.c_str());
    std::snprintf(product, 1024, "%s", drive.m_strProduct.c_str());
    std::snprintf(revision, 1024, "%s", drive.m_strRevision.c_str());
    *cacheSize = drive.m_ulCacheSize;
    return EN_SUCCESS;
}

LONG CFakeStarBurn::GetInsertedDiscType(void* burner)
{
    m_Calls.push_back("GetInsertedDiscType");
    return static_cast<Burner*>(burner)->m_pDrive->m_lDiscType;
}

EXCEPTION_NUMBER CFakeStarBurn::GetSpeeds(void* burner, char* text, ULONG size, ULONG* status,
                                          CDB_FAILURE_INFORMATION*, ULONG* currentRead,
                                          ULONG* maxRead, ULONG* currentWrite, ULONG* maxWrite)
{
    if (Fails("GetSpeeds", text, size, status)) {
        return m_lFailure;
    }
    const Burner& b = *static_cast<Burner*>(burner);
    *currentRead = *maxRead = 1;
    *currentWrite = b.m_ulCurrentWrite;
    *maxWrite = b.m_pDrive->m_ulMaxWrite;
    return EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::SetSpeeds(void* burner, char* text, ULONG size, ULONG* status,
                                          CDB_FAILURE_INFORMATION*, ULONG readSpeed,
                                          ULONG writeSpeed)
{
    if (Fails("SetSpeeds", text, size, status) || readSpeed != 0xFFFF) {
        return m_lFailure;
    }
    Burner& b = *static_cast<Burner*>(burner);
    m_SpeedRequests.push_back(writeSpeed);
    if (b.m_pDrive->m_RejectedSpeeds.count(writeSpeed) != 0) {
        return m_lFailure;
    }
    b.m_ulCurrentWrite = b.m_pDrive->m_Rounding ? b.m_pDrive->m_Rounding(writeSpeed) : writeSpeed;
    return EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::Eject(void*, char* text, ULONG size, ULONG* status,
                                      CDB_FAILURE_INFORMATION*)
{
    return Fails("Eject", text, size, status) ? m_lFailure : EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::GetTrackInformation(void* burner, char* text, ULONG size,
                                                    ULONG* status, CDB_FAILURE_INFORMATION*,
                                                    BYTE trackNumber, TRACK_INFORMATION* info)
{
    if (Fails("GetTrackInformation", text, size, status)) {
        return m_lFailure;
    }
    const FakeDrive& drive = *static_cast<Burner*>(burner)->m_pDrive;
    *info = trackNumber == 255 ? drive.m_Track255 : drive.m_Track1;
    return EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::GetTOCInformation(void* burner, char* text, ULONG size,
                                                  ULONG* status, CDB_FAILURE_INFORMATION*,
                                                  TOC_INFORMATION* toc)
{
    if (Fails("GetTOCInformation", text, size, status)) {
        return m_lFailure;
    }
    *toc = static_cast<Burner*>(burner)->m_pDrive->m_Toc;
    return EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::ProbeSupportedWriteModes(void* burner, char* text, ULONG size,
                                                         ULONG* status, CDB_FAILURE_INFORMATION*,
                                                         BOOL* trackAtOnce, BOOL* sessionAtOnce,
                                                         BOOL* discAtOncePq, BOOL* discAtOnceRawPw)
{
    if (Fails("ProbeSupportedWriteModes", text, size, status)) {
        return m_lFailure;
    }
    *trackAtOnce = static_cast<Burner*>(burner)->m_pDrive->m_bTrackAtOnce;
    *sessionAtOnce = TRUE;
    *discAtOncePq = FALSE;
    *discAtOnceRawPw = FALSE;
    return EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::GetBUP(void*, char* text, ULONG size, ULONG* status,
                                       CDB_FAILURE_INFORMATION*, BOOL* enabled, BOOL* supported)
{
    if (Fails("GetBUP", text, size, status)) {
        return m_lFailure;
    }
    *enabled = FALSE;
    *supported = TRUE;
    return EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::SetBUP(void*, char* text, ULONG size, ULONG* status,
                                       CDB_FAILURE_INFORMATION*, BOOL enable)
{
    return Fails("SetBUP", text, size, status) || enable != TRUE ? m_lFailure : EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::SendOPC(void*, char* text, ULONG size, ULONG* status,
                                        CDB_FAILURE_INFORMATION*)
{
    return Fails("SendOPC", text, size, status) ? m_lFailure : EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::Write(void* burner)
{
    const Burner& b = *static_cast<Burner*>(burner);
    for (const auto& [code, first, second] : b.m_pDrive->m_WriteEvents) {
        LONGLONG a = first;
        LONGLONG c = second;
        LONG shortValue = static_cast<LONG>(first);
        if (code == 6) {
            b.m_pCallback(code, b.m_pContext, &shortValue, nullptr);
        } else {
            b.m_pCallback(code, b.m_pContext, &a, &c);
        }
    }
    return EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::TrackAtOnceFromTree(void* burner, char* text, ULONG size,
                                                    ULONG* status, CDB_FAILURE_INFORMATION*,
                                                    void* treeRoot, BOOL lastSession,
                                                    BOOL testWrite, BOOL, BOOL, ULONG)
{
    const bool fails = Fails("TrackAtOnceFromTree", text, size, status);
    if (treeRoot == nullptr || !lastSession || testWrite) {
        return EN_INVALID_PARAMETER;
    }
    Write(burner);
    return fails ? m_lFailure : EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::CloseSession(void*, char* text, ULONG size, ULONG* status,
                                             CDB_FAILURE_INFORMATION*)
{
    return Fails("CloseSession", text, size, status) ? m_lFailure : EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::VideoCDEx(void* burner, char* text, ULONG size, ULONG* status,
                                          CDB_FAILURE_INFORMATION*, BOOL, const char* source,
                                          const char* album, BOOL, BOOL, BOOL, BOOL, ULONG,
                                          BOOL superVideoCD)
{
    const bool fails = Fails(superVideoCD ? "SuperVideoCDEx" : "VideoCDEx", text, size, status);
    if (source == nullptr || std::strcmp(album, "Album VideoCDEx") != 0) {
        return EN_INVALID_PARAMETER;
    }
    Write(burner);
    return fails ? m_lFailure : EN_SUCCESS;
}

EXCEPTION_NUMBER CFakeStarBurn::DVDVideo_Create(void** fileSystem, const char*, BOOL, char* text,
                                                ULONG size, ULONG* status, const char* volumeLabel,
                                                const char*, const char*, LONG, LONG, LONG, LONG,
                                                LONG, LONG, LONG)
{
    if (Fails("DVDVideo_Create", text, size, status)) {
        return m_lFailure;
    }
    m_strLastVolumeLabel = volumeLabel;
    *fileSystem = &g_FileSystemTag;
    ++m_nLiveFileSystems;
    return EN_SUCCESS;
}

void CFakeStarBurn::DVDVideo_GetSizeInUCHARs(void*, LONGLONG* size)
{
    *size = 5LL * 1024 * 1024 * 1024; // above 32 bits
}

void CFakeStarBurn::DVDVideo_GetTreeNodeRoot(void* fileSystem, void** root)
{
    *root = fileSystem;
}

void CFakeStarBurn::DVDVideo_Destroy(void** fileSystem)
{
    if (*fileSystem != nullptr) {
        --m_nLiveFileSystems;
        *fileSystem = nullptr;
    }
}
