#include "platform/burnlib/LibburnLibrary.h"

#include "platform/burnlib/CallOutput.h"
#include "platform/burnlib/DiscImage.h"
#include "platform/burnlib/LibburnDrive.h"

#include <libburn/libburn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::burnlib {

using namespace burn;

namespace {

constexpr BYTE kLeadingByteDrive = 0;
constexpr BYTE kLeadingBytePseudoDrive = 1;
constexpr std::size_t kMaxDevices = 256; // one port byte each

struct DriveEntry {
    BYTE m_Address[5];
    std::string m_strLibburnAddress; // "/dev/sr0" or "stdio:/path"
    std::string m_strName;           // "/dev/sr0" or "/path"
    bool m_bPseudo;
};

std::vector<std::string> PseudoDriveAddresses()
{
    std::vector<std::string> addresses;
    const char* list = std::getenv("VANTOREL_BURN_DRIVES");
    if (list == nullptr) {
        return addresses;
    }
    const std::string text = list;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string item = text.substr(start, end - start);
        const std::size_t first = item.find_first_not_of(" \t");
        const std::size_t last = item.find_last_not_of(" \t");
        item = first == std::string::npos ? std::string() : item.substr(first, last - first + 1);
        // Only file-backed drives: "stdio:" with a path.
        if (item.size() > 6 && item.compare(0, 6, "stdio:") == 0) {
            addresses.push_back(item);
        }
        start = end + 1;
    }
    return addresses;
}

CLibburnDrive* AsDrive(void* burner)
{
    return static_cast<CLibburnDrive*>(burner);
}

class CLibburnLibrary final : public IStarBurn {
public:
    ~CLibburnLibrary() override = default;

    EXCEPTION_NUMBER UpStartEx(void* startupData, ULONG size) override
    {
        if (startupData == nullptr || size < STARBURN_STARTUP_DATA_SIZE) {
            return EN_INVALID_PARAMETER;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bStarted) {
            return EN_SUCCESS;
        }
        if (burn_initialize() != 1) {
            return EN_NOT_STARTED;
        }
        char queue[] = "SORRY";
        char print[] = "NEVER";
        char prefix[] = "libburn: ";
        burn_msgs_set_severities(queue, print, prefix);
        m_bStarted = true;
        return EN_SUCCESS;
    }

