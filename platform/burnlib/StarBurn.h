#pragma once
// The burning library's calls, under the names the engine's messages give them, as a layer of
// ours over libburn (see LibburnLibrary.h). Each free function forwards to the installed
// IStarBurn; the real one is used unless a test installs another with SetStarBurnLibrary.
//
// Conventions shared by the calls: a result of 0 (EN_SUCCESS) is success, anything else is an
// exception number; "text, size, status, failure" are the caller's exception text buffer (filled
// with the cause, always terminated), its size, the status out-value (a libburn error code, or an
// errno for tool failures, 0 on success) and the failure record.
#include "platform/base/WinTypes.h"

#include <cstddef>
#include <cstring>

using EXCEPTION_NUMBER = LONG;
using PCALLBACK = LONG (*)(LONG eventCode, void* context, void* param1, void* param2);

// Exception numbers of the layer.
constexpr EXCEPTION_NUMBER EN_SUCCESS = 0;
constexpr EXCEPTION_NUMBER EN_GENERIC_FAILURE = 1;
constexpr EXCEPTION_NUMBER EN_INVALID_PARAMETER = 2;
constexpr EXCEPTION_NUMBER EN_NOT_STARTED = 3;
constexpr EXCEPTION_NUMBER EN_DEVICE_NOT_FOUND = 4;
constexpr EXCEPTION_NUMBER EN_UNIT_NOT_READY = 5;
constexpr EXCEPTION_NUMBER EN_UNSUPPORTED = 6;
constexpr EXCEPTION_NUMBER EN_BUFFER_TOO_SMALL = 7;
constexpr EXCEPTION_NUMBER EN_TOOL_FAILED = 8;
constexpr EXCEPTION_NUMBER EN_WRITE_FAILED = 9;
constexpr EXCEPTION_NUMBER EN_NO_ROOM = 10;  // the temporary folder cannot hold the disc image

// Callback events.
constexpr LONG CN_FIND_DEVICE = 10;
constexpr LONG CN_TARGET_FILE_ANALYZE_BEGIN = 4;
constexpr LONG CN_TARGET_FILE_ANALYZE_END = 5;
constexpr LONG CN_WAIT_CACHE_FULL_BEGIN = 6;
constexpr LONG CN_WAIT_CACHE_FULL_END = 7;
constexpr LONG CN_SYNCHRONIZE_CACHE_BEGIN = 8;
constexpr LONG CN_SYNCHRONIZE_CACHE_END = 9;
constexpr LONG CN_CDVD_WRITE_PROGRESS = 12;

// SCSI peripheral device type of CD/DVD devices, for the device search.
constexpr BYTE SCSI_DEVICE_RO_DIRECT_ACCESS = 5;
// Speed value meaning "leave the read speed as it is".
constexpr ULONG CDVD_SPEED_IS_KEPT = 0xFFFF;

constexpr ULONG STARBURN_TEXT_SIZE = 1024;
constexpr ULONG STARBURN_DEVICE_NAME_SIZE = 256;
constexpr ULONG STARBURN_STARTUP_DATA_SIZE = 1024;

// Disc type codes, as the engine's disc type table knows them.
constexpr LONG DISC_TYPE_UNKNOWN = 0;
constexpr LONG DISC_TYPE_CDR = 2;
constexpr LONG DISC_TYPE_CDRW = 3;
constexpr LONG DISC_TYPE_CDROM = 4;
constexpr LONG DISC_TYPE_DVDR = 5;
constexpr LONG DISC_TYPE_DVDRAM = 6;
constexpr LONG DISC_TYPE_DVDPLUSR = 7;
constexpr LONG DISC_TYPE_DVDPLUSRW = 8;
constexpr LONG DISC_TYPE_DVDRW = 9;
constexpr LONG DISC_TYPE_DVDROM = 10;
constexpr LONG DISC_TYPE_DVDR_DL = 13;
constexpr LONG DISC_TYPE_NO_MEDIA = 14;
constexpr LONG DISC_TYPE_DVDPLUSR_DL = 15;

