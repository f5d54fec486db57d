// Recording slide shows through the recording window, as a user does: "Start", the presentation
// mode window, pause and resume, ">" on the last slide, the conversion-finished window; burn mode
// with its list of recorded files, the burn question and the burn window; a graph that cannot be
// built and a folder that cannot be written. The real office, capture filter module, sound server
// and multiplexer, on an X server of the tests' own; the files are read back with ffmpeg.
//
// VANTOREL_TEST_SHOTS=<folder> keeps screenshots and a few decoded frames there.
#include "RecordedVideo.h"
#include "RecordWindowSupport.h"
#include "RecordingSupport.h"

#include "app/FinishedDlg.h"
#include "dvd/BurnDlg.h"
#include "options/OptionFile.h"
#include "options/VideoOptions.h"
#include "platform/com/ComBase.h"
#include "platform/office/ShowScreen.h"
#include "platform/office/TestPresentations.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/MessageBox.h"
#include "options/VideoOptionsDlg.h"
#include "recording/PresentationModeDlg.h"
#include "recording/RecordDlg.h"
#include "support/PrivatePulseServer.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace recording;
using namespace recordingtest;
using namespace recordtest;
using recordtest::RunWindow;
using testsupport::TempDir;

namespace {

constexpr long kSlides = 5;

// A window the test waits for that must show.
template <class T>
void Expect(QObject* owner, std::function<void(T&)> act)
{
    WhenShown<T>(owner, act, 30000, [] { ADD_FAILURE() << "the window did not show"; });
}

// With VANTOREL_TEST_SHOTS=<folder>, the screen as it looks once the windows have painted.
void Shot(const std::string& name)
{
    const char* folder = std::getenv("VANTOREL_TEST_SHOTS");
    if (!folder)
        return;
    PumpUntil([] { return false; }, 500);
    std::system(("import -window root '" + std::string(folder) + "/" + name + "' 2>/dev/null").c_str());
}

class RecordingSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pDecks = new TempDir();
        // Slides of their own colours that move on after a second each, 4:3 as the slide area.
        officetest::ShowOptions deck;
        deck.slides = kSlides;
        deck.animations = false;
        deck.pageSound = false;
        deck.pageWidth = 28000;
        deck.pageHeight = 21000;
        s_bMade = recordtest::MakeDecks(s_pDecks->path().string(), {{"deck", deck}, {"other", deck}});
    }
    static void TearDownTestSuite()
    {
        delete s_pDecks;
        s_pDecks = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_bMade);
        std::filesystem::create_directories(m_out);
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(capturetest::RegisterRecordingClasses(ORAVANE_MODULE), "");
        m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            m_boxes.push_back(r.text);
            return r.text.starts_with("Burn to DVD now?") ? platform::IDNO : platform::IDOK;
        });
        // Recordings as the options window stores them: silent and uncompressed into m_out.
        m_options.m_strOutputPath = m_out + "/";
        m_options.m_bUseTempFolder = 0;
        m_options.m_bRecordSound = 0;
        m_options.m_bVideoCompress = 0;
        m_options.m_bAudioCompress = 0;
        SaveOptions();
        recordtest::SaveSlideArea(640, 480);
    }
    void TearDown() override
    {
        platform::SetMessageBoxHandler(m_previous);
        CoUninitialize();
    }

    void SaveOptions() { options::COptionFile(options::kVideoOptionsFile).SaveRecord(m_options); }

    // "Start", then "Start " in the presentation mode window once `check` has looked at it.
    void StartRecording(CRecordDlg& dlg, const std::function<void(CPresentationModeDlg&)>& check = {})
    {
        Expect<CPresentationModeDlg>(&m_watches, [check](CPresentationModeDlg& mode) {
            if (check)
                check(mode);
            mode.SendCommand(platform::IDOK);
        });
        dlg.SendCommand(IDC_REC_START);
        ASSERT_TRUE(PumpUntil([&] { return dlg.IsRecording(); }, 30000)) << (m_boxes.empty() ? "" : m_boxes.back());
    }

    bool WaitForSlide(CRecordDlg& dlg, long slide, int timeoutMs = 15000)
    {
        return PumpUntil([&] { return dlg.Driver().CurrentShowPosition() == slide; }, timeoutMs);
    }

    // Ends a recording with ">" on the last slide; the conversion-finished window names the file
    // and is closed.
    void StopAtTheEnd(CRecordDlg& dlg, const std::string& expectedFile)
    {
        ASSERT_TRUE(WaitForSlide(dlg, kSlides));
        // As a user does: once the last slide shows, and the recording has taken it in. On a
        // busy machine the show may be past it already, on its black end screen.
        RECT frame = dlg.GetCaptureRect();
        ASSERT_TRUE(PumpUntil([&] {
            const std::uint32_t centre =
                officetest::ScreenPixel((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2);
            return officetest::Near(centre, officetest::SlideColour(kSlides)) || officetest::Near(centre, 0);
        }, 5000));
        const auto written = [&] { return std::filesystem::file_size(dlg.GetOutputFile()); };
        const auto before = written();
        const auto twoFrames = static_cast<std::uintmax_t>(2 * 3 * (frame.right - frame.left) * (frame.bottom - frame.top));
        ASSERT_TRUE(PumpUntil([&] { return written() >= before + twoFrames; }, 5000));
        std::string shown;
        Expect<CFinishedDlg>(&m_watches, [&](CFinishedDlg& finished) {
            shown = finished.GetDlgItemText(IDC_FIN_VIDEO_FILE).toStdString();
            Shot("finished.png");
            finished.SendCommand(platform::IDCANCEL);
        });
        dlg.SendCommand(IDC_REC_NEXT);
        EXPECT_FALSE(dlg.IsRecording());
        EXPECT_EQ(shown, expectedFile);
    }

    // The file is a clean recording of the capture frame: every frame shows a slide, no capture
    // frame and no bars of the office, and the slides come in order up to the last one.
    void ExpectSlideShowRecording(const std::string& file, const RECT& frame)
    {
        SCOPED_TRACE(file);
        VideoFacts facts = ReadVideoFacts(file);
        EXPECT_EQ(facts.decodeErrors, "");
        EXPECT_EQ(facts.codec, "rawvideo");
        const int width = frame.right - frame.left, height = frame.bottom - frame.top;
        ASSERT_EQ(facts.width, width);
        ASSERT_EQ(facts.height, height);
        std::vector<FrameLook> looks = LookAtFrames(file, width, height, kSlides);
        ASSERT_EQ(static_cast<long>(looks.size()), facts.frames);
        // The show paints its first slide a moment after it starts: the first frames may show
        // the empty slide area. From the first slide on, a frame caught while the office
        // repaints may mix two slides; nothing else may show but, after the last slide, the
        // show's end screen.
        long leading = 0;
        while (leading < static_cast<long>(looks.size()) && looks[leading].slide == 0 && !looks[leading].foreign)
            ++leading;
        EXPECT_LE(leading, 8) << "frames before the show";
        long trailing = static_cast<long>(looks.size());
        while (trailing > leading && looks[trailing - 1].EndScreen(width, height))
            --trailing;
        long outlined = 0, other = 0;
        for (long i = 0; i < static_cast<long>(looks.size()); ++i) {
            outlined += looks[i].redOutline;
            other += i >= leading && i < trailing && !looks[i].OnlySlide(width, height);
        }
        EXPECT_EQ(outlined, 0) << "frames with the red capture frame";
        EXPECT_LE(other, 2) << "frames that show more than a slide";
        std::vector<long> order = SlideOrder(looks);
        ASSERT_FALSE(order.empty());
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << ::testing::PrintToString(order);
        EXPECT_EQ(order.front(), 1);
        EXPECT_EQ(order.back(), kSlides);
        KeepFrames(file, std::filesystem::path(file).stem().string(), {0, facts.frames / 2, facts.frames - 1});
    }

    static TempDir* s_pDecks;
    static bool s_bMade;
    TempDir m_dir;
    testsupport::ScopedEnv m_config {"VANTOREL_CONFIG_DIR", m_dir.file("config")};
    testsupport::ScopedEnv m_registry {"VANTOREL_REGISTRY", m_dir.file("registry")};
    testsupport::ScopedEnv m_log {"VANTOREL_LOG", m_dir.file("kvellog.txt")};
    std::string m_out = m_dir.file("videos");
    options::CVideoOptions m_options;
    platform::MessageBoxHandler m_previous;
    std::vector<std::string> m_boxes;
    QObject m_watches;  // the windows a test waits for; its watches end with it
};