    EXCEPTION_NUMBER FindDevice(BYTE deviceType, BOOL, PCALLBACK callback, void* context) override
    {
        if (deviceType != SCSI_DEVICE_RO_DIRECT_ACCESS || callback == nullptr) {
            return EN_INVALID_PARAMETER;
        }
        std::vector<DriveEntry> table;
        EXCEPTION_NUMBER result = EN_SUCCESS;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_bStarted) {
                return EN_NOT_STARTED;
            }
            result = ScanDrives(table);
            for (const std::string& address : PseudoDriveAddresses()) {
                AddEntry(table, address, address.substr(6), true);
            }
            m_Drives = table;
        }
        for (DriveEntry& entry : table) {
            callback(CN_FIND_DEVICE, context, entry.m_Address, nullptr);
        }
        return result;
    }

    EXCEPTION_NUMBER GetDeviceNameByDeviceAddress(BYTE port, BYTE bus, BYTE targetId, BYTE lun,
                                                  char* name) override
    {
        if (name == nullptr) {
            return EN_INVALID_PARAMETER;
        }
        DriveEntry entry{};
        if (!Lookup(port, bus, targetId, lun, entry)) {
            return EN_DEVICE_NOT_FOUND;
        }
        if (entry.m_strName.size() >= STARBURN_DEVICE_NAME_SIZE) {
            return EN_BUFFER_TOO_SMALL; // a cut path would name another file
        }
        std::snprintf(name, STARBURN_DEVICE_NAME_SIZE, "%s", entry.m_strName.c_str());
        return EN_SUCCESS;
    }

    EXCEPTION_NUMBER Create(void** burner, char* text, ULONG size, ULONG* status,
                            CDB_FAILURE_INFORMATION* failure, PCALLBACK callback, void* context,
                            BYTE port, BYTE bus, BYTE targetId, BYTE lun, ULONG) override
    {
        CCallOutput out(text, size, status, failure);
        if (burner == nullptr) {
            return out.Fail(EN_INVALID_PARAMETER, "no place for the burner object");
        }
        *burner = nullptr;
        DriveEntry entry{};
        if (!Lookup(port, bus, targetId, lun, entry)) {
            return out.Fail(EN_DEVICE_NOT_FOUND, "no device at address " + std::to_string(port) +
                                                     ":" + std::to_string(bus) + ":" +
                                                     std::to_string(targetId) + ":" +
                                                     std::to_string(lun));
        }
        EXCEPTION_NUMBER result = EN_SUCCESS;
        std::unique_ptr<CLibburnDrive> drive = CLibburnDrive::Grab(
            entry.m_strLibburnAddress, entry.m_bPseudo, callback, context, out, result);
        if (!drive) {
            return result;
        }
        *burner = drive.release();
        return EN_SUCCESS;
    }

    void Release(void** burner) override
    {
        if (burner != nullptr) {
            delete AsDrive(*burner);
            *burner = nullptr;
        }
    }

    EXCEPTION_NUMBER TestUnitReady(void* burner, char* text, ULONG size, ULONG* status,
                                   CDB_FAILURE_INFORMATION* failure) override
    {
        CCallOutput out(text, size, status, failure);
        return burner ? AsDrive(burner)->TestUnitReady(out) : NoBurner(out);
    }

    EXCEPTION_NUMBER GetDeviceInformation(void* burner, char* vendor, char* product,
                                          char* revision, ULONG* cacheSize) override
    {
        if (burner == nullptr || !vendor || !product || !revision || !cacheSize) {
            return EN_INVALID_PARAMETER;
        }
        return AsDrive(burner)->GetDeviceInformation(vendor, product, revision, cacheSize);
    }

    LONG GetInsertedDiscType(void* burner) override
    {
        return burner ? AsDrive(burner)->GetInsertedDiscType() : DISC_TYPE_NO_MEDIA;
    }

    EXCEPTION_NUMBER GetSpeeds(void* burner, char* text, ULONG size, ULONG* status,
                               CDB_FAILURE_INFORMATION* failure, ULONG* currentRead, ULONG* maxRead,
                               ULONG* currentWrite, ULONG* maxWrite) override
    {
        CCallOutput out(text, size, status, failure);
        if (!currentRead || !maxRead || !currentWrite || !maxWrite) {
            return out.Fail(EN_INVALID_PARAMETER, "missing speed out-values");
        }
        return burner ? AsDrive(burner)->GetSpeeds(out, currentRead, maxRead, currentWrite, maxWrite)
                      : NoBurner(out);
    }

    EXCEPTION_NUMBER SetSpeeds(void* burner, char* text, ULONG size, ULONG* status,
                               CDB_FAILURE_INFORMATION* failure, ULONG readSpeed,
                               ULONG writeSpeed) override
    {
        CCallOutput out(text, size, status, failure);
        return burner ? AsDrive(burner)->SetSpeeds(out, readSpeed, writeSpeed) : NoBurner(out);
    }

    EXCEPTION_NUMBER Eject(void* burner, char* text, ULONG size, ULONG* status,
                           CDB_FAILURE_INFORMATION* failure) override
    {
        CCallOutput out(text, size, status, failure);
        return burner ? AsDrive(burner)->Eject(out) : NoBurner(out);
    }

    EXCEPTION_NUMBER GetTrackInformation(void* burner, char* text, ULONG size, ULONG* status,
                                         CDB_FAILURE_INFORMATION* failure, BYTE trackNumber,
                                         TRACK_INFORMATION* info) override
    {
        CCallOutput out(text, size, status, failure);
        return burner ? AsDrive(burner)->GetTrackInformation(out, trackNumber, info) : NoBurner(out);
    }

    EXCEPTION_NUMBER GetTOCInformation(void* burner, char* text, ULONG size, ULONG* status,
                                       CDB_FAILURE_INFORMATION* failure,
                                       TOC_INFORMATION* toc) override
    {
        CCallOutput out(text, size, status, failure);
        return burner ? AsDrive(burner)->GetTOCInformation(out, toc) : NoBurner(out);
    }

    EXCEPTION_NUMBER ProbeSupportedWriteModes(void* burner, char* text, ULONG size, ULONG* status,
                                              CDB_FAILURE_INFORMATION* failure, BOOL* trackAtOnce,
                                              BOOL* sessionAtOnce, BOOL* discAtOncePq,
                                              BOOL* discAtOnceRawPw) override
    {
        CCallOutput out(text, size, status, failure);
        if (!trackAtOnce || !sessionAtOnce || !discAtOncePq || !discAtOnceRawPw) {
            return out.Fail(EN_INVALID_PARAMETER, "missing write mode out-values");
        }
        return burner ? AsDrive(burner)->ProbeSupportedWriteModes(out, trackAtOnce, sessionAtOnce,
                                                                  discAtOncePq, discAtOnceRawPw)
                      : NoBurner(out);
    }

    EXCEPTION_NUMBER GetBUP(void* burner, char* text, ULONG size, ULONG* status,
                            CDB_FAILURE_INFORMATION* failure, BOOL* enabled,
                            BOOL* supported) override
    {
        CCallOutput out(text, size, status, failure);
        if (!enabled || !supported) {
            return out.Fail(EN_INVALID_PARAMETER, "missing protection out-values");
        }
        return burner ? AsDrive(burner)->GetBUP(out, enabled, supported) : NoBurner(out);
    }

    EXCEPTION_NUMBER SetBUP(void* burner, char* text, ULONG size, ULONG* status,
                            CDB_FAILURE_INFORMATION* failure, BOOL enable) override
    {
        CCallOutput out(text, size, status, failure);
        return burner ? AsDrive(burner)->SetBUP(out, enable) : NoBurner(out);
    }

    EXCEPTION_NUMBER SendOPC(void* burner, char* text, ULONG size, ULONG* status,
                             CDB_FAILURE_INFORMATION* failure) override
    {
        CCallOutput out(text, size, status, failure);
        return burner ? AsDrive(burner)->SendOPC(out) : NoBurner(out);
    }

    EXCEPTION_NUMBER TrackAtOnceFromTree(void* burner, char* text, ULONG size, ULONG* status,
                                         CDB_FAILURE_INFORMATION* failure, void* treeRoot,
                                         BOOL lastSession, BOOL testWrite, BOOL padded,
                                         BOOL syncCache, ULONG cacheFullTimeoutSeconds) override
    {
        CCallOutput out(text, size, status, failure);
        if (burner == nullptr) {
            return NoBurner(out);
        }
        if (treeRoot == nullptr) {
            return out.Fail(EN_INVALID_PARAMETER, "no DVD-Video tree to write");
        }
        const WriteOptions options{lastSession != FALSE, testWrite != FALSE, padded != FALSE,
                                   syncCache != FALSE, cacheFullTimeoutSeconds};
        return AsDrive(burner)->WriteImage(out, *static_cast<CDiscImage*>(treeRoot), options);
    }

    EXCEPTION_NUMBER CloseSession(void* burner, char* text, ULONG size, ULONG* status,
                                  CDB_FAILURE_INFORMATION* failure) override
    {
        CCallOutput out(text, size, status, failure);
        return burner ? AsDrive(burner)->CloseSession(out) : NoBurner(out);
    }

    void Cancel(void* burner) override
    {
        if (burner != nullptr) {
            AsDrive(burner)->Cancel();
        }
    }

    EXCEPTION_NUMBER VideoCDEx(void* burner, char* text, ULONG size, ULONG* status,
                               CDB_FAILURE_INFORMATION* failure, BOOL lastSession,
                               const char* source, const char* album, BOOL padded, BOOL syncCache,
                               BOOL testWrite, BOOL, ULONG cacheFullTimeoutSeconds,
                               BOOL superVideoCD) override
    {
        CCallOutput out(text, size, status, failure);
        if (burner == nullptr) {
            return NoBurner(out);
        }
        if (source == nullptr) {
            return out.Fail(EN_INVALID_PARAMETER, "no MPEG source");
        }
        ImageError error;
        std::unique_ptr<CDiscImage> image =
            MakeVideoCdImage(source, album ? album : "", superVideoCD != FALSE, error);
        if (!image) {
            return FailImage(out, error);
        }
        const WriteOptions options{lastSession != FALSE, testWrite != FALSE, padded != FALSE,
                                   syncCache != FALSE, cacheFullTimeoutSeconds};
        return AsDrive(burner)->WriteImage(out, *image, options);
    }

    EXCEPTION_NUMBER DVDVideo_Create(void** fileSystem, const char* videoTsFolder, BOOL,
                                     char* text, ULONG size, ULONG* status,
                                     const char* volumeLabel, const char*, const char*, LONG,
                                     LONG, LONG, LONG, LONG, LONG, LONG) override
    {
        CCallOutput out(text, size, status, nullptr);
        if (fileSystem == nullptr || videoTsFolder == nullptr) {
            return out.Fail(EN_INVALID_PARAMETER, "no DVD-Video folder");
        }
        *fileSystem = nullptr;
        ImageError error;
        std::unique_ptr<CDiscImage> image =
            MakeDvdVideoImage(videoTsFolder, volumeLabel ? volumeLabel : "", error);
        if (!image) {
            return FailImage(out, error);
        }
        *fileSystem = image.release();
        return out.Succeed();
    }

    void DVDVideo_GetSizeInUCHARs(void* fileSystem, LONGLONG* size) override
    {
        if (size != nullptr) {
            *size = fileSystem ? static_cast<LONGLONG>(static_cast<CDiscImage*>(fileSystem)->Size()) : 0;
        }
    }

    void DVDVideo_GetTreeNodeRoot(void* fileSystem, void** root) override
    {
        if (root != nullptr) {
            *root = fileSystem; // the image is written as one piece
        }
    }

    void DVDVideo_Destroy(void** fileSystem) override
    {
        if (fileSystem != nullptr) {
            delete static_cast<CDiscImage*>(*fileSystem);
            *fileSystem = nullptr;
        }
    }

