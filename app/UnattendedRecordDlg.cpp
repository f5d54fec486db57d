#include "app/UnattendedRecordDlg.h"

#include "dvd/BurnChecks.h"
#include "dvd/BurnDlg.h"
#include "platform/ui/ComboBox.h"
#include "recording/PresentationFiles.h"
#include "recording/RecordGeometry.h"
#include "recording/SlideTimingLog.h"

#include <QApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numeric>

namespace {

using namespace std::chrono_literals;

constexpr auto kTick = 50ms;
constexpr auto kBurnTick = 200ms;
constexpr auto kModalWatch = 100ms;
// The burn window's log entries begin with their time, "hh:mm:ss ".
constexpr std::size_t kLogTimeWidth = 9;
// A press of ">" that left the show on its slide is made again this long after.
constexpr auto kPressAgainAfter = 1s;
// How late the last slide may come and still end with the show's time.
constexpr auto kLastSlideLateness = 250ms;
// Beyond the slides' times: the start, the nudges, a loaded machine.
constexpr auto kShowSlack = 60s;

long long Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

std::chrono::steady_clock::duration Seconds(double seconds)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

// A burn log entry's text, after its time.
std::string LogText(const std::string& entry)
{
    return entry.size() > kLogTimeWidth ? entry.substr(kLogTimeWidth) : std::string();
}

}  // namespace

CUnattendedRecordDlg::CUnattendedRecordDlg(const RecordRequest& request, CBatchReport& report,
                                           const options::CVideoOptions& output, QWidget* pParent)
    : CRecordDlg(pParent), m_request(request), m_report(report), m_output(output)
{
    m_timer.setInterval(kTick);
    connect(&m_timer, &QTimer::timeout, this, [this] { Follow(); });
    m_modalWatch.setInterval(kModalWatch);
    connect(&m_modalWatch, &QTimer::timeout, this, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (dialog && dialog != this && dialog != CBurnDlg::GetProgramInstance() && dialog->isVisible())
            dialog->reject();
    });
    m_oldMessageBox =
        platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& box) { return OnMessageBox(box); });
}

CUnattendedRecordDlg::~CUnattendedRecordDlg()
{
    platform::SetMessageBoxHandler(m_oldMessageBox);
}

int CUnattendedRecordDlg::OnMessageBox(const platform::MessageBoxRequest& box)
{
    static const std::string kStopQuestion = "A DVD is being made. Stop it and close the window?";
    static const std::string kBurnQuestion = "Burn to DVD now? Or you can click on 'Burn DVD' button later.";
    if (box.text == kStopQuestion)
        return platform::IDYES;
    // The run makes its DVD after the last file.
    if (box.text == kBurnQuestion)
        return platform::IDNO;
    // One line per message.
    std::string text = box.text;
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    if (m_strCurrentFile.empty())
        m_report.Error(text);
    else
        m_report.FileError(m_strCurrentFile, text);
    if (m_burnStep == BurnStep::Started)
        m_bBoxDuringBurn = true;
    return (box.type & platform::MB_TYPEMASK) == platform::MB_YESNO ? platform::IDNO : platform::IDOK;
}

BOOL CUnattendedRecordDlg::OnInitDialog()
{
    const BOOL result = CRecordDlg::OnInitDialog();
    // The window read its member options from their file; the run records with its own.
    static_cast<options::CVideoOptions&>(GetRecordingOptions()) = m_output;
    m_modalWatch.start();
    QTimer::singleShot(0, this, [this] { Begin(); });
    return result;
}

void CUnattendedRecordDlg::Begin()
{
    if (m_request.size) {
        // A size of the list is chosen there, any other typed into the slide area's edits, as a
        // user would.
        int preset = 0;
        for (int i = 1; i < recording::kSizePresetCount; ++i)
            if (recording::kSizePresets[i].width == m_request.size->width &&
                recording::kSizePresets[i].height == m_request.size->height)
                preset = i;
        auto* sizes = GetDlgItemAs<platform::CComboBox>(recording::IDC_REC_SIZE);
        sizes->SetCurSel(preset);
        if (preset > 0) {
            Guarded([this] { ApplySizePreset(); });
        } else {
            for (int id : {recording::IDC_REC_TOP_MARGIN, recording::IDC_REC_BOTTOM_MARGIN, recording::IDC_REC_LEFT_MARGIN,
                           recording::IDC_REC_RIGHT_MARGIN})
                SetDlgItemText(id, "0");
            SetDlgItemText(recording::IDC_REC_PPT_WIDTH, QString::number(m_request.size->width));
            SetDlgItemText(recording::IDC_REC_PPT_HEIGHT, QString::number(m_request.size->height));
            SetDlgItemText(recording::IDC_REC_VIDEO_WIDTH, QString::number(m_request.size->width));
            SetDlgItemText(recording::IDC_REC_VIDEO_HEIGHT, QString::number(m_request.size->height));
        }
    }
    if (!Driver().IsStarted()) {
        for (const std::string& path : m_pMainDlg->GetPresentationList())
            m_report.FileError(path, "not recorded: the office could not be started");
        m_nFailed += static_cast<int>(m_pMainDlg->GetPresentationList().size());
        Finish();
        return;
    }
    RecordNext();
}

