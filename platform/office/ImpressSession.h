#pragma once
// The running office behind the object model: the child process, the UNO connection, the main
// window (one frame every presentation opens in), the open presentations with their show
// settings and their slide-change logs. Every UNO exception stops here and becomes 0, no object
// or an HRESULT. Internal to platform/office (and its tests): it includes the UNO headers.
#include "platform/office/OfficeProcess.h"
#include "platform/office/PowerPointApplication.h"
#include "platform/office/ShowSettings.h"

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/presentation/XSlideShowController.hpp>
#include <com/sun/star/presentation/XSlideShowListener.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <map>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace office {

namespace css = com::sun::star;

class CImpressSession {
public:
    // Starts and connects; null with the reason in *error.
    static std::shared_ptr<CImpressSession> Start(std::string* error);
    ~CImpressSession();  // ends the office (terminate, then kill) if it still runs
    CImpressSession(const CImpressSession&) = delete;
    CImpressSession& operator=(const CImpressSession&) = delete;

    pid_t Pid() const { return m_process.Pid(); }
    const std::string& Profile() const { return m_process.Profile(); }
    bool IsAlive();
    css::uno::Reference<css::uno::XComponentContext> Context() const { return m_context; }
    css::uno::Reference<css::frame::XDesktop2> Desktop() const { return m_desktop; }

    // Application
    // Presentations opened from now on are made inside the X window `host` (0: each in a
    // top-level window of its own). A hosted presentation's window shows nothing of the office's
    // user interface and stays hidden until its show runs.
    void SetHostWindow(unsigned long host) { m_nHostWindow = host; }
    // The X window id of the presentation's window (the one its show draws in); 0 when none.
    unsigned long WindowId(long document);
    HRESULT SetCaption(const std::string& caption);
    HRESULT SetVisible(bool visible);
    long ActiveDocument();
    // Presentations: ids of the open presentations in the order opened.
    std::vector<long> Documents();
    long Open(const std::string& path);  // 0 on failure
    HRESULT Close(long document);
    long SlideCount(long document);
    // A slide's advance in a show that uses the timings (slide from 1); false when there is no
    // such slide. Setting changes the open (read-only, never saved) copy only.
    bool GetSlideAdvance(long document, long slide, SlideAdvance* advance);
    HRESULT SetSlideAdvance(long document, long slide, const SlideAdvance& advance);
    bool IsOpen(long document);
    // Settings; false when the presentation is not open.
    bool GetSettings(long document, ShowSettings* settings);
    HRESULT SetSettings(long document, const ShowSettings& settings);
    HRESULT Run(long document, bool continuing = false);
    bool IsShowRunning(long document);
    // Navigation (0 = first, 1 = previous, 2 = next, 3 = last).
    HRESULT Navigate(long document, int step);
    long ShowPosition(long document);
    long ShownSlide(long document);
    std::vector<SlideChange> SlideChanges(long document);
    // Called with each entry as it joins a slide-change log, on the thread that logged it (the
    // caller's for our own steps, the resolver's for the show's own changes). It must not call
    // into the session. Once this returns with a new handler, the old one is no longer running.
    using SlideChangeHandler = std::function<void(long document, const SlideChange& change)>;
    void SetSlideChangeHandler(SlideChangeHandler handler);
    // Command bars.
    bool HasCommandBar(const std::string& name) const;
    long GetCommandBar(const std::string& name);
    HRESULT SetCommandBar(const std::string& name, long value);

    // The open presentation's document (tests look inside it); null when not open.
    css::uno::Reference<css::lang::XComponent> Component(long document);

    // Ends the office through the desktop and waits for the process (tests; the recording
    // window terminates the window's owner instead).
    bool Terminate(int timeoutMs);

    // Called by the show listener on the office's thread: notes the time only. The office is
    // busy inside that call, so the slide is asked for afterwards, on the resolver thread.
    // Changes our own calls make arrive while those calls run and are logged by them instead.
    void OnSlideChange(long document);

private:
    struct Document {
        css::uno::Reference<css::lang::XComponent> component;
        css::uno::Reference<css::frame::XFrame> frame;  // its window: the one the show draws in
        bool hosted = false;  // a frame of our own inside the host window, bars always hidden
        ShowSettings settings;
        css::uno::Reference<css::presentation::XSlideShowController> controller;
        css::uno::Reference<css::presentation::XSlideShowListener> listener;
        std::vector<SlideChange> changes;
        // Our own calls on the show in flight: the listener leaves their changes to them.
        int ownCalls = 0;
        // Position of this run's last entry (0 before it has one): a change always moves the
        // show, so an entry for the same position again is a late echo of one already logged.
        long lastPosition = 0;
        // The window's toolbars and menus are hidden for the running show; what the layout
        // manager held before, to put back when the show ends.
        bool uiHidden = false;
        bool uiHiddenBefore = false;
    };

    CImpressSession() = default;
    bool Connect(std::string* error);
    bool IsPresentationFile(const rtl::OUString& url);
    bool BarsHidden() const;
    // Hides the window's bars (hide: its show runs and the command bars ask for it) or puts
    // back what the layout manager held before. Takes m_uiMutex.
    void ApplyUiHidden(long document, bool hide);
    // Resolver thread: puts the bars back for shows that ended on their own (Escape, the end).
    void RestoreEndedShows();
    // Resolver thread: hosted windows whose show runs lose any bars that came back.
    void KeepHostedShowsBare();
    void WakeResolver();
    // Runs the show again at the slide it shows; the slide-change log does not see it.
    HRESULT Restart(long document);
    void ApplyCaption();
    Document* Find(long document);
    css::uno::Reference<css::presentation::XSlideShowController> Controller(long document);
    void StopShow(Document& document);
    void SetupRun(Document& document, const ShowPlan& plan);
    void ResolveSlideChanges();
    void Resolve(long document, std::chrono::steady_clock::time_point time);
    // Asks the show where it stands and logs that; never from the office's callback.
    void LogShownSlide(long document, std::chrono::steady_clock::time_point time);
    void EndOwnCall(long document);
    class OwnCall;

    COfficeProcess m_process;
    css::uno::Reference<css::uno::XComponentContext> m_context;
    css::uno::Reference<css::frame::XDesktop2> m_desktop;
    std::string m_strCaption;
    bool m_bVisible = false;
    unsigned long m_nHostWindow = 0;
    std::map<std::string, long> m_commandBars {{"Web", 0}, {"Menu Bar (Slide Show)", 0}};
    // Serialises the hiding and restoring of the bars (caller's thread and resolver thread) with
    // the start of a show and keeps a document from being erased meanwhile. Taken before
    // m_logMutex, never after it.
    std::recursive_mutex m_uiMutex;
    // Guards the documents' slide-change logs, which the listener fills from the office's thread.
    std::mutex m_logMutex;
    std::map<long, Document> m_documents;
    std::condition_variable m_changed;
    std::vector<std::pair<long, std::chrono::steady_clock::time_point>> m_pending;
    bool m_bStopping = false;
    bool m_bWake = false;  // look at the shows again
    std::thread m_resolver;
    std::vector<long> m_order;
    // Held while the handler runs, so replacing it waits for a call in progress.
    std::mutex m_handlerMutex;
    SlideChangeHandler m_slideChangeHandler;
    long m_nNextId = 1;
};

}  // namespace office