TempDir* RecordingSessionTest::s_pDecks = nullptr;
bool RecordingSessionTest::s_bMade = false;

TEST_F(RecordingSessionTest, APptWithAPauseAndThenAPpsWithSoundAreRecordedFromStartToTheLastSlide)
{
    testsupport::PrivatePulseServer pulse;
    ASSERT_TRUE(pulse.IsRunning()) << pulse.Log();
    CTestOwner owner;
    owner.m_paths = {s_pDecks->file("deck.ppt"), s_pDecks->file("other.pps")};
    CRecordDlg dlg;
    dlg.m_pMainDlg = &owner;
    RECT frame {};
    double silentRate = 0;
    RunWindow(dlg, [&] {
        ASSERT_TRUE(dlg.Driver().IsStarted());
        frame = dlg.GetCaptureRect();
        ASSERT_EQ(frame.right - frame.left, 640);

        // The mode window shows the presentation's own settings: all slides, its timings.
        StartRecording(dlg, [](CPresentationModeDlg& mode) {
            EXPECT_EQ(mode.GetDlgItemText(IDC_PM_FIRST_SLIDE), "1");
            EXPECT_EQ(mode.GetDlgItemText(IDC_PM_LAST_SLIDE), QString::number(kSlides));
            EXPECT_TRUE(mode.GetDlgItemAs<QRadioButton>(IDC_PM_TIMINGS)->isChecked());
            Shot("presentation-mode.png");
        });
        dlg.RunEnablingPass();
        EXPECT_EQ(dlg.GetDlgItemText(IDC_REC_STATUS), kRecordingText);
        EXPECT_FALSE(dlg.GetDlgItem(IDC_REC_START)->isEnabled());
        EXPECT_TRUE(dlg.GetDlgItem(IDC_REC_STOP)->isEnabled());
        EXPECT_FALSE(dlg.GetDlgItem(IDC_REC_OPTION)->isEnabled());
        EXPECT_FALSE(dlg.GetDlgItem(IDC_REC_CAPTURE_FRAME)->isVisible());

        // A pause while the show moves on by itself: the recording skips that part.
        ASSERT_TRUE(WaitForSlide(dlg, 2));
        Shot("recording.png");
        dlg.SendCommand(IDC_REC_PAUSE);
        EXPECT_EQ(dlg.GetRecordState(), RECORD_STATE_PAUSED);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_REC_PAUSE), "Start");
        EXPECT_EQ(dlg.GetDlgItemText(IDC_REC_STATUS), kPausedText);
        ASSERT_TRUE(WaitForSlide(dlg, 3));
        dlg.SendCommand(IDC_REC_PAUSE);
        EXPECT_EQ(dlg.GetRecordState(), RECORD_STATE_RECORDING);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_REC_PAUSE), "Pause");

        StopAtTheEnd(dlg, m_out + "/deck_001.avi");
        silentRate = dlg.GetCaptureGraph().GetLastFrameRate();
        EXPECT_EQ(dlg.GetRecordState(), RECORD_STATE_READY);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_REC_STATUS), kReadyText);
        EXPECT_TRUE(dlg.GetDlgItem(IDC_REC_CAPTURE_FRAME)->isVisible());
        // The show is ready again for the next recording.
        EXPECT_TRUE(dlg.Driver().IsPresentationOpen());

        // The next presentation, with the sound of the sound server, gets the next number.
        auto* combo = dlg.GetDlgItemAs<platform::CComboBox>(IDC_REC_PRESENTATIONS);
        combo->SetCurSel(1);
        emit combo->activated(1);
        options::CVideoOptions& recordOptions = dlg.GetRecordingOptions();
        recordOptions.m_bRecordSound = 1;
        recordOptions.m_strSoundDevice = capturetest::FirstSoundDevice();
        recordOptions.m_strInputSource = testsupport::PrivatePulseServer::kToneMonitorDescription;
        recordOptions.m_nChannels = 0;
        StartRecording(dlg);
        StopAtTheEnd(dlg, m_out + "/other.pps.temp_002.avi");
        EXPECT_EQ(dlg.GetFileCounter(), 3);
    });
    EXPECT_TRUE(m_boxes.empty()) << m_boxes.front();

    // The silent recording: its frame rate is the one the source measured.
    const std::string silent = m_out + "/deck_001.avi";
    ExpectSlideShowRecording(silent, frame);
    // Its timing log: the slides where its frames show them, the pause cut out.
    EXPECT_EQ(TimingLogMismatches(silent, LookAtFrames(silent, frame.right - frame.left, frame.bottom - frame.top, kSlides)),
              "");
    EXPECT_GE(silentRate, 5.0);
    EXPECT_EQ(ReadVideoRateField(silent), static_cast<std::uint32_t>(silentRate));

    // The .pps, recorded from its copy, with its sound as long as its picture.
    const std::string sound = m_out + "/other.pps.temp_002.avi";
    ExpectSlideShowRecording(sound, frame);
    VideoFacts facts = ReadVideoFacts(sound);
    ASSERT_GT(facts.soundSeconds, 3.0);
    EXPECT_NEAR(facts.soundSeconds, facts.videoSeconds, 0.2);
}

