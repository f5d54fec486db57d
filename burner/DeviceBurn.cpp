// CDevice: the DVD-Video, Video CD and Super Video CD burns and their progress callbacks.
#include "burner/BurnJob.h"
#include "burner/Device.h"
#include "burner/MessageDispatcher.h"

namespace {

constexpr LONG K0 = MESSAGE_KEY_DIAGNOSTIC;
constexpr LONG K1 = MESSAGE_KEY_USER;
constexpr LONG INFO = MESSAGE_LEVEL_INFO;
constexpr LONG WARNING = MESSAGE_LEVEL_WARNING;
constexpr LONG ERROR = MESSAGE_LEVEL_ERROR;

// Arguments of the writes: close the disc with this session, no test write, pad the track, flush
// the drive cache at the end, wait up to 5 s for the drive buffer to fill.
constexpr BOOL kLastSession = TRUE;
constexpr BOOL kTestWrite = FALSE;
constexpr BOOL kPadded = TRUE;
constexpr BOOL kSyncCache = TRUE;
constexpr BOOL kTrackClosed = TRUE;
constexpr ULONG kCacheFullTimeoutSeconds = 5;

const char* YesNo(BOOL value)
{
    return value ? "Yes" : "No";
}

template <typename T>
T ValueAt(void* p)
{
    return p != nullptr ? *static_cast<const T*>(p) : T{};
}

} // namespace

bool CDevice::EnableBufferUnderrunProtection(const char* op, const char* getBupFailureText)
{
    BOOL enabled = FALSE;
    BOOL supported = FALSE;
    CallBurner(StarBurn_CdvdBurnerGrabber_GetBUP, &enabled, &supported);
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(K0, ERROR, getBupFailureText, static_cast<long>(m_lLastException),
                       static_cast<long>(m_ulStatus), m_szExceptionText);
        PublishMessage(K1, ERROR, "Getting BUP failed!");
        return false;
    }
    PublishMessage(K1, INFO, "Getting BUP successfully!");
    PublishMessage(K0, INFO, "OK!\n%s(): BUP (Buffer Underrun Protection) Enabled: %s, Supported: %s\n",
                   op, YesNo(enabled), YesNo(supported));
    PublishMessage(K0, INFO, "%s(): Enabling BUP (Buffer Underrun Protection)... ", op);
    PublishMessage(K1, INFO, "Enabling BUP (Buffer Underrun Protection)...");

    CallBurner(StarBurn_CdvdBurnerGrabber_SetBUP, TRUE);
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(K0, WARNING,
                       "Failed!\n%s(): WARNING! StarBurn_CdvdBurnerGrabber_SetBUP() failed, "
                       "exception %ld, status %ld, text '%s'\n",
                       op, static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        PublishMessage(K1, INFO, "Enabling BUP failed!");
    } else {
        PublishMessage(K0, INFO, "OK!\n");
        PublishMessage(K1, INFO, "Enabling BUP successfully!");
    }
    return true;
}

void CDevice::SetJobSpeed(BurnJob& job, const char* settingText, const char* failureText)
{
    if (job.m_szSpeedLabel == nullptr) {
        job.m_szSpeedLabel = "";
    }
    if (job.m_ulSpeed == 0) {
        // The drive listed no speed for the disc: it writes at the speed it has.
        PublishMessage(K1, INFO, "No write speed chosen: the drive keeps its own speed.");
        return;
    }
    PublishMessage(K0, INFO, settingText, job.m_szSpeedLabel, static_cast<long>(job.m_ulSpeed));
    PublishMessage(K1, INFO, "Setting speed %s (%ld KBps)... ", job.m_szSpeedLabel,
                   static_cast<long>(job.m_ulSpeed));
    if (SetWriteSpeed(job.m_ulSpeed)) {
        PublishMessage(K1, INFO, "Setting speed %s (%ld KBps) successfully!", job.m_szSpeedLabel,
                       static_cast<long>(job.m_ulSpeed));
        PublishMessage(K0, INFO, "Setting speed %s (%ld KBps) successfully!", job.m_szSpeedLabel,
                       static_cast<long>(job.m_ulSpeed));
    } else {
        PublishMessage(K0, ERROR, "%s", failureText);
        PublishMessage(K1, ERROR, "Setting speed failed!");
    }
}

