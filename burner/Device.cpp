// CDevice: discovery, identification, disc type, blank test, recorded size, speeds and eject.
#include "burner/Device.h"

#include "burner/DiscTypeTable.h"
#include "burner/MessageDispatcher.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr ULONG kStatusBeforeCall = 31;
constexpr ULONG kBurnerBufferSizeInMBytes = 1;
constexpr double kBlockSize = 2048.0;

LONG NoProgress(LONG, void*, void*, void*)
{
    return 0;
}

} // namespace

CDevice::CDevice(const BYTE address[5])
{
    std::memcpy(DeviceAddress, address, sizeof DeviceAddress);
}

CDevice::CDevice(const CDevice& other)
    : m_ulCacheSize(other.m_ulCacheSize),
      m_lDiscType(other.m_lDiscType),
      m_dRecordedSize(other.m_dRecordedSize),
      m_bRecordedSizeKnown(other.m_bRecordedSizeKnown),
      m_llProgressPercent(other.m_llProgressPercent.load()),
      m_lOperationState(other.m_lOperationState.load()),
      m_lTrackCounter(other.m_lTrackCounter),
      m_ulStatus(other.m_ulStatus),
      m_FailureInformation(other.m_FailureInformation),
      m_lLastException(other.m_lLastException)
{
    std::memcpy(DeviceAddress, other.DeviceAddress, sizeof DeviceAddress);
    std::memcpy(m_szVendor, other.m_szVendor, sizeof m_szVendor);
    std::memcpy(m_szProduct, other.m_szProduct, sizeof m_szProduct);
    std::memcpy(m_szRevision, other.m_szRevision, sizeof m_szRevision);
    std::memcpy(m_szDeviceName, other.m_szDeviceName, sizeof m_szDeviceName);
    std::memcpy(m_szExceptionText, other.m_szExceptionText, sizeof m_szExceptionText);
}

CDevice::~CDevice()
{
    ReleaseBurner();
    StarBurn_DVDVideo_Destroy(&m_hDvdVideoFileSystem);
}

std::vector<CDevice>& CDevice::Devices()
{
    static std::vector<CDevice> devices;
    return devices;
}

bool CDevice::InitStarBurnDll()
{
    BYTE startupData[STARBURN_STARTUP_DATA_SIZE] = {};
    const EXCEPTION_NUMBER result = StarBurn_UpStartEx(startupData, sizeof startupData);
    if (result != EN_SUCCESS) {
        PublishMessage(MESSAGE_KEY_USER, MESSAGE_LEVEL_ERROR, "Can't UpStartEx StarBurn");
        PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_ERROR,
                       "\nCDevice::InitStarBurnDll():StarBurn_UpStartEx() failed, exception %ld \n",
                       static_cast<long>(result));
        return false;
    }
    return true;
}

bool CDevice::FindDevices()
{
    InitStarBurnDll();
    std::vector<CDevice>& devices = Devices();
    devices.clear();
    // The devices reported before a failure stay listed; the failure itself is a diagnostic.
    const EXCEPTION_NUMBER result = StarBurn_FindDevice(SCSI_DEVICE_RO_DIRECT_ACCESS, FALSE,
                                                        &CDevice::FindDeviceCallback, nullptr);
    if (result != EN_SUCCESS) {
        PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_ERROR,
                       "\nCDevice::FindDevices(): device search failed, exception %ld \n",
                       static_cast<long>(result));
    }
    PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_INFO,
                   "CDevice::FindDevices(): found %d devices \r\n",
                   static_cast<int>(devices.size()));
    return true;
}

LONG CDevice::FindDeviceCallback(LONG eventCode, void*, void* address, void*)
{
    if (eventCode == CN_FIND_DEVICE && address != nullptr) {
        const BYTE* bytes = static_cast<const BYTE*>(address);
        PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_INFO,
                       "\nCDevice::FindDeviceCallback): Probing SCSI address %ld:%ld:%ld:%ld for "
                       "CD/DVD device... ",
                       static_cast<long>(bytes[1]), static_cast<long>(bytes[2]),
                       static_cast<long>(bytes[3]), static_cast<long>(bytes[4]));
        Devices().emplace_back(bytes);
    }
    return 0;
}

void CDevice::ResetCallState()
{
    m_ulStatus = kStatusBeforeCall;
    m_lLastException = 0;
}

void CDevice::ReleaseBurner()
{
    std::lock_guard<std::mutex> lock(m_BurnerLock);
    StarBurn_CdvdBurnerGrabber_Release(&m_hCdvdBurnerGrabber);
}

void CDevice::RequestCancel()
{
    // The flag first: a burner object made after this look-up is caught by the burn's checks.
    m_bCancelRequested = true;
    std::lock_guard<std::mutex> lock(m_BurnerLock);
    if (m_hCdvdBurnerGrabber != nullptr) {
        StarBurn_CdvdBurnerGrabber_Cancel(m_hCdvdBurnerGrabber);
    }
}