TEST_F(RecordingSessionTest, BurnModeListsOneFileAPresentationAsksOnceAndHandsTheListToTheBurnWindow)
{
    testsupport::ScopedEnv drives("VANTOREL_BURN_DRIVES", "stdio:" + m_dir.file("disc.img"));
    CBurnDlg burn;  // the program's one burn window
    options::CVideoOptionsDlg link;
    link.m_bBurnMode = 1;
    link.m_strOutputPath = m_out + "/";
    CTestOwner owner;
    owner.m_paths = {s_pDecks->file("deck.ppt"), s_pDecks->file("other.pps")};
    CRecordDlg dlg;
    dlg.m_pMainDlg = &owner;
    dlg.m_pVideoOptionsDlg = &link;
    bool finishedShown = false;
    auto question = [this] {
        return std::count_if(m_boxes.begin(), m_boxes.end(),
                             [](const std::string& text) { return text.starts_with("Burn to DVD now?"); });
    };
    RunWindow(dlg, [&] {
        ASSERT_TRUE(dlg.Driver().IsStarted());
        EXPECT_TRUE(dlg.GetDlgItem(IDC_REC_BURN)->isVisible());
        // No conversion-finished window in burn mode.
        WhenShown<CFinishedDlg>(&m_watches, [&](CFinishedDlg& finished) {
            finishedShown = true;
            finished.SendCommand(platform::IDCANCEL);
        }, 120000);
        auto record = [&] {
            StartRecording(dlg);
            ASSERT_TRUE(WaitForSlide(dlg, 2));
            dlg.SendCommand(IDC_REC_STOP);
            ASSERT_FALSE(dlg.IsRecording());
        };
        // A, then A again: the second file replaces the first on the list. The question comes
        // once, after the first stop (and is answered No).
        record();
        EXPECT_EQ(dlg.m_RecordedFiles, std::vector<std::string> {m_out + "/deck_001.avi"});
        EXPECT_TRUE(PumpUntil([&] { return question() == 1; }, 5000));
        record();
        EXPECT_EQ(dlg.m_RecordedFiles, std::vector<std::string> {m_out + "/deck_002.avi"});
        // B joins the list.
        auto* combo = dlg.GetDlgItemAs<platform::CComboBox>(IDC_REC_PRESENTATIONS);
        combo->SetCurSel(1);
        emit combo->activated(1);
        record();
        const std::vector<std::string> expected {m_out + "/deck_002.avi", m_out + "/other.pps.temp_003.avi"};
        EXPECT_EQ(dlg.m_RecordedFiles, expected);

        // "&Burn DVD": the office goes, the burn window lists the files, the office and the show
        // come back when it closes.
        const DWORD office = dlg.Driver().ProcessId();
        bool officeRan = true;
        std::vector<std::string> listed;
        Expect<CBurnDlg>(&m_watches, [&](CBurnDlg& window) {
            officeRan = dlg.Driver().IsStarted();
            auto* list = window.GetDlgItemAs<platform::CListBox>(IDC_BURN_VIDEO_LIST);
            for (int i = 0; i < list->GetCount(); ++i)
                listed.push_back(list->GetText(i).toStdString());
            Shot("burn-window.png");
            window.SendCommand(IDC_BURN_CLOSE);
        });
        dlg.SendCommand(IDC_REC_BURN);
        EXPECT_FALSE(officeRan);
        EXPECT_EQ(listed, expected);
        EXPECT_TRUE(dlg.Driver().IsStarted());
        EXPECT_NE(dlg.Driver().ProcessId(), office);
        EXPECT_TRUE(dlg.Driver().IsPresentationOpen());
    });
    EXPECT_FALSE(finishedShown);
    EXPECT_EQ(question(), 1);
    for (const std::string& file : {m_out + "/deck_001.avi", m_out + "/deck_002.avi", m_out + "/other.pps.temp_003.avi"}) {
        VideoFacts facts = ReadVideoFacts(file);
        EXPECT_EQ(facts.decodeErrors, "") << file;
        EXPECT_EQ(facts.width, 704) << file;  // the DVD size burn mode starts with
    }
}

