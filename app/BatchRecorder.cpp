#include "app/BatchRecorder.h"

#include "app/PresentationFiles.h"
#include "app/UnattendedRecordDlg.h"
#include "options/OptionFile.h"
#include "options/RecordingOptions.h"
#include "options/VideoOptionsDlg.h"
#include "platform/shell/Places.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/MessageBox.h"

#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The names of a list's entries, ", "-separated.
std::string EntryNames(const platform::CComboBox& list)
{
    std::string names;
    for (int i = 0; i < list.GetCount(); ++i)
        names += (i ? ", " : "") + list.GetLBText(i).toStdString();
    return names.empty() ? "none" : names;
}

// The entry whose text is `name` in any case, or CB_ERR.
int FindEntry(const platform::CComboBox& list, const std::string& name)
{
    return list.FindStringExact(-1, QString::fromStdString(name));
}

// A file's bytes, or nothing when it cannot be read.
std::optional<std::string> ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

}  // namespace

std::string WhyNotRecordable(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "no such file" : std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "it is a folder";
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (!IsPresentationName(path))
        return "not a presentation (.ppt, .pps, .pptx, .odp)";
    if (access(path.c_str(), R_OK) != 0)
        return std::string("cannot be read: ") + std::strerror(errno);
    return {};
}

std::vector<std::string> ChooseRecordableFiles(const std::vector<std::string>& files, CBatchReport& report)
{
    std::vector<std::string> chosen;
    for (const std::string& path : files) {
        const std::string why = WhyNotRecordable(path);
        if (why.empty())
            chosen.push_back(path);
        else
            report.FileError(path, "skipped: " + why);
    }
    return chosen;
}

CBatchRecorder::CBatchRecorder(const RecordRequest& request, CBatchReport& report, std::vector<std::string> files,
                               int skipped)
    : m_request(request), m_report(report), m_files(std::move(files)),
      m_strProgramFolder(platform::GetProgramFolder()), m_nSkipped(skipped)
{
}

CBatchRecorder::~CBatchRecorder() = default;

bool CBatchRecorder::ReadOutputOptions(options::CVideoOptionsDlg& options)
{
    // What the options window records when it is opened and confirmed now: the file's options,
    // with what this machine lacks replaced by its first choice. Nothing is written, nothing
    // shows on the screen.
    bool ok = true;
    options.setAttribute(Qt::WA_DontShowOnScreen, true);
    QTimer::singleShot(0, &options, [&] {
        options.UpdateData(TRUE);
        auto* compressors = options.GetDlgItemAs<platform::CComboBox>(options::IDC_VO_VIDEO_COMPRESSOR);
        auto* sounds = options.GetDlgItemAs<platform::CComboBox>(options::IDC_VO_AUDIO_COMPRESSOR);
        if (m_request.compressor) {
            const int entry = FindEntry(*compressors, *m_request.compressor);
            if (strcasecmp(m_request.compressor->c_str(), "none") == 0) {
                options.m_bVideoCompress = 0;
            } else if (entry == platform::CB_ERR) {
                m_report.Error("--compressor: no video compressor is named " + *m_request.compressor +
                               "; the names are: " + EntryNames(*compressors) + ", none");
                ok = false;
            } else {
                options.m_bVideoCompress = 1;
                options.m_strVideoCompressor = compressors->GetLBText(entry).toStdString();
            }
        }
        // A compressor asked for without a name (a first start) is the list's first.
        if (options.m_bVideoCompress && FindEntry(*compressors, options.m_strVideoCompressor) == platform::CB_ERR &&
            compressors->GetCount() > 0)
            options.m_strVideoCompressor = compressors->GetLBText(0).toStdString();
        if (options.m_bAudioCompress && FindEntry(*sounds, options.m_strAudioCompressor) == platform::CB_ERR &&
            sounds->GetCount() > 0)
            options.m_strAudioCompressor = sounds->GetLBText(0).toStdString();
        options.reject();
    });
    options.DoModal();
    if (m_request.outputFolder) {
        options.m_strOutputPath = *m_request.outputFolder;
        options.m_bUseTempFolder = 0;
    }
    if (m_request.noSound)
        options.m_bRecordSound = 0;
    return ok;
}

int CBatchRecorder::Run()
{
    const int total = static_cast<int>(m_request.files.size());
    // Boxes shown before the recording window runs: told, and answered as their default.
    platform::MessageBoxHandler old = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& box) {
        m_report.Error(box.text);
        return (box.type & platform::MB_TYPEMASK) == platform::MB_YESNO ? platform::IDNO : platform::IDOK;
    });
    options::CVideoOptionsDlg output;
    output.m_bBurnMode = m_request.WantsDvd() ? 1 : 0;
    const bool optionsOk = ReadOutputOptions(output);
    platform::SetMessageBoxHandler(old);
    if (!optionsOk)
        return RECORD_STATUS_BAD_ARGUMENTS;

    // The recording window saves its record when it closes; the run's sizes and burn settings
    // are its own, so the file is put back as it was.
    const std::string recordPath = options::COptionFile(options::kRecordingOptionsFile).Path();
    const std::optional<std::string> savedRecord = ReadBytes(recordPath);
    int recorded = 0, failed = 0;
    bool dvdFailed = false;
    {
        CUnattendedRecordDlg dlg(m_request, m_report, output);
        dlg.m_pVideoOptionsDlg = &output;
        dlg.m_pMainDlg = this;
        dlg.DoModal();
        recorded = dlg.GetRecordedCount();
        failed = dlg.GetFailedCount();
        dvdFailed = dlg.HasDvdFailed();
    }
    if (savedRecord) {
        if (auto writer = options::COptionFileWriter::Create(recordPath))
            writer->Commit(*savedRecord);
    } else {
        std::remove(recordPath.c_str());
    }
    m_report.Done(recorded, total);
    return m_nSkipped == 0 && failed == 0 && !dvdFailed ? RECORD_STATUS_DONE : RECORD_STATUS_SOME_FAILED;
}