void CDevice::Calibrate(const BurnJob& job, const char* op, const char* simulatingText)
{
    if (!job.m_bOpc) {
        PublishMessage(K0, INFO,
                       "%s(): Skipping send OPC (Optimum Power Calibration) in test mode... OK!\n",
                       op);
        PublishMessage(K0, INFO, "%s", simulatingText);
        PublishMessage(K1, INFO, "Writing the stuff (simulating) to the CD/DVD disc");
        return;
    }
    PublishMessage(K0, INFO, "%s(): Sending OPC (Optimum Power Calibration)... ", op);
    PublishMessage(K1, INFO, "Sending OPC (Optimum Power Calibration)...");
    CallBurner(StarBurn_CdvdBurnerGrabber_SendOPC);
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(K0, ERROR, "Failed!\n");
        PublishMessage(K1, ERROR, "Sending OPC Error!");
        PublishMessage(K0, INFO, "%s(): Writing the stuff to the CD/DVD disc >>>\n", op);
    } else {
        PublishMessage(K0, INFO, "OK!\n%s(): Writing the stuff to the CD/DVD disc >>>\n", op);
        PublishMessage(K1, INFO, "Sending OPC successfully.");
    }
}

bool CDevice::Cancelled()
{
    if (!m_bCancelRequested) {
        return false;
    }
    PublishMessage(K1, ERROR, "Burning stopped.");
    return true;
}

bool CDevice::BurnDVDVideo(BurnJob& job, const char* videoTsFolder)
{
    const bool written = BurnDVDVideoSteps(job, videoTsFolder);
    // The image is a temporary file as large as the disc content: it goes as the burn ends.
    StarBurn_DVDVideo_Destroy(&m_hDvdVideoFileSystem);
    return written;
}