TEST_F(RecordingSessionTest, AGraphThatCannotBeBuiltIsRetriedThroughTheOptionsAndAFolderThatCannotHoldTheFileIsSaid)
{
    // No office (its profiles cannot be made): the window records its empty slide area.
    testsupport::WriteFile(m_dir.file("plain"), "");
    testsupport::ScopedEnv profiles("VANTOREL_OFFICE_PROFILES", m_dir.file("plain") + "/office");
    m_options.m_bVideoCompress = 1;
    m_options.m_strVideoCompressor = "No Such Codec";
    SaveOptions();
    CTestOwner owner;
    owner.m_paths = {s_pDecks->file("deck.ppt")};
    CRecordDlg dlg;
    dlg.m_pMainDlg = &owner;
    const std::string retry =
        "Initialization have not finished! \n Maybe you should select another Audio/Video Compression.";
    bool finishedShown = false;
    RunWindow(dlg, [&] {
        EXPECT_FALSE(dlg.Driver().IsStarted());
        // The options window comes once; OK without a change fails again, and the window stays
        // Ready.
        m_boxes.clear();
        Expect<options::CVideoOptionsDlg>(&m_watches, [](options::CVideoOptionsDlg& window) { window.SendCommand(platform::IDOK); });
        Expect<CPresentationModeDlg>(&m_watches, [](CPresentationModeDlg& mode) { mode.SendCommand(platform::IDOK); });
        dlg.SendCommand(IDC_REC_START);
        EXPECT_TRUE(PumpUntil([&] { return m_boxes.size() >= 4; }, 20000));
        const std::vector<std::string> failed {"CreateVideoCompressor() failed!", retry, "CreateVideoCompressor() failed!",
                                               "Initialization Failed!"};
        EXPECT_EQ(m_boxes, failed);
        EXPECT_FALSE(dlg.IsRecording());
        EXPECT_EQ(dlg.GetRecordState(), RECORD_STATE_READY);

        // A compressor chosen there records.
        m_boxes.clear();
        Expect<options::CVideoOptionsDlg>(&m_watches, [](options::CVideoOptionsDlg& window) {
            auto* list = window.GetDlgItemAs<platform::CComboBox>(options::IDC_VO_VIDEO_COMPRESSOR);
            list->SetCurSel(list->FindStringExact(-1, "Motion JPEG"));
            window.SendCommand(platform::IDOK);
        });
        StartRecording(dlg);
        EXPECT_EQ(m_boxes, (std::vector<std::string> {"CreateVideoCompressor() failed!", retry}));
        Expect<CFinishedDlg>(&m_watches, [](CFinishedDlg& finished) { finished.SendCommand(platform::IDCANCEL); });
        dlg.SendCommand(IDC_REC_STOP);

        // A folder that cannot hold the file: the recording ends at once with a message naming
        // it, and without the conversion-finished window.
        m_boxes.clear();
        dlg.GetRecordingOptions().m_strOutputPath = m_dir.file("plain") + "/";
        WhenShown<CFinishedDlg>(&m_watches, [&](CFinishedDlg& finished) {
            finishedShown = true;
            finished.SendCommand(platform::IDCANCEL);
        }, 20000);
        StartRecording(dlg);
        EXPECT_TRUE(PumpUntil([&] { return !dlg.IsRecording(); }, 10000));
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_NE(m_boxes[0].find(m_dir.file("plain") + "/deck_002.avi"), std::string::npos) << m_boxes[0];
        EXPECT_EQ(dlg.GetRecordState(), RECORD_STATE_READY);
        EXPECT_EQ(dlg.GetFileCounter(), 3);
    });
    EXPECT_FALSE(finishedShown);
    VideoFacts facts = ReadVideoFacts(m_out + "/deck_001.avi");
    EXPECT_EQ(facts.codec, "mjpeg");
    EXPECT_EQ(facts.decodeErrors, "");
}

}  // namespace
