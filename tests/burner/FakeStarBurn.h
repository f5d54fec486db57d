#pragma once
// A burning library for tests: drives with scripted discs, speeds and failures, and a log of the
// calls made. Installed for the life of the object; the device list is emptied on both ends.
#include "platform/burnlib/StarBurn.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

struct FakeDrive {
    BYTE m_Address[5] = {0, 0, 0, 0, 0};
    std::string m_strName = "/dev/sr0";
    std::string m_strVendor = "VENDOR";
    std::string m_strProduct = "PRODUCT";
    std::string m_strRevision = "1.00";
    ULONG m_ulCacheSize = 2 * 1024 * 1024;
    bool m_bReady = true;
    LONG m_lDiscType = 5;
    ULONG m_ulMaxWrite = 22160;
    // The speed the drive takes for a request; by default the request itself.
    std::function<ULONG(ULONG)> m_Rounding;
    std::set<ULONG> m_RejectedSpeeds;
    TRACK_INFORMATION m_Track1{};
    TRACK_INFORMATION m_Track255{};
    TOC_INFORMATION m_Toc{};
    BOOL m_bTrackAtOnce = TRUE;
    // Events the write call sends: (code, first value, second value).
    std::vector<std::tuple<LONG, LONGLONG, LONGLONG>> m_WriteEvents;
};

class CFakeStarBurn : public IStarBurn {
public:
    CFakeStarBurn();
    ~CFakeStarBurn() override;

    FakeDrive& AddDrive(BYTE port);

    // Names of calls that fail ("Create", "GetSpeeds", "SetBUP", "TrackAtOnceFromTree" ...).
    std::set<std::string> m_Failing;
    EXCEPTION_NUMBER m_lFailure = 42;
    std::string m_strFailureText = "scripted failure";
    std::vector<FakeDrive> m_Drives;
    std::vector<std::string> m_Calls;
    std::vector<ULONG> m_SpeedRequests;
    std::string m_strLastVolumeLabel;
    int m_nLiveBurners = 0;
    int m_nMaxLiveBurners = 0;
    int m_nLiveFileSystems = 0;

    EXCEPTION_NUMBER UpStartEx(void* startupData, ULONG size) override;
    EXCEPTION_NUMBER FindDevice(BYTE deviceType, BOOL reserved, PCALLBACK callback,
                                void* context) override;
    EXCEPTION_NUMBER GetDeviceNameByDeviceAddress(BYTE port, BYTE bus, BYTE targetId, BYTE lun,
                                                  char* name) override;
    EXCEPTION_NUMBER Create(void** burner, char* text, ULONG size, ULONG* status,
                            CDB_FAILURE_INFORMATION* failure, PCALLBACK callback, void* context,
                            BYTE port, BYTE bus, BYTE targetId, BYTE lun,
                            ULONG bufferSizeInMBytes) override;
    void Release(void** burner) override;
    EXCEPTION_NUMBER TestUnitReady(void* burner, char* text, ULONG size, ULONG* status,
                                   CDB_FAILURE_INFORMATION* failure) override;
    EXCEPTION_NUMBER GetDeviceInformation(void* burner, char* vendor, char* product,
                                          char* revision, ULONG* cacheSize) override;
    LONG GetInsertedDiscType(void* burner) override;
    EXCEPTION_NUMBER GetSpeeds(void* burner, char* text, ULONG size, ULONG* status,
                               CDB_FAILURE_INFORMATION* failure, ULONG* currentRead, ULONG* maxRead,
                               ULONG* currentWrite, ULONG* maxWrite) override;
    EXCEPTION_NUMBER SetSpeeds(void* burner, char* text, ULONG size, ULONG* status,
                               CDB_FAILURE_INFORMATION* failure, ULONG readSpeed,
                               ULONG writeSpeed) override;
    EXCEPTION_NUMBER Eject(void* burner, char* text, ULONG size, ULONG* status,
                           CDB_FAILURE_INFORMATION* failure) override;
    EXCEPTION_NUMBER GetTrackInformation(void* burner, char* text, ULONG size, ULONG* status,
                                         CDB_FAILURE_INFORMATION* failure, BYTE trackNumber,
                                         TRACK_INFORMATION* info) override;
    EXCEPTION_NUMBER GetTOCInformation(void* burner, char* text, ULONG size, ULONG* status,
                                       CDB_FAILURE_INFORMATION* failure,
                                       TOC_INFORMATION* toc) override;
    EXCEPTION_NUMBER ProbeSupportedWriteModes(void* burner, char* text, ULONG size, ULONG* status,
                                              CDB_FAILURE_INFORMATION* failure, BOOL* trackAtOnce,
                                              BOOL* sessionAtOnce, BOOL* discAtOncePq,
                                              BOOL* discAtOnceRawPw) override;
    EXCEPTION_NUMBER GetBUP(void* burner, char* text, ULONG size, ULONG* status,
                            CDB_FAILURE_INFORMATION* failure, BOOL* enabled,
                            BOOL* supported) override;
    EXCEPTION_NUMBER SetBUP(void* burner, char* text, ULONG size, ULONG* status,
                            CDB_FAILURE_INFORMATION* failure, BOOL enable) override;
    EXCEPTION_NUMBER SendOPC(void* burner, char* text, ULONG size, ULONG* status,
                             CDB_FAILURE_INFORMATION* failure) override;
    EXCEPTION_NUMBER TrackAtOnceFromTree(void* burner, char* text, ULONG size, ULONG* status,
                                         CDB_FAILURE_INFORMATION* failure, void* treeRoot,
                                         BOOL lastSession, BOOL testWrite, BOOL padded,
                                         BOOL syncCache, ULONG cacheFullTimeoutSeconds) override;
    EXCEPTION_NUMBER CloseSession(void* burner, char* text, ULONG size, ULONG* status,
                                  CDB_FAILURE_INFORMATION* failure) override;
    void Cancel(void*) override { m_Calls.push_back("Cancel"); }
    EXCEPTION_NUMBER VideoCDEx(void* burner, char* text, ULONG size, ULONG* status,
                               CDB_FAILURE_INFORMATION* failure, BOOL lastSession,
                               const char* source, const char* album, BOOL padded, BOOL syncCache,
                               BOOL testWrite, BOOL trackClosed, ULONG cacheFullTimeoutSeconds,
                               BOOL superVideoCD) override;
    EXCEPTION_NUMBER DVDVideo_Create(void** fileSystem, const char* videoTsFolder, BOOL recursive,
                                     char* text, ULONG size, ULONG* status,
                                     const char* volumeLabel, const char* publisher,
                                     const char* application, LONG year, LONG month, LONG day,
                                     LONG hour, LONG minute, LONG second,
                                     LONG millisecond) override;
    void DVDVideo_GetSizeInUCHARs(void* fileSystem, LONGLONG* size) override;
    void DVDVideo_GetTreeNodeRoot(void* fileSystem, void** root) override;
    void DVDVideo_Destroy(void** fileSystem) override;

private:
    struct Burner {
        FakeDrive* m_pDrive;
        PCALLBACK m_pCallback;
        void* m_pContext;
        ULONG m_ulCurrentWrite;
    };
    // Logs the call; true (and the out-values filled) when it is scripted to fail.
    bool Fails(const std::string& call, char* text, ULONG size, ULONG* status);
    EXCEPTION_NUMBER Write(void* burner);

};
