#pragma once
// The presentation program's object model as the recording window uses it ("Powerpoint.Application"
// and the objects reached from it), over LibreOffice Impress. The objects are handles: each refers
// to the running office and, below the Application, to one open presentation. A handle whose
// presentation was closed, or whose office is gone, does nothing and yields 0 or no object; no UNO
// exception ever leaves these calls. Failing calls that PowerPoint reports as errors return an
// HRESULT. Calls are made from one thread (the recording window's); the slide-change log may be
// read from any.
#include "platform/base/WinTypes.h"
#include "platform/com/ComBase.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace office {

class CImpressSession;

// One entry of the slide-change log: the show position (from 1) and the document's slide number.
struct SlideChange {
    long showPosition = 0;
    long slideNumber = 0;
    std::chrono::steady_clock::time_point time;
};

// How a slide moves on when the show uses the slide timings: after its time, or on a click.
struct SlideAdvance {
    bool onTime = false;
    double seconds = 0;
};

class SlideShowView {
public:
    SlideShowView(std::shared_ptr<CImpressSession> session, long document);
    HRESULT First();
    HRESULT Previous();
    HRESULT Next();
    HRESULT Last();
    // Position within the running show, from 1; 0 when no show runs.
    long get_CurrentShowPosition();
    // The document's slide number being shown (not in the object model's table; used by tests and
    // the chapter log).
    long CurrentSlideNumber();

private:
    std::shared_ptr<CImpressSession> m_pSession;
    long m_nDocument;
};

class SlideShowWindow {
public:
    SlideShowWindow(std::shared_ptr<CImpressSession> session, long document);
    std::shared_ptr<SlideShowView> get_View();
    // The window the show draws in (an X window id); 0 when the presentation has none.
    HWND get_HWND();

private:
    std::shared_ptr<CImpressSession> m_pSession;
    long m_nDocument;
};

class SlideShowSettings {
public:
    SlideShowSettings(std::shared_ptr<CImpressSession> session, long document);
    long get_StartingSlide();
    HRESULT put_StartingSlide(long value);
    long get_EndingSlide();
    HRESULT put_EndingSlide(long value);
    long get_AdvanceMode();
    HRESULT put_AdvanceMode(long value);
    long get_ShowType();
    HRESULT put_ShowType(long value);
    long get_ShowWithNarration();
    HRESULT put_ShowWithNarration(long value);
    long get_ShowWithAnimation();
    HRESULT put_ShowWithAnimation(long value);
    long get_RangeType();
    HRESULT put_RangeType(long value);
    // Starts the show with these settings; no window when the settings are refused or the show
    // does not start (*result says why).
    std::shared_ptr<SlideShowWindow> Run(HRESULT* result = nullptr);

private:
    std::shared_ptr<CImpressSession> m_pSession;
    long m_nDocument;
};

// A slide's SlideShowTransition: only its advance (AdvanceOnTime, AdvanceTime). What is put
// changes the open copy of the presentation, never its file.
class SlideShowTransition {
public:
    SlideShowTransition(std::shared_ptr<CImpressSession> session, long document, long slide);
    long get_AdvanceOnTime();
    HRESULT put_AdvanceOnTime(long value);
    // Seconds.
    float get_AdvanceTime();
    HRESULT put_AdvanceTime(float seconds);

private:
    std::shared_ptr<CImpressSession> m_pSession;
    long m_nDocument;
    long m_nSlide;
};

class Slide {
public:
    Slide(std::shared_ptr<CImpressSession> session, long document, long slide);
    std::shared_ptr<SlideShowTransition> get_SlideShowTransition();

private:
    std::shared_ptr<CImpressSession> m_pSession;
    long m_nDocument;
    long m_nSlide;
};

class Slides {
public:
    Slides(std::shared_ptr<CImpressSession> session, long document);
    long get_Count();
    // From 1; no slide outside 1 to the count.
    std::shared_ptr<Slide> Item(long index);

private:
    std::shared_ptr<CImpressSession> m_pSession;
    long m_nDocument;
};

class Presentation {
public:
    Presentation(std::shared_ptr<CImpressSession> session, long document);
    std::shared_ptr<Slides> get_Slides();
    std::shared_ptr<SlideShowSettings> get_SlideShowSettings();
    // No window unless a show runs.
    std::shared_ptr<SlideShowWindow> get_SlideShowWindow();
    HRESULT Close();
    // Every slide change of the shows run so far, oldest first.
    std::vector<SlideChange> SlideChanges();
    long Id() const { return m_nDocument; }

private:
    std::shared_ptr<CImpressSession> m_pSession;
    long m_nDocument;
};

class Presentations {
public:
    explicit Presentations(std::shared_ptr<CImpressSession> session);
    long get_Count();
    // From 1, in the order opened.
    std::shared_ptr<Presentation> Item(long index);
    // No presentation when the file is missing or cannot be read.
    std::shared_ptr<Presentation> Open(const std::string& fileName, long readOnly, long untitled,
                                       long withWindow);

private:
    std::shared_ptr<CImpressSession> m_pSession;
};

// A command bar's integer property (DISPID 0x60040013): the program reads it, writes 3 (hide) and
// writes back what it read. On LibreOffice 3 hides the window's user interface during the show.
class CommandBar {
public:
    CommandBar(std::shared_ptr<CImpressSession> session, std::string name);
    long get_Property();
    HRESULT put_Property(long value);

private:
    std::shared_ptr<CImpressSession> m_pSession;
    std::string m_strName;
};

class CommandBars {
public:
    explicit CommandBars(std::shared_ptr<CImpressSession> session);
    // "Web" and "Menu Bar (Slide Show)"; no bar for other names.
    std::shared_ptr<CommandBar> Item(const std::string& name);

private:
    std::shared_ptr<CImpressSession> m_pSession;
};

class Application {
public:
    // Starts the office as a child of this process and connects to it; null (with the reason in
    // *error) when it cannot be started or reached.
    static std::shared_ptr<Application> Create(std::string* error = nullptr);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    std::shared_ptr<Presentations> get_Presentations();
    std::shared_ptr<Presentation> get_ActivePresentation();
    std::shared_ptr<CommandBars> get_CommandBars();
    // The main window's title (the caption is the title of the window every presentation opens in).
    HRESULT put_Caption(const std::string& caption);
    HRESULT put_Visible(long visible);
    // Not in the object model: presentations opened from now on are made inside the window
    // `host` (an X window of ours, the slide area), never at top level, one new window each,
    // shown bare when their show runs; 0 goes back to top-level windows.
    void SetHostWindow(HWND host);

    // The object model's SlideShowNextSlide event: `handler` runs whenever a running show has
    // moved to another slide (by our own steps, the show's keys and clicks, or its timings), with
    // the presentation's Id() and its new show position. It runs on an office thread or on the
    // caller's, and must not call back into the object model (post a message instead). Null ends
    // the calls; none is running once this returns.
    void SetSlideShowNextSlideHandler(std::function<void(long presentation, long showPosition)> handler);

    // The office's process id (the owner of the main window).
    DWORD ProcessId() const;
    std::shared_ptr<CImpressSession> Session() const { return m_pSession; }

private:
    explicit Application(std::shared_ptr<CImpressSession> session);
    std::shared_ptr<CImpressSession> m_pSession;
};

}  // namespace office
