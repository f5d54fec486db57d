#include "platform/burnlib/LibburnDrive.h"

#include "platform/burnlib/DiscImage.h"
#include "platform/burnlib/DiscTypeMapping.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

namespace platform::burnlib {

using namespace burn;

namespace {

// The DVD speeds (KB/s) a pseudo drive offers, 1x to 16x.
constexpr ULONG kPseudoSpeeds[] = {1385, 2770, 3324, 4155, 5540, 6925, 8310, 11080, 16620, 22160};
constexpr ULONG kPseudoMaxSpeed = 22160;
constexpr int kDataBlockSize = 2048;
constexpr auto kPollInterval = std::chrono::milliseconds(100);
// A single-layer DVD+RW: what a pseudo drive takes at most.
constexpr ULONG kPseudoCapacityBlocks = 2295104;

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const
    {
        if (p != nullptr) {
            Free(p);
        }
    }
};
void FreeSource(burn_source* s)
{
    burn_source_free(s);
}
using WriteOptsPtr = std::unique_ptr<burn_write_opts, Deleter<burn_write_opts, burn_write_opts_free>>;
using DiscPtr = std::unique_ptr<burn_disc, Deleter<burn_disc, burn_disc_free>>;
using SessionPtr = std::unique_ptr<burn_session, Deleter<burn_session, burn_session_free>>;
using TrackPtr = std::unique_ptr<burn_track, Deleter<burn_track, burn_track_free>>;
using SourcePtr = std::unique_ptr<burn_source, Deleter<burn_source, FreeSource>>;

MediaStatus ToMediaStatus(burn_disc_status status)
{
    switch (status) {
    case BURN_DISC_BLANK:
        return MediaStatus::Blank;
    case BURN_DISC_EMPTY:
        return MediaStatus::Empty;
    case BURN_DISC_APPENDABLE:
        return MediaStatus::Appendable;
    case BURN_DISC_FULL:
        return MediaStatus::Full;
    case BURN_DISC_UNSUITABLE:
        return MediaStatus::Unsuitable;
    default:
        return MediaStatus::Unready;
    }
}

void CopyText(char* target, const char* source)
{
    std::snprintf(target, STARBURN_TEXT_SIZE, "%s", source);
}

// A source that hands out its inner source's data no faster than a drive writes at a given
// speed: a pseudo drive takes as long as a disc would, so a burn's progress can be followed.
struct PacedSource {
    burn_source* m_pInner;
    double m_dBytesPerSecond;
    std::chrono::steady_clock::time_point m_Start{};
    double m_dBytes = 0;
};

int PacedRead(burn_source* source, unsigned char* buffer, int size)
{
    auto* paced = static_cast<PacedSource*>(source->data);
    burn_source* inner = paced->m_pInner;
    if (paced->m_dBytes == 0) {
        paced->m_Start = std::chrono::steady_clock::now();
    }
    const int n = inner->read != nullptr ? inner->read(inner, buffer, size) : inner->read_xt(inner, buffer, size);
    if (n > 0) {
        paced->m_dBytes += n;
        std::this_thread::sleep_until(paced->m_Start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                           std::chrono::duration<double>(paced->m_dBytes / paced->m_dBytesPerSecond)));
    }
    return n;
}

off_t PacedGetSize(burn_source* source)
{
    burn_source* inner = static_cast<PacedSource*>(source->data)->m_pInner;
    return inner->get_size(inner);
}

int PacedSetSize(burn_source* source, off_t size)
{
    burn_source* inner = static_cast<PacedSource*>(source->data)->m_pInner;
    return inner->set_size(inner, size);
}

void PacedFree(burn_source* source)
{
    auto* paced = static_cast<PacedSource*>(source->data);
    burn_source_free(paced->m_pInner);
    delete paced;
}