bool CDevice::CdvdBurnerGrabberCreate(PCALLBACK callback)
{
    // The library grabs a drive once: the old object goes before the new one is made.
    ReleaseBurner();
    ResetCallState();
    void* burner = nullptr;
    m_lLastException = StarBurn_CdvdBurnerGrabber_Create(
        &burner, m_szExceptionText, STARBURN_TEXT_SIZE, &m_ulStatus, &m_FailureInformation,
        callback, this, DeviceAddress[1], DeviceAddress[2], DeviceAddress[3], DeviceAddress[4],
        kBurnerBufferSizeInMBytes);
    {
        std::lock_guard<std::mutex> lock(m_BurnerLock);
        m_hCdvdBurnerGrabber = m_lLastException == EN_SUCCESS ? burner : nullptr;
    }
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_ERROR,
                       "\n\nCDevice::CdvdBurnerGrabberCreate: StarBurn_CdvdBurnerGrabber_Create() "
                       "failed, exception %ld, status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        return false;
    }
    return true;
}

bool CDevice::EnsureBurner()
{
    return m_hCdvdBurnerGrabber != nullptr || CdvdBurnerGrabberCreate(&NoProgress);
}

bool CDevice::TestUnitReady()
{
    ResetCallState();
    if (!EnsureBurner()) {
        return false;
    }
    m_lLastException = StarBurn_CdvdBurnerGrabber_TestUnitReady(
        m_hCdvdBurnerGrabber, m_szExceptionText, STARBURN_TEXT_SIZE, &m_ulStatus,
        &m_FailureInformation);
    return m_lLastException == EN_SUCCESS;
}

bool CDevice::RefreshDeviceInfo()
{
    if (!EnsureBurner()) {
        return false;
    }
    // Its result is not relied on: the texts stay as they were when the query fails.
    StarBurn_CdvdBurnerGrabber_GetDeviceInformation(m_hCdvdBurnerGrabber, m_szVendor, m_szProduct,
                                                    m_szRevision, &m_ulCacheSize);
    PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_INFO,
                   "OK!\nCDevice::RefreshDeviceInfo()): Found CD/DVD device '%s' '%s' '%s'\n",
                   m_szVendor, m_szProduct, m_szRevision);
    PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_INFO,
                   "CDevice::RefreshDeviceInfo(): With %ld UCHAR(s) of cache\n",
                   static_cast<long>(m_ulCacheSize));

    char name[STARBURN_DEVICE_NAME_SIZE] = {};
    const EXCEPTION_NUMBER result = StarBurn_GetDeviceNameByDeviceAddress(
        DeviceAddress[1], DeviceAddress[2], DeviceAddress[3], DeviceAddress[4], name);
    m_lLastException = result;
    if (result != EN_SUCCESS) {
        PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_ERROR,
                       "\n\nCDevice::RefreshDeviceInfo(): StarBurn_GetDeviceNameByDeviceAddress() "
                       "failed, exception %d \n",
                       static_cast<int>(result));
        return false;
    }
    name[sizeof name - 1] = '\0';
    std::memcpy(m_szDeviceName, name, sizeof m_szDeviceName);
    return true;
}

bool CDevice::RefreshDiscType()
{
    if (!EnsureBurner()) {
        return false;
    }
    if (TestUnitReady()) {
        m_lDiscType = StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(m_hCdvdBurnerGrabber);
        return true;
    }
    m_lDiscType = DISC_TYPE_NO_MEDIA;
    return false;
}

bool CDevice::RefreshMediaSize()
{
    if (!EnsureBurner() || !TestUnitReady()) {
        ForgetRecordedSize();
        return false;
    }
    const LONG discType = StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(m_hCdvdBurnerGrabber);
    if (RuleForDiscType(discType).m_SizeSource == RecordedSizeSource::InvisibleTrack) {
        TRACK_INFORMATION info{};
        if (!GetTrackInfo(255, info)) {
            // An unknown size must not pass for an empty disc of an earlier refresh.
            ForgetRecordedSize();
            return false;
        }
        m_dRecordedSize = static_cast<double>(info.m_ulTrackSize) * kBlockSize;
        m_bRecordedSizeKnown = true;
        return true;
    }

    TOC_INFORMATION toc{};
    CallBurner(StarBurn_CdvdBurnerGrabber_GetTOCInformation, &toc);
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_ERROR,
                       "\nRefreshMediaSize(): StarBurn_CdvdBurnerGrabber_GetTOCInformation() "
                       "failed, exception %ld, status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        ForgetRecordedSize();
        return false;
    }
    const std::size_t count = std::min<std::size_t>(toc.TrackCount(), TOC_INFORMATION::MAX_TRACKS);
    double size = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
        const double blocks = static_cast<double>(toc.TrackEnd(k)) - toc.TrackStart(k);
        size += blocks * static_cast<double>(toc.TrackBlockSize(k));
    }
    m_dRecordedSize = size;
    m_bRecordedSizeKnown = true;
    return true;
}

void CDevice::ForgetRecordedSize()
{
    m_dRecordedSize = 0.0;
    m_bRecordedSizeKnown = false;
}

