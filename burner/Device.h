#pragma once
// One CD/DVD device found on the machine, and everything the engine does with it through the
// burning library: discovery, identification, disc type, blank test, recorded size, write speeds,
// eject (Device.cpp) and the burns with their progress callbacks (DeviceBurn.cpp).
//
// Threads: a record is used by one thread at a time, except that the burn's progress callback
// writes the progress percent and operation state while the window's timer reads them (those two
// are atomic), and that RequestCancel may come from any thread (it shares a lock with the
// replacing of the burner object). The device list is rebuilt by FindDevices; callers must not
// hold a record across a rebuild.
#include "burner/SpeedTables.h"
#include "platform/base/WinTypes.h"
#include "platform/burnlib/StarBurn.h"

#include <atomic>
#include <mutex>
#include <vector>

struct BurnJob;

constexpr LONG OPERATION_STATE_IDLE = 0;
constexpr LONG OPERATION_STATE_WRITING = 1;
constexpr LONG OPERATION_STATE_EJECTING = 3;

class CDevice {
public:
    explicit CDevice(const BYTE address[5]);
    // A copy never shares the burner object: the copy creates its own when first needed.
    CDevice(const CDevice& other);
    CDevice& operator=(const CDevice&) = delete;
    ~CDevice();

    // The program-wide device list, in the order the library reported the devices.
    static std::vector<CDevice>& Devices();

    static bool InitStarBurnDll();
    static bool FindDevices();
    static LONG FindDeviceCallback(LONG eventCode, void* context, void* address, void* parameter);

    bool CdvdBurnerGrabberCreate(PCALLBACK callback);
    bool TestUnitReady();
    bool RefreshDeviceInfo();
    bool RefreshDiscType();
    bool RefreshMediaSize();
    bool RefreshAll();
    bool IsBlankDisc();
    bool GetWriteSpeeds(std::vector<SpeedEntry>& speeds);
    bool SetWriteSpeed(ULONG& speed);
    bool Eject();
    bool GetTrackInfo(BYTE trackNumber, TRACK_INFORMATION& info);

    // A burn of this device in progress, or the next one, stops: the operation fails with
    // "Burning stopped." in the log. Any thread. The request stands until ClearCancelRequest,
    // which the burn's starter calls before it starts the worker.
    void RequestCancel();
    void ClearCancelRequest() { m_bCancelRequested = false; }

    bool BurnDVDVideo(BurnJob& job, const char* videoTsFolder);
    bool BurnVideoCD(BurnJob& job, const char* source);
    bool BurnSuperVideoCD(BurnJob& job, const char* source);
    static LONG DVDVideoBurnCallback(LONG eventCode, void* context, void* param1, void* param2);
    static LONG BurnCallback(LONG eventCode, void* context, void* param1, void* param2);

    const BYTE* GetDeviceAddress() const { return DeviceAddress; }
    const char* GetVendor() const { return m_szVendor; }
    const char* GetProduct() const { return m_szProduct; }
    const char* GetRevision() const { return m_szRevision; }
    const char* GetDeviceName() const { return m_szDeviceName; }
    ULONG GetCacheSize() const { return m_ulCacheSize; }
    LONG GetDiscType() const { return m_lDiscType; }
    double GetRecordedSize() const { return m_dRecordedSize; }
    // The low 16 bits of the progress percent, as the window's timer reads it.
    std::int16_t GetProgressPercent() const
    {
        return static_cast<std::int16_t>(m_llProgressPercent.load() & 0xFFFF);
    }
    LONG GetOperationState() const { return m_lOperationState.load(); }
    LONG GetTrackCounter() const { return m_lTrackCounter; }
    LONG GetLastException() const { return m_lLastException; }
    ULONG GetStatus() const { return m_ulStatus; }
    const char* GetExceptionText() const { return m_szExceptionText; }

private:
    enum class CdKind { VideoCD, SuperVideoCD };

    bool EnsureBurner();
    // True (with the log's text) when a cancel has been asked for.
    bool Cancelled();
    void ReleaseBurner();
    // The recorded size is 0 and not known (a failed or missing read).
    void ForgetRecordedSize();
    void ResetCallState();
    // The drive's current and highest write speed (KB/s); the read speeds are not needed here.
    LONG QueryWriteSpeeds(ULONG& currentWrite, ULONG& maxWrite);
    // One call on the burner object: the call state is reset, the object and the call's failure
    // fields are passed first, and the result is kept as the last exception.
    template <class Fn, class... Args> LONG CallBurner(Fn fn, Args... args)
    {
        ResetCallState();
        m_lLastException = fn(m_hCdvdBurnerGrabber, m_szExceptionText, STARBURN_TEXT_SIZE, &m_ulStatus,
                              &m_FailureInformation, args...);
        return m_lLastException;
    }

    bool EnableBufferUnderrunProtection(const char* op, const char* getBupFailureText);
    void SetJobSpeed(BurnJob& job, const char* settingText, const char* failureText);
    void Calibrate(const BurnJob& job, const char* op, const char* simulatingText);
    bool BurnDVDVideoSteps(BurnJob& job, const char* videoTsFolder);
    bool BurnCd(BurnJob& job, const char* source, CdKind kind);
    void OnWriteProgress(void* param1, void* param2);
    // The disc image did not fit the temporary folder: says so in the burn window's log.
    void ReportNoRoom();

    BYTE DeviceAddress[5];
    void* m_hCdvdBurnerGrabber = nullptr;
    char m_szVendor[1024] = "";
    char m_szProduct[1024] = "";
    char m_szRevision[1024] = "";
    char m_szDeviceName[STARBURN_DEVICE_NAME_SIZE] = "";
    ULONG m_ulCacheSize = 0;
    LONG m_lDiscType = DISC_TYPE_NO_MEDIA;
    double m_dRecordedSize = 0.0;
    bool m_bRecordedSizeKnown = false;  // set by a successful RefreshMediaSize
    std::atomic<LONGLONG> m_llProgressPercent{0};
    std::atomic<LONG> m_lOperationState{OPERATION_STATE_IDLE};
    LONG m_lTrackCounter = 0;
    ULONG m_ulStatus = 0;
    char m_szExceptionText[STARBURN_TEXT_SIZE] = "";
    CDB_FAILURE_INFORMATION m_FailureInformation{};
    LONG m_lLastException = 0;
    // The DVD-Video image of the burn in progress.
    void* m_hDvdVideoFileSystem = nullptr;
    std::atomic<bool> m_bCancelRequested{false};
    std::mutex m_BurnerLock;  // the burner object's replacement against RequestCancel
};