// Takes over inner; libburn frees the new source (with calloc'ed memory, as it expects).
burn_source* NewPacedSource(burn_source* inner, ULONG kilobytesPerSecond)
{
    auto* source = static_cast<burn_source*>(std::calloc(1, sizeof(burn_source)));
    if (source == nullptr) {
        burn_source_free(inner);
        return nullptr;
    }
    source->refcount = 1;
    source->read = &PacedRead;
    source->get_size = &PacedGetSize;
    source->set_size = &PacedSetSize;
    source->free_data = &PacedFree;
    source->data = new PacedSource{inner, kilobytesPerSecond * 1000.0};
    return source;
}

// Start and length of every track on the disc, in blocks.
struct TrackExtent {
    LONG m_lStart;
    LONG m_lBlocks;
};

std::vector<TrackExtent> ReadTracks(burn_drive* drive)
{
    std::vector<TrackExtent> extents;
    DiscPtr disc(burn_drive_get_disc(drive));
    if (!disc) {
        return extents; // blank media have no table of contents
    }
    int sessionCount = 0;
    burn_session** sessions = burn_disc_get_sessions(disc.get(), &sessionCount);
    for (int s = 0; s < sessionCount; ++s) {
        int trackCount = 0;
        burn_track** tracks = burn_session_get_tracks(sessions[s], &trackCount);
        for (int t = 0; t < trackCount; ++t) {
            burn_toc_entry entry{};
            burn_track_get_entry(tracks[t], &entry);
            const LONG start = (entry.extensions_valid & 1)
                                   ? entry.start_lba
                                   : burn_msf_to_lba(entry.pmin, entry.psec, entry.pframe);
            const LONG blocks = (entry.extensions_valid & 1) ? entry.track_blocks
                                                             : burn_track_get_sectors(tracks[t]);
            extents.push_back({start, blocks});
        }
    }
    return extents;
}

} // namespace

CLibburnDrive::CLibburnDrive(std::string address, bool pseudo, PCALLBACK callback, void* context)
    : m_strAddress(std::move(address)), m_bPseudo(pseudo), m_pCallback(callback), m_pContext(context)
{
}

std::unique_ptr<CLibburnDrive> CLibburnDrive::Grab(const std::string& address, bool pseudo,
                                                   PCALLBACK callback, void* context,
                                                   CCallOutput& out, EXCEPTION_NUMBER& result)
{
    std::unique_ptr<CLibburnDrive> drive(new CLibburnDrive(address, pseudo, callback, context));
    if (!drive->EnsureGrabbed(out, result)) {
        return nullptr;
    }
    result = out.Succeed();
    return drive;
}

CLibburnDrive::~CLibburnDrive()
{
    if (m_pDrive != nullptr) {
        burn_drive_release(m_pDrive, 0);
    }
    if (m_pInfo != nullptr) {
        burn_drive_info_free(m_pInfo);
    }
}

bool CLibburnDrive::EnsureGrabbed(CCallOutput& out, EXCEPTION_NUMBER& result)
{
    if (m_pDrive != nullptr) {
        return true;
    }
    if (m_pInfo != nullptr) {
        burn_drive_info_free(m_pInfo);
        m_pInfo = nullptr;
    }
    std::vector<char> address(m_strAddress.begin(), m_strAddress.end());
    address.push_back('\0');
    CCallOutput::DiscardPendingMessages();
    const int grabbed = burn_drive_scan_and_grab(&m_pInfo, address.data(), m_bEjected ? 0 : 1);
    if (grabbed != 1 || m_pInfo == nullptr) {
        m_pInfo = nullptr;
        result = out.Fail(grabbed == 0 ? EN_DEVICE_NOT_FOUND : EN_GENERIC_FAILURE,
                          "cannot grab drive " + m_strAddress);
        return false;
    }
    m_pDrive = m_pInfo[0].drive;
    return true;
}