// Details of a failed call (56 bytes).
struct CDB_FAILURE_INFORMATION {
    LONG m_lErrorCode;     // libburn's error code of the cause, 0 if none
    LONG m_lOsErrno;       // errno of the cause, 0 if none
    BYTE m_SenseKey;       // SCSI sense of the cause when libburn names it, else 0
    BYTE m_Asc;
    BYTE m_Ascq;
    BYTE m_Reserved;
    char m_szSeverity[44]; // libburn's severity word ("FAILURE", "SORRY" ...)
};
static_assert(sizeof(CDB_FAILURE_INFORMATION) == 56);

// Information on one track (28 bytes). Track 255 is the invisible (next) track: its size is the
// number of blocks already recorded on the disc.
struct TRACK_INFORMATION {
    ULONG m_ulTrackNumber;       // 0
    ULONG m_ulSessionNumber;     // 4
    BYTE m_bReserved;            // 8
    BYTE m_bIsBlank;             // 9: non-zero = the track is blank
    BYTE m_bIsPacket;            // 10
    BYTE m_bIsFixedPacket;       // 11
    ULONG m_ulTrackStartAddress; // 12
    ULONG m_ulTrackSize;         // 16: blocks
    ULONG m_ulFreeBlocks;        // 20: blocks the disc can still take (blank and next track)
    ULONG m_ulNextWritableAddress; // 24
};
static_assert(sizeof(TRACK_INFORMATION) == 28);
static_assert(offsetof(TRACK_INFORMATION, m_bIsBlank) == 9);
static_assert(offsetof(TRACK_INFORMATION, m_ulTrackSize) == 16);

// Table of contents: a packed record. Byte 10 is the track count; track k (from 0) is a 34-byte
// entry whose start address, end address (both signed blocks) and block size lie at byte
// offsets 15 + 34k, 22 + 34k and 38 + 34k.
struct TOC_INFORMATION {
    static constexpr std::size_t TRACK_COUNT_OFFSET = 10;
    static constexpr std::size_t TRACK_STRIDE = 34;
    static constexpr std::size_t START_OFFSET = 15;
    static constexpr std::size_t END_OFFSET = 22;
    static constexpr std::size_t BLOCK_SIZE_OFFSET = 38;
    static constexpr std::size_t MAX_TRACKS = 99;

    BYTE m_Raw[BLOCK_SIZE_OFFSET + TRACK_STRIDE * MAX_TRACKS + 4];

    BYTE TrackCount() const { return m_Raw[TRACK_COUNT_OFFSET]; }
    LONG TrackStart(std::size_t k) const { return Read(START_OFFSET + TRACK_STRIDE * k); }
    LONG TrackEnd(std::size_t k) const { return Read(END_OFFSET + TRACK_STRIDE * k); }
    ULONG TrackBlockSize(std::size_t k) const
    {
        return static_cast<ULONG>(Read(BLOCK_SIZE_OFFSET + TRACK_STRIDE * k));
    }
    void SetTrackCount(BYTE count) { m_Raw[TRACK_COUNT_OFFSET] = count; }
    void SetTrack(std::size_t k, LONG start, LONG end, ULONG blockSize)
    {
        Write(START_OFFSET + TRACK_STRIDE * k, start);
        Write(END_OFFSET + TRACK_STRIDE * k, end);
        Write(BLOCK_SIZE_OFFSET + TRACK_STRIDE * k, static_cast<LONG>(blockSize));
    }

private:
    LONG Read(std::size_t offset) const
    {
        LONG value;
        std::memcpy(&value, m_Raw + offset, sizeof value);
        return value;
    }
    void Write(std::size_t offset, LONG value) { std::memcpy(m_Raw + offset, &value, sizeof value); }
};

// The library's calls as an interface, so tests can stand in for the drives. Parameter meanings
// are those of the free functions below.
class IStarBurn {
public:
    virtual ~IStarBurn() = default;