void CUnattendedRecordDlg::RecordNext()
{
    const std::vector<std::string> files = m_pMainDlg->GetPresentationList();
    if (m_nNext >= files.size()) {
        if (m_request.WantsDvd() && m_nRecorded > 0)
            MakeDvd();
        else
            Finish();
        return;
    }
    m_strCurrentFile = files[m_nNext++];
    m_report.FileStarted(static_cast<int>(m_nNext), static_cast<int>(files.size()), m_strCurrentFile);
    std::string why;
    if (!OpenFile(m_strCurrentFile, &why)) {
        FileFailed("skipped: " + why);
        return;
    }
    if (!StartFile()) {
        FileFailed("not recorded: the recording did not start");
        return;
    }
    m_nReported = 0;
    m_nPressed = 0;
    const double total = std::accumulate(m_durations.begin(), m_durations.end(), 0.0);
    m_deadline = Clock::now() + Seconds(total) + kShowSlack + kPressAgainAfter * m_nSlideCount;
    m_timer.start();
}

bool CUnattendedRecordDlg::OpenFile(const std::string& path, std::string* why)
{
    // The list shows a .pps through its copy.
    auto* list = GetDlgItemAs<platform::CComboBox>(recording::IDC_REC_PRESENTATIONS);
    int entry = platform::CB_ERR;
    for (int i = 0; i < list->GetCount() && entry == platform::CB_ERR; ++i) {
        const std::string text = list->GetLBText(i).toStdString();
        if (text == path || text == path + recording::kTempCopySuffix)
            entry = i;
    }
    if (entry == platform::CB_ERR) {
        *why = "not in the presentation list";
        return false;
    }
    list->SetCurSel(entry);
    // The first slide alone until the slide count is known: valid for any presentation.
    SetPresentationSettings(recording::PresentationSettings {});
    m_bPlanTimings = false;
    Guarded([this] { OnSelchangePresentations(); });
    if (!Driver().IsPresentationOpen()) {
        *why = "the office cannot open it as a presentation";
        return false;
    }
    m_nSlideCount = Driver().SlideCount();
    if (m_nSlideCount < 1) {
        *why = "it has no slides";
        return false;
    }
    m_durations.clear();
    for (double seconds : Driver().SlideAdvanceTimes())
        m_durations.push_back(seconds >= 0 ? seconds : m_request.slideSeconds);
    m_durations.resize(static_cast<std::size_t>(m_nSlideCount), m_request.slideSeconds);
    // Where each slide is due in the video.
    m_starts.assign(1, 0);
    double total = 0;
    for (double seconds : m_durations)
        m_starts.push_back(std::llround((total += seconds) * 1000));
    return true;
}

void CUnattendedRecordDlg::PrepareShow()
{
    if (!m_bPlanTimings)
        return;
    // Every slide waits for ">", which the run presses when the slide is due on the video's
    // clock: the office's own timer starts once a slide is drawn, so each slide it moves on
    // would come a little late and the lateness would add up over the show. The slides'
    // effects keep running on their time.
    for (long n = 1; n <= m_nSlideCount; ++n)
        Driver().SetSlideAdvanceTime(n, -1.0);
}

bool CUnattendedRecordDlg::StartFile()
{
    // What the presentation mode window would hand over for "use slide timings" over all slides.
    recording::PresentationSettings settings;
    ReadShowSettings(&settings);
    settings.m_nFirstSlide = 1;
    settings.m_nLastSlide = static_cast<int>(m_nSlideCount);
    settings.m_nAdvanceMode = 1;
    SetPresentationSettings(settings);
    m_bPlanTimings = true;
    Guarded([this] { OnStartRecording(0, 0); });
    m_bPlanTimings = false;
    return IsRecording();
}