bool CLibburnDrive::IsReady()
{
    if (m_pDrive == nullptr) {
        return false;
    }
    const MediaStatus status = ToMediaStatus(burn_disc_get_status(m_pDrive));
    return status != MediaStatus::Empty && status != MediaStatus::Unready;
}

EXCEPTION_NUMBER CLibburnDrive::TestUnitReady(CCallOutput& out)
{
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    if (!IsReady()) {
        return out.Fail(EN_UNIT_NOT_READY, "no disc in drive " + m_strAddress);
    }
    return out.Succeed();
}

EXCEPTION_NUMBER CLibburnDrive::GetDeviceInformation(char* vendor, char* product, char* revision,
                                                     ULONG* cacheSize)
{
    if (m_pInfo == nullptr) {
        return EN_NOT_STARTED;
    }
    CopyText(vendor, m_pInfo[0].vendor);
    CopyText(product, m_pInfo[0].product);
    CopyText(revision, m_pInfo[0].revision);
    *cacheSize = static_cast<ULONG>(std::max(m_pInfo[0].buffer_size, 0)) * 1024u;
    return EN_SUCCESS;
}

LONG CLibburnDrive::GetInsertedDiscType()
{
    if (m_pDrive == nullptr) {
        return DISC_TYPE_NO_MEDIA;
    }
    const MediaStatus status = ToMediaStatus(burn_disc_get_status(m_pDrive));
    int profile = 0;
    char name[80] = "";
    if (burn_disc_get_profile(m_pDrive, &profile, name) <= 0) {
        profile = 0;
    }
    return DiscTypeFromProfile(profile, status);
}

EXCEPTION_NUMBER CLibburnDrive::GetSpeeds(CCallOutput& out, ULONG* currentRead, ULONG* maxRead,
                                          ULONG* currentWrite, ULONG* maxWrite)
{
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    if (m_bPseudo) {
        *maxRead = *currentRead = kPseudoMaxSpeed;
        *maxWrite = kPseudoMaxSpeed;
        *currentWrite = m_ulWriteSpeed != 0 ? m_ulWriteSpeed : kPseudoMaxSpeed;
        return out.Succeed();
    }
    const int maxSpeed = burn_drive_get_write_speed(m_pDrive);
    const int readSpeed = burn_drive_get_read_speed(m_pDrive);
    *maxWrite = static_cast<ULONG>(std::max(maxSpeed, 0));
    *maxRead = *currentRead = static_cast<ULONG>(std::max(readSpeed, 0));
    *currentWrite = *maxWrite;
    if (m_ulWriteSpeed != 0) {
        // What the drive takes for the speed set: its fastest speed not above it.
        burn_speed_descriptor* best = nullptr;
        if (burn_drive_get_best_speed(m_pDrive, static_cast<int>(m_ulWriteSpeed), &best, 0) > 0 &&
            best != nullptr) {
            *currentWrite = static_cast<ULONG>(std::max(best->write_speed, 0));
        } else {
            *currentWrite = static_cast<ULONG>(std::max(burn_drive_get_min_write_speed(m_pDrive), 0));
        }
    }
    return out.Succeed();
}

EXCEPTION_NUMBER CLibburnDrive::SetSpeeds(CCallOutput& out, ULONG readSpeed, ULONG writeSpeed)
{
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    if (writeSpeed == 0) {
        return out.Fail(EN_INVALID_PARAMETER, "write speed 0 KB/s");
    }
    if (m_bPseudo) {
        // Like a drive: the fastest offered speed not above the request, else the slowest.
        ULONG chosen = kPseudoSpeeds[0];
        for (ULONG speed : kPseudoSpeeds) {
            if (speed <= writeSpeed) {
                chosen = speed;
            }
        }
        m_ulWriteSpeed = chosen;
        return out.Succeed();
    }
    // libburn has no "keep": 0 asks for the fastest read speed.
    const int read = readSpeed == CDVD_SPEED_IS_KEPT ? 0 : static_cast<int>(readSpeed);
    CCallOutput::DiscardPendingMessages();
    burn_drive_set_speed(m_pDrive, read, static_cast<int>(writeSpeed));
    m_ulWriteSpeed = writeSpeed;
    return out.Succeed();
}