    virtual EXCEPTION_NUMBER UpStartEx(void* startupData, ULONG size) = 0;
    virtual EXCEPTION_NUMBER FindDevice(BYTE deviceType, BOOL reserved, PCALLBACK callback,
                                        void* context) = 0;
    virtual EXCEPTION_NUMBER GetDeviceNameByDeviceAddress(BYTE port, BYTE bus, BYTE targetId,
                                                          BYTE lun, char* name) = 0;

    virtual EXCEPTION_NUMBER Create(void** burner, char* text, ULONG size, ULONG* status,
                                    CDB_FAILURE_INFORMATION* failure, PCALLBACK callback,
                                    void* context, BYTE port, BYTE bus, BYTE targetId, BYTE lun,
                                    ULONG bufferSizeInMBytes) = 0;
    virtual void Release(void** burner) = 0;
    virtual EXCEPTION_NUMBER TestUnitReady(void* burner, char* text, ULONG size, ULONG* status,
                                           CDB_FAILURE_INFORMATION* failure) = 0;
    virtual EXCEPTION_NUMBER GetDeviceInformation(void* burner, char* vendor, char* product,
                                                  char* revision, ULONG* cacheSize) = 0;
    virtual LONG GetInsertedDiscType(void* burner) = 0;
    virtual EXCEPTION_NUMBER GetSpeeds(void* burner, char* text, ULONG size, ULONG* status,
                                       CDB_FAILURE_INFORMATION* failure, ULONG* currentRead,
                                       ULONG* maxRead, ULONG* currentWrite, ULONG* maxWrite) = 0;
    virtual EXCEPTION_NUMBER SetSpeeds(void* burner, char* text, ULONG size, ULONG* status,
                                       CDB_FAILURE_INFORMATION* failure, ULONG readSpeed,
                                       ULONG writeSpeed) = 0;
    virtual EXCEPTION_NUMBER Eject(void* burner, char* text, ULONG size, ULONG* status,
                                   CDB_FAILURE_INFORMATION* failure) = 0;
    virtual EXCEPTION_NUMBER GetTrackInformation(void* burner, char* text, ULONG size,
                                                 ULONG* status, CDB_FAILURE_INFORMATION* failure,
                                                 BYTE trackNumber, TRACK_INFORMATION* info) = 0;
    virtual EXCEPTION_NUMBER GetTOCInformation(void* burner, char* text, ULONG size,
                                               ULONG* status, CDB_FAILURE_INFORMATION* failure,
                                               TOC_INFORMATION* toc) = 0;

    virtual EXCEPTION_NUMBER ProbeSupportedWriteModes(void* burner, char* text, ULONG size,
                                                      ULONG* status,
                                                      CDB_FAILURE_INFORMATION* failure,
                                                      BOOL* trackAtOnce, BOOL* sessionAtOnce,
                                                      BOOL* discAtOncePq,
                                                      BOOL* discAtOnceRawPw) = 0;
    virtual EXCEPTION_NUMBER GetBUP(void* burner, char* text, ULONG size, ULONG* status,
                                    CDB_FAILURE_INFORMATION* failure, BOOL* enabled,
                                    BOOL* supported) = 0;
    virtual EXCEPTION_NUMBER SetBUP(void* burner, char* text, ULONG size, ULONG* status,
                                    CDB_FAILURE_INFORMATION* failure, BOOL enable) = 0;
    virtual EXCEPTION_NUMBER SendOPC(void* burner, char* text, ULONG size, ULONG* status,
                                     CDB_FAILURE_INFORMATION* failure) = 0;
    virtual EXCEPTION_NUMBER TrackAtOnceFromTree(void* burner, char* text, ULONG size,
                                                 ULONG* status, CDB_FAILURE_INFORMATION* failure,
                                                 void* treeRoot, BOOL lastSession, BOOL testWrite,
                                                 BOOL padded, BOOL syncCache,
                                                 ULONG cacheFullTimeoutSeconds) = 0;
    virtual EXCEPTION_NUMBER CloseSession(void* burner, char* text, ULONG size, ULONG* status,
                                          CDB_FAILURE_INFORMATION* failure) = 0;
    virtual void Cancel(void* burner) = 0;
    virtual EXCEPTION_NUMBER VideoCDEx(void* burner, char* text, ULONG size, ULONG* status,
                                       CDB_FAILURE_INFORMATION* failure, BOOL lastSession,
                                       const char* source, const char* album, BOOL padded,
                                       BOOL syncCache, BOOL testWrite, BOOL trackClosed,
                                       ULONG cacheFullTimeoutSeconds, BOOL superVideoCD) = 0;

