// The recording window's bookkeeping without any window: the states with the controls they
// enable, the numbered files, and burn mode's list of files with its one question.
#include "recording/RecordingState.h"

#include <gtest/gtest.h>

using namespace recording;

namespace {

// The window's side: it opens presentations and steps through start, pause and stop.
class CSession : public CRecordingState {
public:
    void Open(bool bOtherPresentation)
    {
        if (bOtherPresentation)
            m_bNewPresentationPending = true;
    }
    std::string Start(const std::string& name)
    {
        std::string file = NameOutputFile("/videos/", name);
        RecordingStarted();
        return file;
    }
    using CRecordingState::RecordingStopped;
    using CRecordingState::TogglePause;
};

TEST(RecordingState, ReadyRecordingPausedAndBackWithTheirTextsAndControls)
{
    CSession session;
    EXPECT_EQ(session.GetRecordState(), RECORD_STATE_READY);
    EXPECT_FALSE(session.TogglePause()) << "no pause without a recording";
    EXPECT_EQ(session.GetRecordState(), RECORD_STATE_READY);

    session.Start("talk");
    EXPECT_TRUE(session.IsRecording());
    EXPECT_STREQ(CRecordingState::StatusText(session.GetRecordState()), kRecordingText);
    EXPECT_STREQ(CRecordingState::PauseButtonText(session.GetRecordState()), "Pause");

    EXPECT_TRUE(session.TogglePause());
    EXPECT_EQ(session.GetRecordState(), RECORD_STATE_PAUSED);
    EXPECT_TRUE(session.IsRecording()) << "paused counts as recording";
    EXPECT_STREQ(CRecordingState::StatusText(RECORD_STATE_PAUSED), kPausedText);
    EXPECT_STREQ(CRecordingState::PauseButtonText(RECORD_STATE_PAUSED), "Start");

    // Stopped while paused: Ready, and the button says "Pause" again.
    EXPECT_EQ(session.RecordingStopped(true, false), AfterStop::ShowFinished);
    EXPECT_FALSE(session.IsRecording());
    EXPECT_EQ(session.GetRecordState(), RECORD_STATE_READY);
    EXPECT_STREQ(CRecordingState::StatusText(session.GetRecordState()), kReadyText);
    EXPECT_STREQ(CRecordingState::PauseButtonText(session.GetRecordState()), "Pause");

    // Controls: recording locks the settings and Start, navigation follows the presentation.
    for (bool recording : {false, true})
        for (bool open : {false, true}) {
            RecordEnabling e = GetRecordEnabling(recording, open);
            EXPECT_EQ(e.bStart, !recording);
            EXPECT_EQ(e.bPauseStop, recording);
            EXPECT_EQ(e.bSettings, !recording);
            EXPECT_EQ(e.bNavigation, open);
        }
}

TEST(RecordingState, EveryStopNumbersTheNextFileWhateverThePresentationAndHowItEnded)
{
    CSession session;
    EXPECT_EQ(session.Start("talk"), "/videos/talk_001.avi");
    session.RecordingStopped(true, false);
    EXPECT_EQ(session.Start("other"), "/videos/other_002.avi");
    EXPECT_EQ(session.RecordingStopped(false, false), AfterStop::WriteFailed);
    EXPECT_EQ(session.Start("talk"), "/videos/talk_003.avi") << "a failed file keeps its number";
    EXPECT_EQ(session.GetOutputFile(), "/videos/talk_003.avi");
}

TEST(RecordingState, BurnModeKeepsOneFilePerPresentationAndAsksOnceAfterTheFirstFile)
{
    CSession session;
    // A first file that could not be written joins nothing and asks nothing.
    session.Start("a");
    EXPECT_EQ(session.RecordingStopped(false, true), AfterStop::WriteFailed);
    EXPECT_TRUE(session.m_RecordedFiles.empty());

    session.Start("a");
    EXPECT_EQ(session.RecordingStopped(true, true), AfterStop::AskBurn);
    session.Start("a");
    EXPECT_EQ(session.RecordingStopped(true, true), AfterStop::Nothing);
    EXPECT_EQ(session.m_RecordedFiles, std::vector<std::string> {"/videos/a_003.avi"});
    // A failed take of the same presentation leaves its last good file on the list.
    session.Start("a");
    session.RecordingStopped(false, true);
    session.Open(true);
    session.Start("b");
    EXPECT_EQ(session.RecordingStopped(true, true), AfterStop::Nothing);
    EXPECT_EQ(session.m_RecordedFiles, (std::vector<std::string> {"/videos/a_003.avi", "/videos/b_005.avi"}));
}

}  // namespace