void CUnattendedRecordDlg::Follow()
{
    if (!IsRecording()) {
        StopFile("the recording stopped before the last slide");
        return;
    }
    const auto now = Clock::now();
    const std::vector<recording::SlideChangeTime> changes = Driver().SlideChanges();
    for (; m_nReported < changes.size(); ++m_nReported) {
        const recording::SlideChangeTime& change = changes[m_nReported];
        m_report.Slide(change.showPosition, m_nSlideCount, GetVideoClock().VideoMs(change.time));
    }
    if (now >= m_deadline) {
        StopFile("the show took longer than its slides' times");
        return;
    }
    const long position =
        changes.empty() ? 1 : std::clamp<long>(changes.back().showPosition, 1, m_nSlideCount);
    if (position == m_nPressed) {
        // Pressed, and the show is still on the slide: its effects took the press, or the office
        // has not yet shown the next slide. Pressed again after a while, as a user would.
        if (now >= m_lastPress + kPressAgainAfter)
            Press(position);
        return;
    }
    // A slide goes when the next one is due in the video, the last one when the video has had
    // the show's time: the video's length is the slides' times. Each slide comes the moment the
    // office takes to draw it late; a last slide that came later than that still stays for
    // nearly its whole time.
    const auto dueInVideo = [&](long long videoMs) {
        return now + std::chrono::milliseconds(videoMs - GetVideoClock().VideoMs(now));
    };
    Clock::time_point due = dueInVideo(m_starts[static_cast<std::size_t>(position)]);
    if (position == m_nSlideCount && !changes.empty())
        due = std::max(due, changes.back().time + Seconds(m_durations.back()) - kLastSlideLateness);
    if (now + kTick < due)
        return;
    // To the millisecond rather than the tick.
    m_timer.stop();
    QTimer::singleShot(std::max<long long>(0, Milliseconds(due - now)), this, [this, position] {
        if (position == m_nSlideCount) {
            StopFile({});
            return;
        }
        Press(position);
        m_timer.start();
    });
}

void CUnattendedRecordDlg::Press(long position)
{
    m_nPressed = position;
    m_lastPress = Clock::now();
    SendCommand(recording::IDC_REC_NEXT);
}

void CUnattendedRecordDlg::StopFile(const std::string& failure)
{
    m_timer.stop();
    if (IsRecording())
        SendCommand(recording::IDC_REC_STOP);
    const std::string video = m_strOutputFile;
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(video, ec);
    const std::optional<double> seconds = ec ? std::nullopt : AviSeconds(video);
    if (!seconds) {
        FileFailed("not recorded: " + (failure.empty() ? std::string("no video was written") : failure));
        return;
    }
    m_report.Written(video, std::llround(*seconds * 1000), bytes);
    const std::string log = recording::TimingLogPath(video);
    if (std::filesystem::exists(log, ec))
        m_report.TimingLog(log);
    else
        m_report.FileError(video, "no slide timing log was written");
    if (!failure.empty()) {
        FileFailed(failure + "; what was recorded is kept");
        return;
    }
    ++m_nRecorded;
    QTimer::singleShot(0, this, [this] { RecordNext(); });
}

void CUnattendedRecordDlg::FileFailed(const std::string& why)
{
    m_report.FileError(m_strCurrentFile, why);
    ++m_nFailed;
    QTimer::singleShot(0, this, [this] { RecordNext(); });
}

// ---- The DVD

void CUnattendedRecordDlg::MakeDvd()
{
    CBurnDlg* burn = CBurnDlg::GetProgramInstance();
    m_strCurrentFile = m_request.DvdTarget();
    if (burn == nullptr) {
        m_report.Error("DVD: the program has no burn window");
        m_bDvdFailed = true;
        Finish();
        return;
    }
    // An image is written through a pseudo drive of its own.
    if (m_request.dvdImage)
        setenv("VANTOREL_BURN_DRIVES", ("stdio:" + *m_request.dvdImage).c_str(), 1);
    if (m_request.tvFormat)
        burn->m_nTvFormat = *m_request.tvFormat;
    burn->m_bChapters = m_request.chapters ? 1 : 0;
    m_burnStep = BurnStep::Opening;
    m_bBoxDuringBurn = false;
    m_nBurnLogRead = 0;
    QTimer burnTimer;
    burnTimer.setInterval(kBurnTick);
    connect(&burnTimer, &QTimer::timeout, this, [this] { FollowBurn(); });
    burnTimer.start();
    // The window's own burn command: the office closed, the burn window over this one, the
    // office back. The burn window runs modally; the timer steps it.
    Guarded([this] { OnBurnDvd(); });
    burnTimer.stop();
    if (m_burnStep != BurnStep::Done)
        m_bDvdFailed = true;
    Finish();
}

