#pragma once
// The burner object: one drive grabbed through libburn, with what the engine asks of it.
//
// A pseudo drive ("stdio:<file>") is written like a blank overwritable DVD. libburn reports no
// speeds for it, so it offers the DVD speeds up to 16x and remembers the one set, so that speed
// probing runs on it as on a real drive, and writes no faster than the speed set. Its recorded
// size is its file's size, so it is blank only while the file is missing or empty; it takes at
// most what a DVD+RW takes. Its eject is a no-op.
//
// One thread at a time uses an object, except Cancel; the write reports progress on the calling
// thread.
#include "platform/burnlib/CallOutput.h"
#include "platform/burnlib/StarBurn.h"

#include <atomic>
#include <memory>
#include <string>

namespace burn {
struct burn_drive;
struct burn_drive_info;
} // namespace burn

namespace platform::burnlib {

class CDiscImage;

struct WriteOptions {
    bool m_bLastSession = true; // close the disc with this session
    bool m_bTestWrite = false;
    bool m_bPadded = true;
    bool m_bSyncCache = true;
    ULONG m_ulCacheFullTimeoutSeconds = 5;
};

class CLibburnDrive {
public:
    // address: libburn's drive address ("/dev/sr0", "stdio:/path/disc.img").
    static std::unique_ptr<CLibburnDrive> Grab(const std::string& address, bool pseudo,
                                               PCALLBACK callback, void* context,
                                               CCallOutput& out, EXCEPTION_NUMBER& result);
    ~CLibburnDrive();
    CLibburnDrive(const CLibburnDrive&) = delete;
    CLibburnDrive& operator=(const CLibburnDrive&) = delete;

    EXCEPTION_NUMBER TestUnitReady(CCallOutput& out);
    EXCEPTION_NUMBER GetDeviceInformation(char* vendor, char* product, char* revision,
                                          ULONG* cacheSize);
    LONG GetInsertedDiscType();
    EXCEPTION_NUMBER GetSpeeds(CCallOutput& out, ULONG* currentRead, ULONG* maxRead,
                               ULONG* currentWrite, ULONG* maxWrite);
    EXCEPTION_NUMBER SetSpeeds(CCallOutput& out, ULONG readSpeed, ULONG writeSpeed);
    EXCEPTION_NUMBER Eject(CCallOutput& out);
    EXCEPTION_NUMBER GetTrackInformation(CCallOutput& out, BYTE trackNumber,
                                         TRACK_INFORMATION* info);
    EXCEPTION_NUMBER GetTOCInformation(CCallOutput& out, TOC_INFORMATION* toc);
    EXCEPTION_NUMBER ProbeSupportedWriteModes(CCallOutput& out, BOOL* trackAtOnce,
                                              BOOL* sessionAtOnce, BOOL* discAtOncePq,
                                              BOOL* discAtOnceRawPw);
    EXCEPTION_NUMBER GetBUP(CCallOutput& out, BOOL* enabled, BOOL* supported);
    EXCEPTION_NUMBER SetBUP(CCallOutput& out, BOOL enable);
    EXCEPTION_NUMBER SendOPC(CCallOutput& out);
    // One write of the image as a single track; progress goes to the callback (events 4 to 9,
    // 12). A raw-sector image (2352 bytes a block) goes session-at-once to real drives.
    EXCEPTION_NUMBER WriteImage(CCallOutput& out, const CDiscImage& image,
                                const WriteOptions& options);
    EXCEPTION_NUMBER CloseSession(CCallOutput& out);
    // Any thread: the write in progress, or the next one, stops and fails.
    void Cancel() { m_bCancelled = true; }

private:
    CLibburnDrive(std::string address, bool pseudo, PCALLBACK callback, void* context);
    // After a real eject the drive is released; it is grabbed again, tray left open, when needed.
    bool EnsureGrabbed(CCallOutput& out, EXCEPTION_NUMBER& result);
    bool IsReady();
    // Blocks recorded on the disc: 0 when blank.
    ULONG RecordedBlocks();
    // Blocks the disc can still take.
    ULONG FreeBlocks();
    void Notify(LONG event, void* param1, void* param2);

    std::string m_strAddress;
    bool m_bPseudo;
    PCALLBACK m_pCallback;
    void* m_pContext;
    burn::burn_drive_info* m_pInfo = nullptr;
    burn::burn_drive* m_pDrive = nullptr;
    ULONG m_ulWriteSpeed = 0; // 0: the drive's maximum
    bool m_bUnderrunProof = false;
    bool m_bPerformOpc = false;
    bool m_bLastWriteWell = false;
    bool m_bLastWriteClosed = false;
    bool m_bEjected = false;
    std::atomic<bool> m_bCancelled{false};
};

} // namespace platform::burnlib