EXCEPTION_NUMBER CLibburnDrive::Eject(CCallOutput& out)
{
    if (m_bPseudo) {
        return out.Succeed();
    }
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    // libburn ejects when it lets the drive go.
    burn_drive_release(m_pDrive, 1);
    burn_drive_info_free(m_pInfo);
    m_pDrive = nullptr;
    m_pInfo = nullptr;
    m_bEjected = true;
    return out.Succeed();
}

ULONG CLibburnDrive::RecordedBlocks()
{
    if (m_bPseudo) {
        // libburn calls a file drive blank whatever it holds; what it holds is what is recorded.
        std::error_code ec;
        const std::uintmax_t bytes = std::filesystem::file_size(m_strAddress.substr(6), ec);
        return ec ? 0 : static_cast<ULONG>((bytes + kDataBlockSize - 1) / kDataBlockSize);
    }
    if (burn_disc_get_status(m_pDrive) == BURN_DISC_BLANK) {
        return 0;
    }
    LONG end = 0;
    for (const TrackExtent& track : ReadTracks(m_pDrive)) {
        end = std::max(end, track.m_lStart + track.m_lBlocks);
    }
    return static_cast<ULONG>(std::max<LONG>(end, 0));
}

ULONG CLibburnDrive::FreeBlocks()
{
    const off_t bytes = burn_disc_available_space(m_pDrive, nullptr);
    std::uint64_t blocks = bytes > 0 ? static_cast<std::uint64_t>(bytes) / kDataBlockSize : 0;
    if (m_bPseudo) {
        // The file system's free space would promise more than any disc holds.
        const std::uint64_t recorded = RecordedBlocks();
        blocks = std::min<std::uint64_t>(blocks, kPseudoCapacityBlocks - std::min<std::uint64_t>(recorded, kPseudoCapacityBlocks));
    }
    return static_cast<ULONG>(std::min<std::uint64_t>(blocks, 0xFFFFFFFFu));
}

EXCEPTION_NUMBER CLibburnDrive::GetTrackInformation(CCallOutput& out, BYTE trackNumber,
                                                    TRACK_INFORMATION* info)
{
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    if (info == nullptr || trackNumber == 0) {
        return out.Fail(EN_INVALID_PARAMETER, "no track information record or track 0");
    }
    if (!IsReady()) {
        return out.Fail(EN_UNIT_NOT_READY, "no disc in drive " + m_strAddress);
    }
    *info = TRACK_INFORMATION{};
    info->m_ulTrackNumber = trackNumber;
    info->m_ulSessionNumber = 1;
    const bool blank = RecordedBlocks() == 0;
    if (trackNumber == 255) {
        info->m_bIsBlank = blank ? 1 : 0;
        info->m_ulTrackSize = RecordedBlocks();
        info->m_ulFreeBlocks = FreeBlocks();
        return out.Succeed();
    }
    if (blank && trackNumber == 1) {
        info->m_bIsBlank = 1;
        info->m_ulFreeBlocks = FreeBlocks();
        return out.Succeed();
    }
    std::vector<TrackExtent> tracks = ReadTracks(m_pDrive);
    if (m_bPseudo && !blank) {
        tracks = {{0, static_cast<LONG>(RecordedBlocks())}};
    }
    if (trackNumber > tracks.size()) {
        return out.Fail(EN_INVALID_PARAMETER,
                        "the disc has no track " + std::to_string(trackNumber));
    }
    const TrackExtent& track = tracks[trackNumber - 1];
    info->m_ulTrackStartAddress = static_cast<ULONG>(track.m_lStart);
    info->m_ulTrackSize = static_cast<ULONG>(track.m_lBlocks);
    return out.Succeed();
}