void CUnattendedRecordDlg::FollowBurn()
{
    CBurnDlg* burn = CBurnDlg::GetProgramInstance();
    if (burn == nullptr || !burn->isVisible() || m_burnStep == BurnStep::Done)
        return;
    const std::string& drive = m_request.DvdTarget();
    if (m_burnStep == BurnStep::Opening) {
        if (burn->IsRefreshing())
            return;
        auto* drives = burn->GetDlgItemAs<platform::CComboBox>(IDC_BURN_DRIVE);
        int entry = platform::CB_ERR;
        std::string found;
        for (int i = 0; i < drives->GetCount(); ++i) {
            const std::string text = drives->GetLBText(i).toStdString();
            found += (found.empty() ? "" : ", ") + text;
            if (text.rfind("[" + drive + "]", 0) == 0)
                entry = i;
        }
        if (entry == platform::CB_ERR) {
            m_report.Error("DVD: no drive " + drive + " (drives found: " + (found.empty() ? "none" : found) + ")");
            m_bDvdFailed = true;
            m_burnStep = BurnStep::Done;
            burn->SendCommand(IDC_BURN_CLOSE);
            return;
        }
        drives->SetCurSel(entry);
        burn->SendCommand(IDC_BURN_DRIVE);
        burn->SendCommand(IDC_BURN_START);
        if (burn->GetRunState() != CBurnDlg::RunState::Running) {
            // Its checks said why (reported with the message box).
            m_bDvdFailed = true;
            m_burnStep = BurnStep::Done;
            burn->SendCommand(IDC_BURN_CLOSE);
            return;
        }
        m_burnStep = BurnStep::Started;
        return;
    }
    // Each status the window passes through is also a line of its log, however briefly it
    // showed.
    const std::vector<std::string> entries = burn->GetLogEntries();
    for (; m_nBurnLogRead < entries.size(); ++m_nBurnLogRead) {
        const std::string text = LogText(entries[m_nBurnLogRead]);
        static const QRegularExpression convert("^Now convert (.*) to mpeg file\\.\\.\\. $");
        const QRegularExpressionMatch match = convert.match(QString::fromStdString(text));
        if (match.hasMatch()) {
            const std::string video = match.captured(1).toStdString();
            int index = 0;
            for (int i = 0; i < burn->GetVideoCount(); ++i)
                if (burn->GetVideoPath(i) == video)
                    index = i + 1;
            m_report.DvdConvert(index, burn->GetVideoCount(), video);
        } else if (text == "Now author dvd image...") {
            m_report.DvdAuthor();
        } else if (text == "Now burn to DVD...") {
            m_report.DvdBurn(0);
        }
    }
    const QString percent = burn->GetDlgItemText(IDC_BURN_PERCENT);
    if (burn->GetDlgItem(IDC_BURN_PERCENT)->isVisible() && percent.endsWith('%'))
        m_report.DvdBurn(percent.chopped(1).toInt());
    // A step that failed with a message posts no next stage: the run would wait for ever.
    if (m_bBoxDuringBurn && burn->GetRunState() == CBurnDlg::RunState::Running) {
        FailDvd(burn, drive);
        return;
    }
    if (burn->GetRunState() != CBurnDlg::RunState::Done)
        return;
    // The engine's texts are in the log; its last word on the burn decides.
    bool complete = false;
    for (const std::string& entry : entries) {
        if (entry.find("Burning Complete") != std::string::npos)
            complete = true;
        else if (entry.find("rror") != std::string::npos || entry.find("failed") != std::string::npos)
            m_report.Error("DVD: " + LogText(entry));
    }
    std::error_code ec;
    if (complete && m_request.dvdImage && std::filesystem::file_size(*m_request.dvdImage, ec) == 0)
        complete = false;
    if (complete) {
        m_report.DvdBurn(100);
        m_report.DvdDone(drive, m_request.dvdImage.has_value());
    } else {
        FailDvd(burn, drive);
        return;
    }
    m_burnStep = BurnStep::Done;
    burn->SendCommand(IDC_BURN_CLOSE);
}

void CUnattendedRecordDlg::FailDvd(CBurnDlg* burn, const std::string& drive)
{
    m_bDvdFailed = true;
    m_burnStep = BurnStep::Done;
    // Closing stops what still runs (the question is answered yes).
    burn->SendCommand(IDC_BURN_CLOSE);
    std::error_code ec;
    // A cut image is no disc: it goes, so that it is not taken for one.
    if (m_request.dvdImage && std::filesystem::remove(*m_request.dvdImage, ec))
        m_report.Error("DVD: " + drive + " was not written; the unfinished image is removed");
    else
        m_report.Error("DVD: " + drive + " was not written");
}

void CUnattendedRecordDlg::Finish()
{
    m_modalWatch.stop();
    m_strCurrentFile.clear();
    // The window's closing sequence, as its close box runs it.
    OnCancel();
}
