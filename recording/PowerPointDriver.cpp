#include "recording/PowerPointDriver.h"

#include "platform/office/PowerPointApplication.h"

#include <cstdio>

namespace recording {

namespace {

constexpr const char* kWebBar = "Web";
constexpr const char* kSlideShowBar = "Menu Bar (Slide Show)";
constexpr long kBarHidden = 3;

std::string Describe(const std::string& call, HRESULT hr)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return "PowerPoint refused " + call + " (" + code + ").";
}

void Check(HRESULT hr, const char* call)
{
    if (FAILED(hr))
        throw CAutomationError(call, hr);
}

}  // namespace

CAutomationError::CAutomationError(const std::string& call, HRESULT hr)
    : std::runtime_error(Describe(call, hr)), m_hr(hr) {}

CPowerPointDriver::CPowerPointDriver() = default;
CPowerPointDriver::~CPowerPointDriver() = default;

bool CPowerPointDriver::CreateApplication(std::string* error)
{
    m_pApplication = office::Application::Create(error);
    return m_pApplication != nullptr;
}

void CPowerPointDriver::SetHostWindow(HWND host)
{
    if (m_pApplication)
        m_pApplication->SetHostWindow(host);
}

void CPowerPointDriver::ShowApplication()
{
    if (!m_pApplication)
        return;
    Check(m_pApplication->put_Caption(kPowerPointCaption), "Application.Caption");
    Check(m_pApplication->put_Visible(1), "Application.Visible");
    m_bStarted = true;
}

void CPowerPointDriver::CloseAllPresentations()
{
    if (!m_pApplication)
        return;
    m_pPresentations = m_pApplication->get_Presentations();
    while (m_pPresentations->get_Count() >= 1) {
        auto presentation = m_pPresentations->Item(1);
        if (!presentation)
            break;
        Check(presentation->Close(), "Presentation.Close");
    }
    m_pShowWindow.reset();
    m_pView.reset();
}

bool CPowerPointDriver::OpenPresentation(const std::string& path)
{
    if (!m_pApplication)
        return false;
    m_pPresentations = m_pApplication->get_Presentations();
    m_pPresentation = m_pPresentations->Open(path, 1, 0, 1);
    m_bPresentationOpen = m_pPresentation != nullptr;
    m_pSlides = m_pPresentation ? m_pPresentation->get_Slides() : nullptr;
    m_nSlideCount = m_pSlides ? m_pSlides->get_Count() : 0;
    return m_bPresentationOpen;
}

void CPowerPointDriver::RunWithOwnSettings()
{
    m_pSettings = m_pPresentation ? m_pPresentation->get_SlideShowSettings() : nullptr;
    if (!m_pSettings)
        return;
    Check(m_pSettings->put_ShowType(2), "SlideShowSettings.ShowType");
    HRESULT hr = S_OK;
    m_pShowWindow = m_pSettings->Run(&hr);
    Check(hr, "SlideShowSettings.Run");
}

void CPowerPointDriver::RunWithSettings(const PresentationSettings& settings)
{
    m_pSettings = m_pPresentation ? m_pPresentation->get_SlideShowSettings() : nullptr;
    if (!m_pSettings)
        return;
    ShowSetup setup = PlanShowSetup(settings, m_nSlideCount);
    Check(m_pSettings->put_ShowType(2), "SlideShowSettings.ShowType");
    Check(m_pSettings->put_AdvanceMode(setup.advanceMode), "SlideShowSettings.AdvanceMode");
    Check(m_pSettings->put_RangeType(setup.rangeType), "SlideShowSettings.RangeType");
    if (setup.rangeType == 2) {
        Check(m_pSettings->put_StartingSlide(setup.startingSlide), "SlideShowSettings.StartingSlide");
        Check(m_pSettings->put_EndingSlide(setup.endingSlide), "SlideShowSettings.EndingSlide");
    }
    Check(m_pSettings->put_ShowWithAnimation(setup.showWithAnimation),
          "SlideShowSettings.ShowWithAnimation");
    Check(m_pSettings->put_ShowWithNarration(setup.showWithNarration),
          "SlideShowSettings.ShowWithNarration");
    HRESULT hr = S_OK;
    m_pSettings->Run(&hr);
    Check(hr, "SlideShowSettings.Run");
    m_pShowWindow = m_pPresentation->get_SlideShowWindow();
}

long CPowerPointDriver::GetBar(const char* name)
{
    auto bar = m_pApplication ? m_pApplication->get_CommandBars()->Item(name) : nullptr;
    return bar ? bar->get_Property() : 0;
}

void CPowerPointDriver::SetBar(const char* name, long value)
{
    auto bar = m_pApplication ? m_pApplication->get_CommandBars()->Item(name) : nullptr;
    if (bar)
        Check(bar->put_Property(value), "CommandBar property");
}

