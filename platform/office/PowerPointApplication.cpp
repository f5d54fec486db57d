#include "platform/office/PowerPointApplication.h"

#include "platform/office/ImpressSession.h"

namespace office {

namespace {
// PowerPoint's msoTrue is -1; the program writes 1. Both mean "on".
long Switch(long value)
{
    return value != 0 ? 1 : 0;
}
}  // namespace

// ---- SlideShowView

SlideShowView::SlideShowView(std::shared_ptr<CImpressSession> session, long document)
    : m_pSession(std::move(session)), m_nDocument(document) {}

HRESULT SlideShowView::First() { return m_pSession->Navigate(m_nDocument, 0); }
HRESULT SlideShowView::Previous() { return m_pSession->Navigate(m_nDocument, 1); }
HRESULT SlideShowView::Next() { return m_pSession->Navigate(m_nDocument, 2); }
HRESULT SlideShowView::Last() { return m_pSession->Navigate(m_nDocument, 3); }
long SlideShowView::get_CurrentShowPosition() { return m_pSession->ShowPosition(m_nDocument); }
long SlideShowView::CurrentSlideNumber() { return m_pSession->ShownSlide(m_nDocument); }

// ---- SlideShowWindow

SlideShowWindow::SlideShowWindow(std::shared_ptr<CImpressSession> session, long document)
    : m_pSession(std::move(session)), m_nDocument(document) {}

std::shared_ptr<SlideShowView> SlideShowWindow::get_View()
{
    if (!m_pSession->IsShowRunning(m_nDocument))
        return nullptr;
    return std::make_shared<SlideShowView>(m_pSession, m_nDocument);
}

HWND SlideShowWindow::get_HWND()
{
    return static_cast<HWND>(m_pSession->WindowId(m_nDocument));
}

// ---- SlideShowSettings

SlideShowSettings::SlideShowSettings(std::shared_ptr<CImpressSession> session, long document)
    : m_pSession(std::move(session)), m_nDocument(document) {}

namespace {
template <typename Field>
long Read(CImpressSession& session, long document, Field field)
{
    ShowSettings s;
    return session.GetSettings(document, &s) ? s.*field : 0;
}

// Stores a checked value; a closed presentation takes nothing and reports nothing.
template <typename Field>
HRESULT Write(CImpressSession& session, long document, Field field, long value, HRESULT check)
{
    ShowSettings s;
    if (!session.GetSettings(document, &s))
        return S_OK;
    if (FAILED(check))
        return check;
    s.*field = value;
    return session.SetSettings(document, s);
}
}  // namespace

long SlideShowSettings::get_StartingSlide()
{
    return Read(*m_pSession, m_nDocument, &ShowSettings::startingSlide);
}

HRESULT SlideShowSettings::put_StartingSlide(long value)
{
    long count = m_pSession->SlideCount(m_nDocument);
    return Write(*m_pSession, m_nDocument, &ShowSettings::startingSlide, value,
                 value >= 1 && value <= count ? S_OK : E_INVALIDARG);
}

long SlideShowSettings::get_EndingSlide()
{
    return Read(*m_pSession, m_nDocument, &ShowSettings::endingSlide);
}

HRESULT SlideShowSettings::put_EndingSlide(long value)
{
    long count = m_pSession->SlideCount(m_nDocument);
    return Write(*m_pSession, m_nDocument, &ShowSettings::endingSlide, value,
                 value >= 1 && value <= count ? S_OK : E_INVALIDARG);
}

long SlideShowSettings::get_AdvanceMode()
{
    return Read(*m_pSession, m_nDocument, &ShowSettings::advanceMode);
}

HRESULT SlideShowSettings::put_AdvanceMode(long value)
{
    return Write(*m_pSession, m_nDocument, &ShowSettings::advanceMode, value,
                 CheckAdvanceMode(value));
}

long SlideShowSettings::get_ShowType()
{
    return Read(*m_pSession, m_nDocument, &ShowSettings::showType);
}

HRESULT SlideShowSettings::put_ShowType(long value)
{
    return Write(*m_pSession, m_nDocument, &ShowSettings::showType, value, CheckShowType(value));
}

long SlideShowSettings::get_ShowWithNarration()
{
    return Read(*m_pSession, m_nDocument, &ShowSettings::showWithNarration);
}

HRESULT SlideShowSettings::put_ShowWithNarration(long value)
{
    return Write(*m_pSession, m_nDocument, &ShowSettings::showWithNarration, Switch(value),
                 CheckSwitch(value));
}

long SlideShowSettings::get_ShowWithAnimation()
{
    return Read(*m_pSession, m_nDocument, &ShowSettings::showWithAnimation);
}

HRESULT SlideShowSettings::put_ShowWithAnimation(long value)
{
    return Write(*m_pSession, m_nDocument, &ShowSettings::showWithAnimation, Switch(value),
                 CheckSwitch(value));
}

long SlideShowSettings::get_RangeType()
{
    return Read(*m_pSession, m_nDocument, &ShowSettings::rangeType);
}

HRESULT SlideShowSettings::put_RangeType(long value)
{
    return Write(*m_pSession, m_nDocument, &ShowSettings::rangeType, value, CheckRangeType(value));
}

std::shared_ptr<SlideShowWindow> SlideShowSettings::Run(HRESULT* result)
{
    HRESULT hr = m_pSession->IsOpen(m_nDocument) ? m_pSession->Run(m_nDocument) : S_OK;
    if (result)
        *result = hr;
    if (FAILED(hr) || !m_pSession->IsShowRunning(m_nDocument))
        return nullptr;
    return std::make_shared<SlideShowWindow>(m_pSession, m_nDocument);
}

// ---- Slides

Slides::Slides(std::shared_ptr<CImpressSession> session, long document)
    : m_pSession(std::move(session)), m_nDocument(document) {}

long Slides::get_Count() { return m_pSession->SlideCount(m_nDocument); }

std::shared_ptr<Slide> Slides::Item(long index)
{
    if (index < 1 || index > m_pSession->SlideCount(m_nDocument))
        return nullptr;
    return std::make_shared<Slide>(m_pSession, m_nDocument, index);
}

// ---- Slide, SlideShowTransition

Slide::Slide(std::shared_ptr<CImpressSession> session, long document, long slide)
    : m_pSession(std::move(session)), m_nDocument(document), m_nSlide(slide) {}

std::shared_ptr<SlideShowTransition> Slide::get_SlideShowTransition()
{
    return std::make_shared<SlideShowTransition>(m_pSession, m_nDocument, m_nSlide);
}

SlideShowTransition::SlideShowTransition(std::shared_ptr<CImpressSession> session, long document, long slide)
    : m_pSession(std::move(session)), m_nDocument(document), m_nSlide(slide) {}

long SlideShowTransition::get_AdvanceOnTime()
{
    SlideAdvance advance;
    return m_pSession->GetSlideAdvance(m_nDocument, m_nSlide, &advance) && advance.onTime ? 1 : 0;
}

HRESULT SlideShowTransition::put_AdvanceOnTime(long value)
{
    SlideAdvance advance;
    if (!m_pSession->GetSlideAdvance(m_nDocument, m_nSlide, &advance))
        return S_OK;
    advance.onTime = Switch(value) != 0;
    return m_pSession->SetSlideAdvance(m_nDocument, m_nSlide, advance);
}

float SlideShowTransition::get_AdvanceTime()
{
    SlideAdvance advance;
    return m_pSession->GetSlideAdvance(m_nDocument, m_nSlide, &advance) ? static_cast<float>(advance.seconds) : 0;
}

HRESULT SlideShowTransition::put_AdvanceTime(float seconds)
{
    SlideAdvance advance;
    if (!m_pSession->GetSlideAdvance(m_nDocument, m_nSlide, &advance))
        return S_OK;
    if (!(seconds >= 0))
        return E_INVALIDARG;
    advance.seconds = seconds;
    return m_pSession->SetSlideAdvance(m_nDocument, m_nSlide, advance);
}

// ---- Presentation

Presentation::Presentation(std::shared_ptr<CImpressSession> session, long document)
    : m_pSession(std::move(session)), m_nDocument(document) {}

std::shared_ptr<Slides> Presentation::get_Slides()
{
    if (!m_pSession->IsOpen(m_nDocument))
        return nullptr;
    return std::make_shared<Slides>(m_pSession, m_nDocument);
}

std::shared_ptr<SlideShowSettings> Presentation::get_SlideShowSettings()
{
    if (!m_pSession->IsOpen(m_nDocument))
        return nullptr;
    return std::make_shared<SlideShowSettings>(m_pSession, m_nDocument);
}

std::shared_ptr<SlideShowWindow> Presentation::get_SlideShowWindow()
{
    if (!m_pSession->IsShowRunning(m_nDocument))
        return nullptr;
    return std::make_shared<SlideShowWindow>(m_pSession, m_nDocument);
}

HRESULT Presentation::Close() { return m_pSession->Close(m_nDocument); }

std::vector<SlideChange> Presentation::SlideChanges()
{
    return m_pSession->SlideChanges(m_nDocument);
}

// ---- Presentations

Presentations::Presentations(std::shared_ptr<CImpressSession> session)
    : m_pSession(std::move(session)) {}

long Presentations::get_Count() { return static_cast<long>(m_pSession->Documents().size()); }

std::shared_ptr<Presentation> Presentations::Item(long index)
{
    auto documents = m_pSession->Documents();
    if (index < 1 || index > static_cast<long>(documents.size()))
        return nullptr;
    return std::make_shared<Presentation>(m_pSession, documents[index - 1]);
}

std::shared_ptr<Presentation> Presentations::Open(const std::string& fileName, long, long, long)
{
    // Always read-only, untitled as the file and with a window: the only way the program opens.
    long id = m_pSession->Open(fileName);
    if (id == 0)
        return nullptr;
    return std::make_shared<Presentation>(m_pSession, id);
}

// ---- CommandBars

CommandBar::CommandBar(std::shared_ptr<CImpressSession> session, std::string name)
    : m_pSession(std::move(session)), m_strName(std::move(name)) {}

long CommandBar::get_Property() { return m_pSession->GetCommandBar(m_strName); }
HRESULT CommandBar::put_Property(long value) { return m_pSession->SetCommandBar(m_strName, value); }

CommandBars::CommandBars(std::shared_ptr<CImpressSession> session)
    : m_pSession(std::move(session)) {}

std::shared_ptr<CommandBar> CommandBars::Item(const std::string& name)
{
    if (!m_pSession->HasCommandBar(name))
        return nullptr;
    return std::make_shared<CommandBar>(m_pSession, name);
}

// ---- Application

std::shared_ptr<Application> Application::Create(std::string* error)
{
    auto session = CImpressSession::Start(error);
    if (!session)
        return nullptr;
    return std::shared_ptr<Application>(new Application(std::move(session)));
}

Application::Application(std::shared_ptr<CImpressSession> session)
    : m_pSession(std::move(session)) {}

Application::~Application() = default;

std::shared_ptr<Presentations> Application::get_Presentations()
{
    return std::make_shared<Presentations>(m_pSession);
}

std::shared_ptr<Presentation> Application::get_ActivePresentation()
{
    long id = m_pSession->ActiveDocument();
    if (id == 0)
        return nullptr;
    return std::make_shared<Presentation>(m_pSession, id);
}

std::shared_ptr<CommandBars> Application::get_CommandBars()
{
    return std::make_shared<CommandBars>(m_pSession);
}

HRESULT Application::put_Caption(const std::string& caption)
{
    return m_pSession->SetCaption(caption);
}

HRESULT Application::put_Visible(long visible) { return m_pSession->SetVisible(visible != 0); }

void Application::SetSlideShowNextSlideHandler(std::function<void(long presentation, long showPosition)> handler)
{
    if (!handler) {
        m_pSession->SetSlideChangeHandler(nullptr);
        return;
    }
    m_pSession->SetSlideChangeHandler(
        [handler = std::move(handler)](long document, const SlideChange& change) {
            handler(document, change.showPosition);
        });
}

void Application::SetHostWindow(HWND host) { m_pSession->SetHostWindow(host); }

DWORD Application::ProcessId() const
{
    return m_pSession->Pid() > 0 ? static_cast<DWORD>(m_pSession->Pid()) : 0;
}

}  // namespace office