    virtual EXCEPTION_NUMBER DVDVideo_Create(void** fileSystem, const char* videoTsFolder,
                                             BOOL recursive, char* text, ULONG size,
                                             ULONG* status, const char* volumeLabel,
                                             const char* publisher, const char* application,
                                             LONG year, LONG month, LONG day, LONG hour,
                                             LONG minute, LONG second, LONG millisecond) = 0;
    virtual void DVDVideo_GetSizeInUCHARs(void* fileSystem, LONGLONG* size) = 0;
    virtual void DVDVideo_GetTreeNodeRoot(void* fileSystem, void** root) = 0;
    virtual void DVDVideo_Destroy(void** fileSystem) = 0;
};

// Installs the library the free functions use (nullptr: the real one again). Tests only; not to
// be called while a call is in progress.
void SetStarBurnLibrary(IStarBurn* library);

// Start-up: 0 = started; later start-ups succeed at once.
EXCEPTION_NUMBER StarBurn_UpStartEx(void* startupData, ULONG size);
// Device search: calls callback(CN_FIND_DEVICE, context, BYTE address[5], nullptr) for each
// CD/DVD device (leading byte, port, bus, target id, LUN); returns when done.
EXCEPTION_NUMBER StarBurn_FindDevice(BYTE deviceType, BOOL reserved, PCALLBACK callback,
                                     void* context);
// Fills name (STARBURN_DEVICE_NAME_SIZE characters) with the device's path.
EXCEPTION_NUMBER StarBurn_GetDeviceNameByDeviceAddress(BYTE port, BYTE bus, BYTE targetId,
                                                       BYTE lun, char* name);

EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_Create(void** burner, char* text, ULONG size,
                                                   ULONG* status,
                                                   CDB_FAILURE_INFORMATION* failure,
                                                   PCALLBACK callback, void* context, BYTE port,
                                                   BYTE bus, BYTE targetId, BYTE lun,
                                                   ULONG bufferSizeInMBytes);
// Destroys the burner object and sets the handle to nullptr; a null handle is left alone.
void StarBurn_CdvdBurnerGrabber_Release(void** burner);
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_TestUnitReady(void* burner, char* text, ULONG size,
                                                          ULONG* status,
                                                          CDB_FAILURE_INFORMATION* failure);
// Vendor, product, revision (buffers of STARBURN_TEXT_SIZE) and the drive buffer in bytes.
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetDeviceInformation(void* burner, char* vendor,
                                                                 char* product, char* revision,
                                                                 ULONG* cacheSize);