EXCEPTION_NUMBER CLibburnDrive::GetTOCInformation(CCallOutput& out, TOC_INFORMATION* toc)
{
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    if (toc == nullptr) {
        return out.Fail(EN_INVALID_PARAMETER, "no table of contents record");
    }
    if (!IsReady()) {
        return out.Fail(EN_UNIT_NOT_READY, "no disc in drive " + m_strAddress);
    }
    std::memset(toc, 0, sizeof *toc);
    std::vector<TrackExtent> tracks;
    if (m_bPseudo) {
        if (const ULONG blocks = RecordedBlocks(); blocks > 0) {
            tracks.push_back({0, static_cast<LONG>(blocks)});
        }
    } else if (burn_disc_get_status(m_pDrive) != BURN_DISC_BLANK) {
        tracks = ReadTracks(m_pDrive);
    }
    if (tracks.size() > TOC_INFORMATION::MAX_TRACKS) {
        return out.Fail(EN_BUFFER_TOO_SMALL, "more tracks than a table of contents holds");
    }
    toc->SetTrackCount(static_cast<BYTE>(tracks.size()));
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        toc->SetTrack(k, tracks[k].m_lStart, tracks[k].m_lStart + tracks[k].m_lBlocks,
                      kDataBlockSize);
    }
    return out.Succeed();
}

EXCEPTION_NUMBER CLibburnDrive::ProbeSupportedWriteModes(CCallOutput& out, BOOL* trackAtOnce,
                                                         BOOL* sessionAtOnce, BOOL* discAtOncePq,
                                                         BOOL* discAtOnceRawPw)
{
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    const burn_drive_info& info = m_pInfo[0];
    // The block types come from the CD write parameters; libburn writes every recordable DVD
    // and BD in its track-at-once mode (incremental, open-size track or random writable).
    int profile = 0;
    char name[80] = "";
    if (burn_disc_get_profile(m_pDrive, &profile, name) <= 0) {
        profile = 0;
    }
    const bool recordableDvdOrBd = (profile >= 0x11 && profile <= 0x1b) || profile == 0x2b ||
                                   (profile >= 0x41 && profile <= 0x43);
    *trackAtOnce = ((info.tao_block_types & BURN_BLOCK_MODE1) || recordableDvdOrBd) ? TRUE : FALSE;
    *sessionAtOnce = (info.sao_block_types & BURN_BLOCK_SAO) ? TRUE : FALSE;
    *discAtOncePq = (info.raw_block_types & BURN_BLOCK_RAW16) ? TRUE : FALSE;
    *discAtOnceRawPw = (info.raw_block_types & BURN_BLOCK_RAW96R) ? TRUE : FALSE;
    return out.Succeed();
}

EXCEPTION_NUMBER CLibburnDrive::GetBUP(CCallOutput& out, BOOL* enabled, BOOL* supported)
{
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    WriteOptsPtr opts(burn_write_opts_new(m_pDrive));
    if (!opts) {
        return out.Fail(EN_GENERIC_FAILURE, "cannot make write options");
    }
    // A pseudo drive cannot run dry: it writes as fast as it is fed.
    *supported = (m_bPseudo || burn_write_opts_set_underrun_proof(opts.get(), 1) == 1) ? TRUE : FALSE;
    *enabled = m_bUnderrunProof ? TRUE : FALSE;
    return out.Succeed();
}

EXCEPTION_NUMBER CLibburnDrive::SetBUP(CCallOutput& out, BOOL enable)
{
    BOOL enabled = FALSE;
    BOOL supported = FALSE;
    const EXCEPTION_NUMBER result = GetBUP(out, &enabled, &supported);
    if (result != EN_SUCCESS) {
        return result;
    }
    if (enable && !supported) {
        return out.Fail(EN_UNSUPPORTED, "the drive has no buffer underrun protection");
    }
    m_bUnderrunProof = enable != FALSE;
    return out.Succeed();
}