bool CDevice::RefreshAll()
{
    RefreshDiscType();
    RefreshMediaSize();
    return true;
}

bool CDevice::IsBlankDisc()
{
    switch (RuleForDiscType(m_lDiscType).m_BlankTest) {
    case BlankTest::TrackOneBlankFlag: {
        TRACK_INFORMATION info{};
        return GetTrackInfo(1, info) && info.m_bIsBlank != 0;
    }
    case BlankTest::RecordedSizeIsZero:
        // A size that could not be read is no proof of an empty disc: a rewritable disc with
        // data on it would be written over without the question.
        return m_bRecordedSizeKnown && m_dRecordedSize == 0.0;
    case BlankTest::NeverBlank:
        break;
    }
    return false;
}

LONG CDevice::QueryWriteSpeeds(ULONG& currentWrite, ULONG& maxWrite)
{
    ULONG currentRead = 0;
    ULONG maxRead = 0;
    return CallBurner(StarBurn_CdvdBurnerGrabber_GetSpeeds, &currentRead, &maxRead, &currentWrite, &maxWrite);
}

bool CDevice::SetWriteSpeed(ULONG& speed)
{
    if (!EnsureBurner()) {
        ForgetRecordedSize();
        return false;
    }
    CallBurner(StarBurn_CdvdBurnerGrabber_SetSpeeds, CDVD_SPEED_IS_KEPT, speed);
    if (m_lLastException != EN_SUCCESS) {
        return false;
    }
    ULONG currentWrite = 0;
    ULONG maxWrite = 0;
    QueryWriteSpeeds(currentWrite, maxWrite);
    if (m_lLastException != EN_SUCCESS) {
        return false;
    }
    speed = currentWrite;
    return true;
}

bool CDevice::GetWriteSpeeds(std::vector<SpeedEntry>& speeds)
{
    speeds.clear();
    if (!EnsureBurner()) {
        return false;
    }
    ULONG currentWrite = 0;
    ULONG maxWrite = 0;
    QueryWriteSpeeds(currentWrite, maxWrite);
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_INFO,
                       "\n\nGetWriteSpeeds(): StarBurn_CdvdBurnerGrabber_GetSpeeds() failed, "
                       "exception %ld, status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        return false;
    }

    const DiscTypeRule rule = RuleForDiscType(m_lDiscType);
    if (rule.m_pSpeedTable == nullptr) {
        return true;
    }
    const SpeedEntry* table = rule.m_pSpeedTable->m_pEntries;
    const std::size_t n = rule.m_pSpeedTable->m_nCount;
    if (rule.m_Probing == SpeedProbing::NotProbed) {
        for (std::size_t i = 0; i < n && table[i].m_ulSpeed <= maxWrite; ++i) {
            speeds.push_back(table[i]);
        }
        return true;
    }

    ULONG last = 0;
    for (std::size_t i = 0; i < n && table[i].m_ulSpeed <= maxWrite; ++i) {
        if (table[i].m_ulSpeed <= last) {
            continue;
        }
        ULONG actual = table[i].m_ulSpeed;
        if (!SetWriteSpeed(actual)) {
            last = table[i].m_ulSpeed;
            continue;
        }
        if (actual == last) {
            continue;
        }
        const char* label = LabelForSpeed(*rule.m_pSpeedTable, actual);
        const bool listed = std::any_of(speeds.begin(), speeds.end(),
                                        [actual](const SpeedEntry& e) { return e.m_ulSpeed == actual; });
        if (label != nullptr && !listed) {
            speeds.push_back({actual, label});
        }
        last = actual;
    }
    return true;
}

bool CDevice::Eject()
{
    if (!EnsureBurner()) {
        return false;
    }
    ResetCallState();
    m_lOperationState = OPERATION_STATE_EJECTING;
    m_lLastException = StarBurn_CdvdBurnerGrabber_Eject(m_hCdvdBurnerGrabber, m_szExceptionText,
                                                        STARBURN_TEXT_SIZE, &m_ulStatus,
                                                        &m_FailureInformation);
    m_lOperationState = OPERATION_STATE_IDLE;
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_ERROR,
                       "\n\nCDevice::Eject()): StarBurn_CdvdBurnerGrabber_Eject() failed, "
                       "exception %ld, status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        PublishMessage(MESSAGE_KEY_USER, MESSAGE_LEVEL_ERROR, "Ejecting Error!");
        return false;
    }
    PublishMessage(MESSAGE_KEY_USER, MESSAGE_LEVEL_INFO, "Eject");
    return true;
}

bool CDevice::GetTrackInfo(BYTE trackNumber, TRACK_INFORMATION& info)
{
    if (!EnsureBurner()) {
        return false;
    }
    CallBurner(StarBurn_CdvdBurnerGrabber_GetTrackInformation, trackNumber, &info);
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(MESSAGE_KEY_DIAGNOSTIC, MESSAGE_LEVEL_ERROR,
                       "\n\nCDevice::GetTrackInfo: StarBurn_CdvdBurnerGrabber_GetTrackInformation() "
                       "failed, exception %ld, status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        return false;
    }
    return true;
}
