// Forwarding of the library calls to the installed implementation.
#include "platform/burnlib/StarBurn.h"
#include "platform/burnlib/LibburnLibrary.h"

#include <atomic>

namespace {

std::atomic<IStarBurn*>& InstalledLibrary()
{
    static std::atomic<IStarBurn*> installed{nullptr};
    return installed;
}

IStarBurn& Library()
{
    IStarBurn* installed = InstalledLibrary().load();
    return installed ? *installed : platform::burnlib::RealStarBurnLibrary();
}

} // namespace

void SetStarBurnLibrary(IStarBurn* library)
{
    InstalledLibrary().store(library);
}

EXCEPTION_NUMBER StarBurn_UpStartEx(void* startupData, ULONG size)
{
    return Library().UpStartEx(startupData, size);
}

EXCEPTION_NUMBER StarBurn_FindDevice(BYTE deviceType, BOOL reserved, PCALLBACK callback,
                                     void* context)
{
    return Library().FindDevice(deviceType, reserved, callback, context);
}

EXCEPTION_NUMBER StarBurn_GetDeviceNameByDeviceAddress(BYTE port, BYTE bus, BYTE targetId,
                                                       BYTE lun, char* name)
{
    return Library().GetDeviceNameByDeviceAddress(port, bus, targetId, lun, name);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_Create(void** burner, char* text, ULONG size,
                                                   ULONG* status,
                                                   CDB_FAILURE_INFORMATION* failure,
                                                   PCALLBACK callback, void* context, BYTE port,
                                                   BYTE bus, BYTE targetId, BYTE lun,
                                                   ULONG bufferSizeInMBytes)
{
    return Library().Create(burner, text, size, status, failure, callback, context, port, bus, targetId, lun, bufferSizeInMBytes);
}

void StarBurn_CdvdBurnerGrabber_Release(void** burner)
{
    Library().Release(burner);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_TestUnitReady(void* burner, char* text, ULONG size,
                                                          ULONG* status,
                                                          CDB_FAILURE_INFORMATION* failure)
{
    return Library().TestUnitReady(burner, text, size, status, failure);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetDeviceInformation(void* burner, char* vendor,
                                                                 char* product, char* revision,
                                                                 ULONG* cacheSize)
{
    return Library().GetDeviceInformation(burner, vendor, product, revision, cacheSize);
}

LONG StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void* burner)
{
    return Library().GetInsertedDiscType(burner);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetSpeeds(void* burner, char* text, ULONG size,
                                                      ULONG* status,
                                                      CDB_FAILURE_INFORMATION* failure,
                                                      ULONG* currentRead, ULONG* maxRead,
                                                      ULONG* currentWrite, ULONG* maxWrite)
{
    return Library().GetSpeeds(burner, text, size, status, failure, currentRead, maxRead, currentWrite, maxWrite);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_SetSpeeds(void* burner, char* text, ULONG size,
                                                      ULONG* status,
                                                      CDB_FAILURE_INFORMATION* failure,
                                                      ULONG readSpeed, ULONG writeSpeed)
{
    return Library().SetSpeeds(burner, text, size, status, failure, readSpeed, writeSpeed);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_Eject(void* burner, char* text, ULONG size,
                                                  ULONG* status,
                                                  CDB_FAILURE_INFORMATION* failure)
{
    return Library().Eject(burner, text, size, status, failure);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetTrackInformation(void* burner, char* text,
                                                                ULONG size, ULONG* status,
                                                                CDB_FAILURE_INFORMATION* failure,
                                                                BYTE trackNumber,
                                                                TRACK_INFORMATION* info)
{
    return Library().GetTrackInformation(burner, text, size, status, failure, trackNumber, info);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetTOCInformation(void* burner, char* text,
                                                              ULONG size, ULONG* status,
                                                              CDB_FAILURE_INFORMATION* failure,
                                                              TOC_INFORMATION* toc)
{
    return Library().GetTOCInformation(burner, text, size, status, failure, toc);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
    void* burner, char* text, ULONG size, ULONG* status, CDB_FAILURE_INFORMATION* failure,
    BOOL* trackAtOnce, BOOL* sessionAtOnce, BOOL* discAtOncePq, BOOL* discAtOnceRawPw)
{
    return Library().ProbeSupportedWriteModes(burner, text, size, status, failure, trackAtOnce, sessionAtOnce, discAtOncePq, discAtOnceRawPw);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetBUP(void* burner, char* text, ULONG size,
                                                   ULONG* status,
                                                   CDB_FAILURE_INFORMATION* failure,
                                                   BOOL* enabled, BOOL* supported)
{
    return Library().GetBUP(burner, text, size, status, failure, enabled, supported);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_SetBUP(void* burner, char* text, ULONG size,
                                                   ULONG* status,
                                                   CDB_FAILURE_INFORMATION* failure,
                                                   BOOL enable)
{
    return Library().SetBUP(burner, text, size, status, failure, enable);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_SendOPC(void* burner, char* text, ULONG size,
                                                    ULONG* status,
                                                    CDB_FAILURE_INFORMATION* failure)
{
    return Library().SendOPC(burner, text, size, status, failure);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
    void* burner, char* text, ULONG size, ULONG* status, CDB_FAILURE_INFORMATION* failure,
    void* treeRoot, BOOL lastSession, BOOL testWrite, BOOL padded, BOOL syncCache,
    ULONG cacheFullTimeoutSeconds)
{
    return Library().TrackAtOnceFromTree(burner, text, size, status, failure, treeRoot, lastSession, testWrite, padded, syncCache, cacheFullTimeoutSeconds);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_CloseSession(void* burner, char* text, ULONG size,
                                                         ULONG* status,
                                                         CDB_FAILURE_INFORMATION* failure)
{
    return Library().CloseSession(burner, text, size, status, failure);
}

void StarBurn_CdvdBurnerGrabber_Cancel(void* burner)
{
    Library().Cancel(burner);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_VideoCDEx(void* burner, char* text, ULONG size,
                                                      ULONG* status,
                                                      CDB_FAILURE_INFORMATION* failure,
                                                      BOOL lastSession, const char* source,
                                                      const char* album, BOOL padded,
                                                      BOOL syncCache, BOOL testWrite,
                                                      BOOL trackClosed,
                                                      ULONG cacheFullTimeoutSeconds)
{
    return Library().VideoCDEx(burner, text, size, status, failure, lastSession, source, album, padded, syncCache, testWrite, trackClosed, cacheFullTimeoutSeconds, FALSE);
}

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_SuperVideoCDEx(void* burner, char* text, ULONG size,
                                                           ULONG* status,
                                                           CDB_FAILURE_INFORMATION* failure,
                                                           BOOL lastSession, const char* source,
                                                           const char* album, BOOL padded,
                                                           BOOL syncCache, BOOL testWrite,
                                                           BOOL trackClosed,
                                                           ULONG cacheFullTimeoutSeconds)
{
    return Library().VideoCDEx(burner, text, size, status, failure, lastSession, source, album, padded, syncCache, testWrite, trackClosed, cacheFullTimeoutSeconds, TRUE);
}

EXCEPTION_NUMBER StarBurn_DVDVideo_Create(void** fileSystem, const char* videoTsFolder,
                                          BOOL recursive, char* text, ULONG size, ULONG* status,
                                          const char* volumeLabel, const char* publisher,
                                          const char* application, LONG year, LONG month,
                                          LONG day, LONG hour, LONG minute, LONG second,
                                          LONG millisecond)
{
    return Library().DVDVideo_Create(fileSystem, videoTsFolder, recursive, text, size, status, volumeLabel, publisher, application, year, month, day, hour, minute, second, millisecond);
}

void StarBurn_DVDVideo_GetSizeInUCHARs(void* fileSystem, LONGLONG* size)
{
    Library().DVDVideo_GetSizeInUCHARs(fileSystem, size);
}

void StarBurn_DVDVideo_GetTreeNodeRoot(void* fileSystem, void** root)
{
    Library().DVDVideo_GetTreeNodeRoot(fileSystem, root);
}

void StarBurn_DVDVideo_Destroy(void** fileSystem)
{
    Library().DVDVideo_Destroy(fileSystem);
}