EXCEPTION_NUMBER CLibburnDrive::SendOPC(CCallOutput& out)
{
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    if (!IsReady()) {
        return out.Fail(EN_UNIT_NOT_READY, "no disc in drive " + m_strAddress);
    }
    // libburn calibrates at the start of the write when asked to.
    m_bPerformOpc = true;
    return out.Succeed();
}

void CLibburnDrive::Notify(LONG event, void* param1, void* param2)
{
    if (m_pCallback != nullptr) {
        m_pCallback(event, m_pContext, param1, param2);
    }
}

EXCEPTION_NUMBER CLibburnDrive::WriteImage(CCallOutput& out, const CDiscImage& image,
                                           const WriteOptions& options)
{
    m_bLastWriteWell = false;
    m_bLastWriteClosed = false;
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    if (!IsReady()) {
        return out.Fail(EN_UNIT_NOT_READY, "no disc in drive " + m_strAddress);
    }
    const bool rawSectors = image.BlockSize() != kDataBlockSize && !m_bPseudo;

    Notify(CN_TARGET_FILE_ANALYZE_BEGIN, nullptr, nullptr);
    LONGLONG imageBytes = static_cast<LONGLONG>(image.Size());
    LONGLONG imageBlocks = (imageBytes + image.BlockSize() - 1) / image.BlockSize();
    Notify(CN_TARGET_FILE_ANALYZE_END, &imageBytes, &imageBlocks);

    CCallOutput::DiscardPendingMessages();
    SourcePtr source(burn_file_source_new(image.Path().c_str(), nullptr));
    if (source && m_bPseudo && m_ulWriteSpeed > 0) {
        source.reset(NewPacedSource(source.release(), m_ulWriteSpeed));
    }
    DiscPtr disc(burn_disc_create());
    SessionPtr session(burn_session_create());
    TrackPtr track(burn_track_create());
    WriteOptsPtr opts(burn_write_opts_new(m_pDrive));
    if (!source || !disc || !session || !track || !opts) {
        return out.Fail(EN_GENERIC_FAILURE, "cannot set up the write of " + image.Path());
    }
    burn_track_define_data(track.get(), 0, 0, options.m_bPadded ? 1 : 0,
                           rawSectors ? BURN_MODE_RAW : BURN_MODE1);
    if (burn_track_set_source(track.get(), source.get()) != BURN_SOURCE_OK ||
        burn_session_add_track(session.get(), track.get(), BURN_POS_END) != 1 ||
        burn_disc_add_session(disc.get(), session.get(), BURN_POS_END) != 1) {
        return out.Fail(EN_GENERIC_FAILURE, "cannot make a track of " + image.Path());
    }
    const burn_write_types type = rawSectors ? BURN_WRITE_SAO : BURN_WRITE_TAO;
    const burn_block_types block = rawSectors ? BURN_BLOCK_SAO : BURN_BLOCK_MODE1;
    if (burn_write_opts_set_write_type(opts.get(), type, block) != 1) {
        return out.Fail(EN_UNSUPPORTED, "the drive cannot write this track type");
    }
    if (m_bUnderrunProof) {
        burn_write_opts_set_underrun_proof(opts.get(), 1);
    }
    burn_write_opts_set_perform_opc(opts.get(), m_bPerformOpc ? 1 : 0);
    if (options.m_bTestWrite && burn_write_opts_set_simulate(opts.get(), 1) != 1) {
        return out.Fail(EN_UNSUPPORTED, "the drive cannot simulate a write");
    }
    burn_write_opts_set_multi(opts.get(), options.m_bLastSession ? 0 : 1);
    char reasons[BURN_REASONS_LEN] = "";
    if (burn_precheck_write(opts.get(), disc.get(), reasons, 0) <= 0) {
        return out.Fail(EN_UNSUPPORTED, std::string("the disc cannot take this write: ") + reasons);
    }

    if (m_bCancelled) {
        return out.Fail(EN_WRITE_FAILED, "the write to " + m_strAddress + " was stopped");
    }
    LONG timeoutMs = static_cast<LONG>(options.m_ulCacheFullTimeoutSeconds * 1000);
    Notify(CN_WAIT_CACHE_FULL_BEGIN, &timeoutMs, nullptr);
    burn_disc_write(opts.get(), disc.get());

    bool cacheFull = false;
    bool synchronizing = false;
    LONGLONG total = imageBytes;
    LONGLONG written = 0;
    LONGLONG lastReported = -1;
    bool cancelSent = false;
    burn_progress progress{};
    for (;;) {
        const burn_drive_status status = burn_drive_get_status(m_pDrive, &progress);
        if (status == BURN_DRIVE_IDLE) {
            break;
        }
        if (m_bCancelled && !cancelSent) {
            // libburn's own write thread stops and the drive goes idle.
            burn_drive_cancel(m_pDrive);
            cancelSent = true;
        }
        if (status != BURN_DRIVE_SPAWNING && status != BURN_DRIVE_GRABBING) {
            if (progress.sectors > 0) {
                total = static_cast<LONGLONG>(progress.sectors) * image.BlockSize();
                written = static_cast<LONGLONG>(progress.sector) * image.BlockSize();
            }
            if (!cacheFull && (progress.sector > 0 || status != BURN_DRIVE_WRITING)) {
                cacheFull = true;
                Notify(CN_WAIT_CACHE_FULL_END, nullptr, nullptr);
            }
            if (written != lastReported) {
                lastReported = written;
                Notify(CN_CDVD_WRITE_PROGRESS, &total, &written);
            }
            const bool closing = status == BURN_DRIVE_CLOSING_TRACK ||
                                 status == BURN_DRIVE_CLOSING_SESSION ||
                                 status == BURN_DRIVE_WRITING_LEADOUT;
            if (closing && !synchronizing && options.m_bSyncCache) {
                synchronizing = true;
                Notify(CN_SYNCHRONIZE_CACHE_BEGIN, nullptr, nullptr);
            }
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    m_bPerformOpc = false;
    m_bLastWriteWell = burn_drive_wrote_well(m_pDrive) == 1 && !cancelSent;
    if (cancelSent) {
        return out.Fail(EN_WRITE_FAILED, "the write to " + m_strAddress + " was stopped");
    }
    if (!m_bLastWriteWell) {
        return out.Fail(EN_WRITE_FAILED, "writing " + image.Path() + " to " + m_strAddress + " failed");
    }
    if (!cacheFull) {
        Notify(CN_WAIT_CACHE_FULL_END, nullptr, nullptr);
    }
    written = total;
    Notify(CN_CDVD_WRITE_PROGRESS, &total, &written);
    if (options.m_bSyncCache) {
        if (!synchronizing) {
            Notify(CN_SYNCHRONIZE_CACHE_BEGIN, nullptr, nullptr);
        }
        Notify(CN_SYNCHRONIZE_CACHE_END, nullptr, nullptr);
    }
    m_bLastWriteClosed = options.m_bLastSession;
    return out.Succeed();
}

EXCEPTION_NUMBER CLibburnDrive::CloseSession(CCallOutput& out)
{
    EXCEPTION_NUMBER result = EN_SUCCESS;
    if (!EnsureGrabbed(out, result)) {
        return result;
    }
    // libburn closes the session as the last step of a write that was not asked to keep the
    // disc appendable; here we confirm that this happened.
    if (!m_bLastWriteWell) {
        return out.Fail(EN_WRITE_FAILED, "no successful write whose session could be closed");
    }
    if (!m_bLastWriteClosed) {
        return out.Fail(EN_UNSUPPORTED, "the last write left its session open");
    }
    return out.Succeed();
}

} // namespace platform::burnlib