void CPowerPointDriver::HideShowBars()
{
    m_nWebBar = GetBar(kWebBar);
    m_nSlideShowBar = GetBar(kSlideShowBar);
    SetBar(kWebBar, kBarHidden);
    SetBar(kSlideShowBar, kBarHidden);
}

void CPowerPointDriver::RestoreShowBars()
{
    SetBar(kWebBar, m_nWebBar);
    SetBar(kSlideShowBar, m_nSlideShowBar);
}

HWND CPowerPointDriver::SlideShowWindowHandle()
{
    return m_pShowWindow ? m_pShowWindow->get_HWND() : 0;
}

void CPowerPointDriver::RefreshView()
{
    m_pPresentation = m_pApplication ? m_pApplication->get_ActivePresentation() : nullptr;
    m_pShowWindow = m_pPresentation ? m_pPresentation->get_SlideShowWindow() : nullptr;
    m_pView = m_pShowWindow ? m_pShowWindow->get_View() : nullptr;
}

void CPowerPointDriver::Navigate(HRESULT (office::SlideShowView::*step)(), const char* call)
{
    RefreshView();
    if (m_pView)
        Check((m_pView.get()->*step)(), call);
}

void CPowerPointDriver::GotoFirstSlide()
{
    Navigate(&office::SlideShowView::First, "SlideShowView.First");
}

void CPowerPointDriver::GotoPreviousSlide()
{
    Navigate(&office::SlideShowView::Previous, "SlideShowView.Previous");
}

void CPowerPointDriver::GotoNextSlide()
{
    Navigate(&office::SlideShowView::Next, "SlideShowView.Next");
}

void CPowerPointDriver::GotoLastSlide()
{
    Navigate(&office::SlideShowView::Last, "SlideShowView.Last");
}

long CPowerPointDriver::CurrentShowPosition()
{
    RefreshView();
    return m_pView ? m_pView->get_CurrentShowPosition() : 0;
}

std::vector<double> CPowerPointDriver::SlideAdvanceTimes()
{
    std::vector<double> times;
    for (long n = 1; m_pSlides && n <= m_nSlideCount; ++n) {
        auto slide = m_pSlides->Item(n);
        auto transition = slide ? slide->get_SlideShowTransition() : nullptr;
        times.push_back(transition && transition->get_AdvanceOnTime() ? transition->get_AdvanceTime() : -1.0);
    }
    return times;
}

void CPowerPointDriver::SetSlideAdvanceTime(long slide, double seconds)
{
    auto item = m_pSlides ? m_pSlides->Item(slide) : nullptr;
    auto transition = item ? item->get_SlideShowTransition() : nullptr;
    if (!transition)
        return;
    if (seconds >= 0)
        Check(transition->put_AdvanceTime(static_cast<float>(seconds)), "SlideShowTransition.AdvanceTime");
    Check(transition->put_AdvanceOnTime(seconds >= 0 ? 1 : 0), "SlideShowTransition.AdvanceOnTime");
}

std::vector<SlideChangeTime> CPowerPointDriver::SlideChanges()
{
    std::vector<SlideChangeTime> changes;
    if (m_pPresentation)
        for (const office::SlideChange& change : m_pPresentation->SlideChanges())
            changes.push_back({change.showPosition, change.slideNumber, change.time});
    return changes;
}

void CPowerPointDriver::ReadShowSettings(PresentationSettings* settings, long* slideCount)
{
    m_pPresentation = m_pApplication ? m_pApplication->get_ActivePresentation() : nullptr;
    m_pSlides = m_pPresentation ? m_pPresentation->get_Slides() : nullptr;
    long count = m_pSlides ? m_pSlides->get_Count() : 0;
    m_pSettings = m_pPresentation ? m_pPresentation->get_SlideShowSettings() : nullptr;
    ShowSetup setup;
    if (m_pSettings) {
        setup.rangeType = m_pSettings->get_RangeType();
        setup.startingSlide = m_pSettings->get_StartingSlide();
        setup.endingSlide = m_pSettings->get_EndingSlide();
        setup.showWithAnimation = m_pSettings->get_ShowWithAnimation();
        setup.showWithNarration = m_pSettings->get_ShowWithNarration();
        setup.advanceMode = m_pSettings->get_AdvanceMode();
    }
    ReadShowSetup(setup, count, settings);
    if (slideCount)
        *slideCount = count;
}

void CPowerPointDriver::ReleaseAll()
{
    m_pView.reset();
    m_pShowWindow.reset();
    m_pSettings.reset();
    m_pSlides.reset();
    m_pPresentation.reset();
    m_pPresentations.reset();
    m_pApplication.reset();
    m_bStarted = false;
    m_bPresentationOpen = false;
}

DWORD CPowerPointDriver::ProcessId() const
{
    return m_pApplication ? m_pApplication->ProcessId() : 0;
}

}  // namespace recording