private:
    // The image's failure; the text of a lack of room already says everything.
    static EXCEPTION_NUMBER FailImage(CCallOutput& out, const ImageError& error)
    {
        if (error.m_bNoRoom) {
            return out.Fail(EN_NO_ROOM, error.m_strText);
        }
        return out.Fail(EN_TOOL_FAILED, error.m_strText, error.m_nErrno);
    }

    static EXCEPTION_NUMBER NoBurner(CCallOutput& out)
    {
        return out.Fail(EN_INVALID_PARAMETER, "no burner object");
    }

    static void AddEntry(std::vector<DriveEntry>& table, const std::string& libburnAddress,
                         const std::string& name, bool pseudo)
    {
        if (table.size() >= kMaxDevices) {
            return; // the address has one byte for the device number
        }
        DriveEntry entry{};
        entry.m_Address[0] = pseudo ? kLeadingBytePseudoDrive : kLeadingByteDrive;
        entry.m_Address[1] = static_cast<BYTE>(table.size());
        entry.m_strLibburnAddress = libburnAddress;
        entry.m_strName = name;
        entry.m_bPseudo = pseudo;
        table.push_back(entry);
    }

    // libburn's drive scan; the drives are let go at once and grabbed again when used.
    EXCEPTION_NUMBER ScanDrives(std::vector<DriveEntry>& table)
    {
        burn_drive_info* infos = nullptr;
        unsigned int count = 0;
        CCallOutput::DiscardPendingMessages();
        int scanned = 0;
        while ((scanned = burn_drive_scan(&infos, &count)) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (scanned < 0) {
            return EN_GENERIC_FAILURE; // e.g. a drive of an earlier search still grabbed
        }
        for (unsigned int i = 0; i < count; ++i) {
            char address[BURN_DRIVE_ADR_LEN] = "";
            if (burn_drive_get_adr(&infos[i], address) > 0) {
                AddEntry(table, address, address, false);
            }
        }
        if (infos != nullptr) {
            burn_drive_info_free(infos);
        }
        return EN_SUCCESS;
    }

    bool Lookup(BYTE port, BYTE bus, BYTE targetId, BYTE lun, DriveEntry& found)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const DriveEntry& entry : m_Drives) {
            if (entry.m_Address[1] == port && entry.m_Address[2] == bus &&
                entry.m_Address[3] == targetId && entry.m_Address[4] == lun) {
                found = entry;
                return true;
            }
        }
        return false;
    }

    std::mutex m_mutex;
    bool m_bStarted = false;
    std::vector<DriveEntry> m_Drives;
};

} // namespace

IStarBurn& RealStarBurnLibrary()
{
    static CLibburnLibrary library;
    return library;
}

} // namespace platform::burnlib
