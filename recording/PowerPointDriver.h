#pragma once
// The recording window's calls into the presentation program ("Powerpoint.Application", the
// office layer's object model): the automation object slots and every call the window makes on
// them. The window sequences the calls (StartPowerPoint, OpenAndRunShow, ShutDownPowerPoint in
// CRecordDlg); this unit only makes them. A call on an empty slot does nothing and yields 0 or
// no object; a call the program refuses throws CAutomationError, which stops the window's
// handler and is reported by it.
#include "platform/base/WinTypes.h"
#include "platform/com/ComBase.h"
#include "recording/PresentationSettings.h"
#include "recording/SlideTimingLog.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace office {
class Application;
class Presentations;
class Presentation;
class Slides;
class SlideShowSettings;
class SlideShowWindow;
class SlideShowView;
}  // namespace office

namespace recording {

// The title marker the Application's caption is set to.
inline constexpr const char* kPowerPointCaption = "{F2A8A4B1-A100-49ce-8D88-664611FEC98B}";

class CAutomationError : public std::runtime_error {
public:
    CAutomationError(const std::string& call, HRESULT hr);
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

class CPowerPointDriver {
public:
    CPowerPointDriver();
    ~CPowerPointDriver();
    CPowerPointDriver(const CPowerPointDriver&) = delete;
    CPowerPointDriver& operator=(const CPowerPointDriver&) = delete;

    // Creates the Application (starts the office); false, with the reason in *error, when it
    // cannot be started.
    bool CreateApplication(std::string* error);
    // Presentations open inside this window of ours (the slide area), never at top level.
    void SetHostWindow(HWND host);
    // Application Caption = the marker, Visible = 1; from now on PowerPoint counts as started.
    void ShowApplication();

    // While Presentations.Count is at least 1, Close on Presentations.Item(1).
    void CloseAllPresentations();
    // Presentations.Open(path, 1, 0, 1) and Slides.Count; false when no presentation came back.
    bool OpenPresentation(const std::string& path);
    // ShowType 2 and Run, with the presentation's own range, advance, animation and narration.
    void RunWithOwnSettings();
    // ShowType 2, the settings mapped (PlanShowSetup), Run; then SlideShowWindow is read.
    void RunWithSettings(const PresentationSettings& settings);

    // Remembers the two command bars' values, then sets both to 3.
    void HideShowBars();
    // Writes the remembered values back.
    void RestoreShowBars();

    // The window the running show draws in; 0 when no show runs.
    HWND SlideShowWindowHandle();

    // Navigation: each refreshes the presentation, its show window and view from the
    // Application's active presentation first.
    void GotoFirstSlide();
    void GotoPreviousSlide();
    void GotoNextSlide();
    void GotoLastSlide();
    long CurrentShowPosition();

    // The open presentation's slides' own advance (Slides.Item(n).SlideShowTransition), from
    // slide 1: seconds for a slide that moves on by its time, a negative value for one that waits
    // for a click.
    std::vector<double> SlideAdvanceTimes();
    // Slide n moves on after `seconds`, or (a negative value) waits for a click. The open copy
    // changes, never the file; a show run from now on uses it.
    void SetSlideAdvanceTime(long slide, double seconds);
    // Every slide change of the open presentation's shows, oldest first.
    std::vector<SlideChangeTime> SlideChanges();

    // The active presentation's show settings as the presentation mode window is pre-filled,
    // and its slide count.
    void ReadShowSettings(PresentationSettings* settings, long* slideCount);

    // Drops every object (the office ends once nothing refers to it); PowerPoint counts as not
    // started.
    void ReleaseAll();

    // The Application, for what follows its shows (ShowFollower.h); null before it is created.
    const std::shared_ptr<office::Application>& GetApplication() const { return m_pApplication; }
    bool IsStarted() const { return m_bStarted; }
    bool IsPresentationOpen() const { return m_bPresentationOpen; }
    long SlideCount() const { return m_nSlideCount; }
    // The office process this driver started; 0 without one.
    DWORD ProcessId() const;
    // The remembered command bar values ("Web", "Menu Bar (Slide Show)").
    long WebBarValue() const { return m_nWebBar; }
    long SlideShowBarValue() const { return m_nSlideShowBar; }

private:
    void RefreshView();
    // Refreshes the view, then makes the step on it.
    void Navigate(HRESULT (office::SlideShowView::*step)(), const char* call);
    void SetBar(const char* name, long value);
    long GetBar(const char* name);

    std::shared_ptr<office::Application> m_pApplication;
    std::shared_ptr<office::Presentations> m_pPresentations;
    std::shared_ptr<office::Presentation> m_pPresentation;
    std::shared_ptr<office::Slides> m_pSlides;
    std::shared_ptr<office::SlideShowSettings> m_pSettings;
    std::shared_ptr<office::SlideShowWindow> m_pShowWindow;
    std::shared_ptr<office::SlideShowView> m_pView;
    bool m_bStarted = false;
    bool m_bPresentationOpen = false;
    long m_nSlideCount = 0;
    long m_nWebBar = 0;
    long m_nSlideShowBar = 0;
};

}  // namespace recording