LONG StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void* burner);
// Speeds in KB/s.
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetSpeeds(void* burner, char* text, ULONG size,
                                                      ULONG* status,
                                                      CDB_FAILURE_INFORMATION* failure,
                                                      ULONG* currentRead, ULONG* maxRead,
                                                      ULONG* currentWrite, ULONG* maxWrite);
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_SetSpeeds(void* burner, char* text, ULONG size,
                                                      ULONG* status,
                                                      CDB_FAILURE_INFORMATION* failure,
                                                      ULONG readSpeed, ULONG writeSpeed);
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_Eject(void* burner, char* text, ULONG size,
                                                  ULONG* status,
                                                  CDB_FAILURE_INFORMATION* failure);
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetTrackInformation(void* burner, char* text,
                                                                ULONG size, ULONG* status,
                                                                CDB_FAILURE_INFORMATION* failure,
                                                                BYTE trackNumber,
                                                                TRACK_INFORMATION* info);
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetTOCInformation(void* burner, char* text,
                                                              ULONG size, ULONG* status,
                                                              CDB_FAILURE_INFORMATION* failure,
                                                              TOC_INFORMATION* toc);
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
    void* burner, char* text, ULONG size, ULONG* status, CDB_FAILURE_INFORMATION* failure,
    BOOL* trackAtOnce, BOOL* sessionAtOnce, BOOL* discAtOncePq, BOOL* discAtOnceRawPw);
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_GetBUP(void* burner, char* text, ULONG size,
                                                   ULONG* status,
                                                   CDB_FAILURE_INFORMATION* failure,
                                                   BOOL* enabled, BOOL* supported);
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_SetBUP(void* burner, char* text, ULONG size,
                                                   ULONG* status,
                                                   CDB_FAILURE_INFORMATION* failure,
                                                   BOOL enable);
// Optimum power calibration: the drive calibrates before the next write.
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_SendOPC(void* burner, char* text, ULONG size,
                                                    ULONG* status,
                                                    CDB_FAILURE_INFORMATION* failure);
// One track-at-once write of the tree's image. lastSession: the write closes the disc;
// testWrite: simulate; padded: pad the track to whole blocks; syncCache: flush the drive cache at
// the end; cacheFullTimeoutSeconds: how long to wait for the drive buffer to fill.
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
    void* burner, char* text, ULONG size, ULONG* status, CDB_FAILURE_INFORMATION* failure,
    void* treeRoot, BOOL lastSession, BOOL testWrite, BOOL padded, BOOL syncCache,
    ULONG cacheFullTimeoutSeconds);
// Succeeds when the last write ended well and left its session closed.
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_CloseSession(void* burner, char* text, ULONG size,
                                                         ULONG* status,
                                                         CDB_FAILURE_INFORMATION* failure);
// Stops the write running on the burner object, or the next one it starts: that write fails.
// Safe from any thread while the object lives; the only call that is.
void StarBurn_CdvdBurnerGrabber_Cancel(void* burner);
// Formats a Video CD (or Super Video CD) image from the MPEG source and writes it.
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_VideoCDEx(void* burner, char* text, ULONG size,
                                                      ULONG* status,
                                                      CDB_FAILURE_INFORMATION* failure,
                                                      BOOL lastSession, const char* source,
                                                      const char* album, BOOL padded,
                                                      BOOL syncCache, BOOL testWrite,
                                                      BOOL trackClosed,
                                                      ULONG cacheFullTimeoutSeconds);
EXCEPTION_NUMBER StarBurn_CdvdBurnerGrabber_SuperVideoCDEx(void* burner, char* text, ULONG size,
                                                           ULONG* status,
                                                           CDB_FAILURE_INFORMATION* failure,
                                                           BOOL lastSession, const char* source,
                                                           const char* album, BOOL padded,
                                                           BOOL syncCache, BOOL testWrite,
                                                           BOOL trackClosed,
                                                           ULONG cacheFullTimeoutSeconds);

// Builds the DVD-Video file system image of a VIDEO_TS folder.
EXCEPTION_NUMBER StarBurn_DVDVideo_Create(void** fileSystem, const char* videoTsFolder,
                                          BOOL recursive, char* text, ULONG size, ULONG* status,
                                          const char* volumeLabel, const char* publisher,
                                          const char* application, LONG year, LONG month,
                                          LONG day, LONG hour, LONG minute, LONG second,
                                          LONG millisecond);
void StarBurn_DVDVideo_GetSizeInUCHARs(void* fileSystem, LONGLONG* size);
void StarBurn_DVDVideo_GetTreeNodeRoot(void* fileSystem, void** root);
// Destroys the file system object (its image file is deleted) and sets the handle to nullptr.
void StarBurn_DVDVideo_Destroy(void** fileSystem);