bool CDevice::BurnDVDVideoSteps(BurnJob& job, const char* videoTsFolder)
{
    static const char* const op = "CDevice::BurnDVDVideo";
    PublishMessage(K1, INFO, "Started");
    if (Cancelled()) {
        return false;
    }

    StarBurn_DVDVideo_Destroy(&m_hDvdVideoFileSystem);
    ResetCallState();
    m_lLastException = StarBurn_DVDVideo_Create(
        &m_hDvdVideoFileSystem, videoTsFolder, TRUE, m_szExceptionText, STARBURN_TEXT_SIZE,
        &m_ulStatus, job.m_szVolumeLabel, "StarBurnPublisher", "StarBurnApplication", 2006, 10,
        20, 12, 10, 0, 50);
    if (m_lLastException != EN_SUCCESS) {
        m_hDvdVideoFileSystem = nullptr;
        PublishMessage(K0, ERROR,
                       "\n\nCDevice::BurnDVDVideo(): StarBurn_DVDVideo_Create(), exception %ld, "
                       "status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        ReportNoRoom();
        PublishMessage(K1, ERROR, "Creating DVD-Video file system failed!");
        return false;
    }

    if (!CdvdBurnerGrabberCreate(&CDevice::DVDVideoBurnCallback)) {
        PublishMessage(K1, ERROR, "Started Error!");
        return false;
    }
    // Making the image takes a while; a stop asked for meanwhile ends the burn here.
    if (Cancelled()) {
        return false;
    }

    PublishMessage(K0, INFO, "CDevice::BurnDVDVideo(): Testing unit ready... ");
    PublishMessage(K1, INFO, "Testing unit ready...");
    if (!TestUnitReady()) {
        PublishMessage(K1, ERROR, "Unit is not ready!");
        return false;
    }
    PublishMessage(K1, INFO, "Unit is ready!");

    PublishMessage(K0, INFO, "CDevice::BurnDVDVideo(): Probing supported write modes... ");
    PublishMessage(K1, INFO, "Probing supported write modes...");
    BOOL tao = FALSE;
    BOOL sao = FALSE;
    BOOL daoPq = FALSE;
    BOOL daoRaw = FALSE;
    CallBurner(StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes, &tao, &sao, &daoPq, &daoRaw);
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(K0, ERROR,
                       "\n\nCDevice::BurnDVDVideo(): "
                       "StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes() failed, exception "
                       "%ld, status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        PublishMessage(K1, ERROR, "Probing supported write modes Error!");
        return false;
    }
    PublishMessage(K0, INFO,
                   "OK!\nCDevice::BurnDVDVideo(): Track-At-Once: %s, Session-At-Once: %s, "
                   "Disc-At-Once PQ: %s, Disc-At-Once raw P-W: %s\n",
                   YesNo(tao), YesNo(sao), YesNo(daoPq), YesNo(daoRaw));
    if (!tao) {
        PublishMessage(K0, ERROR, "\n\nCDevice::BurnDVDVideo(): Track-At-Once is unsupported!!!\n");
        PublishMessage(K1, ERROR, "Track-At-Once is unsupported!");
        return false;
    }
    PublishMessage(K1, INFO, "Track-At-Once is supported!");

    LONGLONG imageSize = 0;
    StarBurn_DVDVideo_GetSizeInUCHARs(m_hDvdVideoFileSystem, &imageSize);
    PublishMessage(K0, INFO, "CDevice::BurnDVDVideo(): Burning %I64d UCHARs of DVD-Video image\n",
                   static_cast<long long>(imageSize));

    PublishMessage(K0, INFO,
                   "OK!\nCDevice::BurnDVDVideo(): Getting BUP (Buffer Underrun Protection) "
                   "support... ");
    PublishMessage(K1, INFO, "Getting BUP (Buffer Underrun Protection) support...");
    if (!EnableBufferUnderrunProtection(op,
                                        "\n\nCDevice::BurnDVDVideo(): "
                                        "StarBurn_CdvdBurnerGrabber_GetBUP() failed, exception "
                                        "%ld, status %ld, text '%s'\n")) {
        return false;
    }
    SetJobSpeed(job, "CDevice::CDevice::BurnDVDVideo(): Setting speed %s (%ld KBps)... ",
                "CDevice::BurnDVDVideo():Setting speed failed!");
    Calibrate(job, op,
              "CDevice::BurnDVDVideo(): Writing the stuff (simulating) to the CD/DVD disc >>>\n");

    void* root = nullptr;
    StarBurn_DVDVideo_GetTreeNodeRoot(m_hDvdVideoFileSystem, &root);
    m_llProgressPercent = 0;
    m_lOperationState = OPERATION_STATE_WRITING;
    CallBurner(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree, root, kLastSession, kTestWrite, kPadded, kSyncCache,
               kCacheFullTimeoutSeconds);
    m_lOperationState = OPERATION_STATE_IDLE;
    if (m_lLastException != EN_SUCCESS && Cancelled()) {
        return false;
    }
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(K0, ERROR,
                       "\n\nCDevice::BurnDVDVideo(): StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree() "
                       "failed, exception %ld, status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        ReportNoRoom();
        PublishMessage(K1, ERROR, "Burning Error!");
        return false;
    }
    m_llProgressPercent = 100;

    PublishMessage(K0, INFO,
                   "CDevice::BurnDVDVideo(): Try to close session by "
                   "StarBurn_CdvdBurnerGrabber_CloseSession() ");
    PublishMessage(K1, INFO, "Closing session...");
    CallBurner(StarBurn_CdvdBurnerGrabber_CloseSession);
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(K0, ERROR,
                       "\n\nCDevice::BurnDVDVideo(): StarBurn_CdvdBurnerGrabber_CloseSession() "
                       "failed, exception %ld, status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        PublishMessage(K1, ERROR, "Close Session Error!");
        return false;
    }
    PublishMessage(K0, INFO,
                   "CDevice::BurnDVDVideo():StarBurn_CdvdBurnerGrabber_CloseSession(): Close "
                   "session success! ");
    PublishMessage(K1, INFO, "Closing session success!");
    m_llProgressPercent = 100;
    PublishMessage(K1, INFO, "Burning Complete!");
    return true;
}

bool CDevice::BurnVideoCD(BurnJob& job, const char* source)
{
    return BurnCd(job, source, CdKind::VideoCD);
}

bool CDevice::BurnSuperVideoCD(BurnJob& job, const char* source)
{
    return BurnCd(job, source, CdKind::SuperVideoCD);
}

bool CDevice::BurnCd(BurnJob& job, const char* source, CdKind kind)
{
    const bool video = kind == CdKind::VideoCD;
    const char* op = video ? "CDevice::BurnVideoCD" : "CDevice::BurnSuperVideoCD";
    PublishMessage(K1, INFO, "Started");
    if (!CdvdBurnerGrabberCreate(&CDevice::BurnCallback)) {
        PublishMessage(K1, ERROR, "Started Error!");
        return false;
    }
    if (!TestUnitReady()) {
        PublishMessage(K1, ERROR, "Unit is not ready!");
        return false;
    }
    PublishMessage(K1, INFO, "Unit is ready!");

    if (!EnableBufferUnderrunProtection(
            op, video ? "\n\nCDevice::BurnVideoCD()): StarBurn_CdvdBurnerGrabber_GetBUP() failed, "
                        "exception %ld, status %ld, text '%s'\n"
                      : "\n\nCDevice::BurnSuperVideoCD()): StarBurn_CdvdBurnerGrabber_GetBUP() "
                        "failed, exception %ld, status %ld, text '%s'\n")) {
        return false;
    }
    if (video) {
        SetJobSpeed(job, "CDevice::BurnVideoCD(): Setting speed %s (%ld KBps)... ",
                    "Setting speed failed!");
        Calibrate(job, op,
                  "CDevice::BurnVideoCD(): Writing the stuff (simulating) to the CD/DVD disc >>>\n");
    } else {
        SetJobSpeed(job, "CDevice::BurnSuperVideoCD(): Setting speed %s (%ld KBps)... ",
                    "CDevice::BurnSuperVideoCD():Setting speed failed!");
        Calibrate(job, op,
                  "CDevice::BurnSuperSuperVideoCD(): Writing the stuff (simulating) to the CD/DVD "
                  "disc >>>\n");
    }

    m_llProgressPercent = 0;
    m_lOperationState = OPERATION_STATE_WRITING;
    m_lTrackCounter = 0;
    ResetCallState();
    if (video) {
        m_lLastException = StarBurn_CdvdBurnerGrabber_VideoCDEx(
            m_hCdvdBurnerGrabber, m_szExceptionText, STARBURN_TEXT_SIZE, &m_ulStatus,
            &m_FailureInformation, kLastSession, source, "Album VideoCDEx", kPadded, kSyncCache,
            kTestWrite, kTrackClosed, kCacheFullTimeoutSeconds);
    } else {
        m_lLastException = StarBurn_CdvdBurnerGrabber_SuperVideoCDEx(
            m_hCdvdBurnerGrabber, m_szExceptionText, STARBURN_TEXT_SIZE, &m_ulStatus,
            &m_FailureInformation, kLastSession, source, "Album VideoCDEx", kPadded, kSyncCache,
            kTestWrite, kTrackClosed, kCacheFullTimeoutSeconds);
    }
    m_lOperationState = OPERATION_STATE_IDLE;
    if (m_lLastException != EN_SUCCESS) {
        PublishMessage(K0, ERROR,
                       video ? "\n\nCDevice::BurnVideoCD(): StarBurn_CdvdBurnerGrabber_VideoCDEx "
                               "failed, exception %ld, status %ld, text '%s'\n"
                             : "\n\nCDevice::BurnSuperVideoCD(): "
                               "StarBurn_CdvdBurnerGrabber_SuperVideoCDEx failed, exception %ld, "
                               "status %ld, text '%s'\n",
                       static_cast<long>(m_lLastException), static_cast<long>(m_ulStatus),
                       m_szExceptionText);
        ReportNoRoom();
        PublishMessage(K1, ERROR, "Burning Error!");
        return false;
    }
    m_llProgressPercent = 100;
    PublishMessage(K1, INFO, "Burning Complete");
    return true;
}

void CDevice::ReportNoRoom()
{
    // The user can do something about this one: the log says what is needed where.
    if (m_lLastException == EN_NO_ROOM) {
        PublishMessage(K1, ERROR, "%s", m_szExceptionText);
    }
}

void CDevice::OnWriteProgress(void* param1, void* param2)
{
    const LONGLONG total = ValueAt<LONGLONG>(param1);
    const LONGLONG written = ValueAt<LONGLONG>(param2);
    if (total <= 0) {
        return; // nothing to measure against
    }
    const LONGLONG percent = (written * 100) / total;
    if (percent != m_llProgressPercent.load()) {
        m_llProgressPercent = percent;
        PublishMessage(K0, INFO, "%I64d%% ", static_cast<long long>(percent));
    }
}

LONG CDevice::DVDVideoBurnCallback(LONG eventCode, void* context, void* param1, void* param2)
{
    CDevice* device = static_cast<CDevice*>(context);
    if (device == nullptr) {
        return 0;
    }
    switch (eventCode) {
    case 4:
        PublishMessage(K0, INFO, "CDevice::DVDVideoBurnCallback(): TARGET_FILE_ANALYZE_BEGIN\n");
        break;
    case 5:
        PublishMessage(K0, INFO,
                       "CDevice::DVDVideoBurnCallback(): Target file size in UCHARs %I64d, LBs "
                       "%I64d\n",
                       static_cast<long long>(ValueAt<LONGLONG>(param1)),
                       static_cast<long long>(ValueAt<LONGLONG>(param2)));
        PublishMessage(K0, INFO, "CDevice::DVDVideoBurnCallback(): TARGET_FILE_ANALYZE_END\n");
        break;
    case 6:
        PublishMessage(K0, INFO, "CDevice::DVDVideoBurnCallback(): WAIT_CACHE_FULL_BEGIN\n");
        PublishMessage(K0, INFO,
                       "CDevice::DVDVideoBurnCallback(): Waiting for cache full not more then "
                       "%ld ms... ",
                       static_cast<long>(ValueAt<LONG>(param1)));
        break;
    case 7:
        PublishMessage(K0, INFO, "OK!\nCDevice::DVDVideoBurnCallback(): WAIT_CACHE_FULL_END\n");
        PublishMessage(K1, INFO, "Cache is Full.");
        PublishMessage(K1, INFO, "Burning...");
        break;
    case 8:
        PublishMessage(K0, INFO, "\nCDevice::DVDVideoBurnCallback(): SYNCHRONIZE_CACHE_BEGIN\n");
        break;
    case 9:
        PublishMessage(K0, INFO, "CDevice::DVDVideoBurnCallback(): SYNCHRONIZE_CACHE_END\n");
        break;
    case 12:
        device->OnWriteProgress(param1, param2);
        break;
    case 21:
        PublishMessage(K0, INFO, "\nCDevice::DVDVideoBurnCallback(): DVDPLUSRW_FORMAT_BEGIN\n");
        break;
    case 22:
        PublishMessage(K0, INFO, "CDevice::DVDVideoBurnCallback(): DVDPLUSRW_FORMAT_END\n");
        break;
    case 26:
        PublishMessage(K0, INFO,
                       "CDevice::DVDVideoBurnCallback(): Target file size in LBs %I64d, track "
                       "padding size in LBs %ld\n",
                       static_cast<long long>(ValueAt<LONGLONG>(param1)),
                       static_cast<long>(ValueAt<LONG>(param2)));
        PublishMessage(K0, INFO, "CDevice::DVDVideoBurnCallback(): CN_DVD_MEDIA_PADDING_SIZE\n");
        break;
    case 27:
        PublishMessage(K0, INFO, "CDevice::DVDVideoBurnCallback(): DVD_MEDIA_PADDING_BEGIN\n");
        break;
    case 28:
        PublishMessage(K0, INFO, "CDevice::DVDVideoBurnCallback(): DVD_MEDIA_PADDING_END\n");
        break;
    case 30:
        PublishMessage(K0, INFO, "\nCDevice::DVDVideoBurnCallback(): DVDRW_QUICK_FORMAT_BEGIN\n");
        break;
    case 31:
        PublishMessage(K0, INFO, "CDevice::DVDVideoBurnCallback(): DVDRW_QUICK_FORMAT_END\n");
        break;
    default:
        break;
    }
    return 0;
}

LONG CDevice::BurnCallback(LONG eventCode, void* context, void* param1, void* param2)
{
    CDevice* device = static_cast<CDevice*>(context);
    if (device == nullptr) {
        return 0;
    }
    switch (eventCode) {
    case 4:
        PublishMessage(K0, INFO, "CDevice::BurnCallback(): TARGET_FILE_ANALYZE_BEGIN\n");
        break;
    case 5:
        PublishMessage(K0, INFO,
                       "CDevice::BurnCallback(): Target file size in UCHARs %I64d, LBs %I64d\n",
                       static_cast<long long>(ValueAt<LONGLONG>(param1)),
                       static_cast<long long>(ValueAt<LONGLONG>(param2)));
        PublishMessage(K0, INFO, "CDevice::BurnCallback(): TARGET_FILE_ANALYZE_END\n");
        break;
    case 6: {
        const LONG counter = ++device->m_lTrackCounter;
        if (counter == 1) {
            PublishMessage(K0, INFO, "Writing ISO track...");
            PublishMessage(K1, INFO, "Writing ISO track...");
        } else if (counter == 2) {
            PublishMessage(K0, INFO, "Writing MPEG track...");
            PublishMessage(K1, INFO, "Writing MPEG track...");
        }
        const long timeout = ValueAt<LONG>(param1);
        PublishMessage(K0, INFO, "CDevice::BurnCallback(): WAIT_CACHE_FULL_BEGIN\n");
        PublishMessage(K0, INFO,
                       "CDevice::BurnCallback(): Waiting for cache full not more then %ld ms... ",
                       timeout);
        PublishMessage(K1, INFO, "Waiting for cache full not more then %ld ms... ", timeout);
        break;
    }
    case 7:
        PublishMessage(K0, INFO, "OK!\nCDevice::BurnCallback(): WAIT_CACHE_FULL_END\n");
        PublishMessage(K1, INFO, "Cache is Full.");
        PublishMessage(K1, INFO, "Burning...");
        break;
    case 8:
        PublishMessage(K0, INFO, "\nCDevice::BurnCallback(): SYNCHRONIZE_CACHE_BEGIN\n");
        break;
    case 9:
        PublishMessage(K0, INFO, "CDevice::BurnCallback(): SYNCHRONIZE_CACHE_END\n");
        break;
    case 12:
        device->OnWriteProgress(param1, param2);
        break;
    case 21:
        PublishMessage(K0, INFO, "\nCDevice::BurnCallback(): DVDPLUSRW_FORMAT_BEGIN\n");
        break;
    case 22:
        PublishMessage(K0, INFO, "CDevice::BurnCallback(): DVDPLUSRW_FORMAT_END\n");
        break;
    default:
        break;
    }
    return 0;
}
