#include "platform/office/ImpressSession.h"
#include "platform/base/PollUntil.h"

#include "platform/office/HostedFrame.h"
#include "platform/office/OfficeThread.h"
#include "platform/office/ProfileSettings.h"

#include <com/sun/star/animations/AnimationNodeType.hpp>
#include <com/sun/star/animations/XAnimationNodeSupplier.hpp>
#include <com/sun/star/animations/XTimeContainer.hpp>
#include <com/sun/star/animations/XAnimationNode.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexContainer.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XTypeDetection.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/FrameSearchFlag.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XSingleServiceFactory.hpp>
#include <com/sun/star/presentation/XCustomPresentationSupplier.hpp>
#include <com/sun/star/presentation/XPresentation2.hpp>
#include <com/sun/star/presentation/XPresentationSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <osl/file.hxx>
#include <osl/process.h>
#include <rtl/bootstrap.hxx>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <chrono>
#include <sys/stat.h>
#include <thread>

namespace office {

using rtl::OUString;
using css::uno::Any;
using css::uno::Exception;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr int kConnectTimeoutMs = 30000;
constexpr const char* kRangeShowName = "Vantorel slide range";

OUString ToOUString(const std::string& s)
{
    return OUString(s.data(), static_cast<sal_Int32>(s.size()), RTL_TEXTENCODING_UTF8);
}

css::beans::PropertyValue Property(const char* name, const Any& value)
{
    css::beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

// The local UNO runtime is bootstrapped once per process; without URE_BOOTSTRAP pointing at the
// office's own fundamentalrc the first call over the bridge crashes.
Reference<css::uno::XComponentContext> LocalContext()
{
    static Reference<css::uno::XComponentContext> s_context = [] {
        rtl::Bootstrap::set(
            "URE_BOOTSTRAP",
            "vnd.sun.star.pathname:/usr/lib/libreoffice/program/fundamentalrc");
        return cppu::defaultBootstrap_InitialComponentContext();
    }();
    return s_context;
}

Reference<css::drawing::XDrawPages> Pages(const Reference<css::lang::XComponent>& component)
{
    Reference<css::drawing::XDrawPagesSupplier> supplier(component, UNO_QUERY_THROW);
    return supplier->getDrawPages();
}

Reference<css::beans::XPropertySet> ShowProperties(const Reference<css::lang::XComponent>& c)
{
    Reference<css::presentation::XPresentationSupplier> supplier(c, UNO_QUERY_THROW);
    return Reference<css::beans::XPropertySet>(supplier->getPresentation(), UNO_QUERY_THROW);
}

long PageNumber(const Reference<css::drawing::XDrawPages>& pages,
                const Reference<css::drawing::XDrawPage>& page)
{
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
        Reference<css::drawing::XDrawPage> p(pages->getByIndex(i), UNO_QUERY);
        if (p == page)
            return i + 1;
    }
    return 0;
}

std::vector<Reference<css::animations::XAnimationNode>> Children(
    const Reference<css::animations::XAnimationNode>& node)
{
    std::vector<Reference<css::animations::XAnimationNode>> children;
    Reference<css::container::XEnumerationAccess> access(node, UNO_QUERY);
    if (!access.is())
        return children;
    auto e = access->createEnumeration();
    while (e->hasMoreElements()) {
        Reference<css::animations::XAnimationNode> child(e->nextElement(), UNO_QUERY);
        if (child.is())
            children.push_back(child);
    }
    return children;
}

// Takes the sounds of effects (audio nodes, wherever they sit in the timing tree) out.
void RemoveAudioNodes(const Reference<css::animations::XAnimationNode>& node)
{
    Reference<css::animations::XTimeContainer> container(node, UNO_QUERY);
    for (auto& child : Children(node)) {
        if (child->getType() == css::animations::AnimationNodeType::AUDIO && container.is())
            container->removeChild(child);
        else
            RemoveAudioNodes(child);
    }
}

// Narration off: LibreOffice keeps no narration switch, so nothing of a slide may sound - the
// transition's sound, the effects' sounds, and media, which plays on its own in a show (muted
// rather than removed, so a video still shows).
void RemoveSounds(const Reference<css::drawing::XDrawPage>& page)
{
    Reference<css::beans::XPropertySet> pageProps(page, UNO_QUERY);
    OUString sound;
    // A "stop the previous sound" (a boolean) plays nothing: left as it is.
    if (pageProps.is() && (pageProps->getPropertyValue("Sound") >>= sound) && !sound.isEmpty())
        pageProps->setPropertyValue("Sound", Any(OUString()));
    Reference<css::animations::XAnimationNodeSupplier> supplier(page, UNO_QUERY);
    if (supplier.is() && supplier->getAnimationNode().is())
        RemoveAudioNodes(supplier->getAnimationNode());
    for (sal_Int32 i = 0; i < page->getCount(); ++i) {
        Reference<css::beans::XPropertySet> shape(page->getByIndex(i), UNO_QUERY);
        if (shape.is() && shape->getPropertySetInfo()->hasPropertyByName("MediaURL")
            && shape->getPropertySetInfo()->hasPropertyByName("Mute"))
            shape->setPropertyValue("Mute", Any(true));
    }
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// Records each slide the show shows, with its time, into the session's log.
class CShowListener : public cppu::WeakImplHelper1<css::presentation::XSlideShowListener> {
public:
    CShowListener(CImpressSession* session, long document)
        : m_pSession(session), m_nDocument(document) {}
    void detach()
    {
        std::lock_guard lock(m_mutex);
        m_pSession = nullptr;
    }

    void SAL_CALL slideTransitionStarted() override
    {
        std::lock_guard lock(m_mutex);
        if (m_pSession)
            m_pSession->OnSlideChange(m_nDocument);
    }
    void SAL_CALL paused() override {}
    void SAL_CALL resumed() override {}
    void SAL_CALL slideTransitionEnded() override {}
    void SAL_CALL slideAnimationsEnded() override {}
    void SAL_CALL slideEnded(sal_Bool) override {}
    void SAL_CALL hyperLinkClicked(const OUString&) override {}
    void SAL_CALL beginEvent(const Reference<css::animations::XAnimationNode>&) override {}
    void SAL_CALL endEvent(const Reference<css::animations::XAnimationNode>&) override {}
    void SAL_CALL repeat(const Reference<css::animations::XAnimationNode>&, sal_Int32) override {}
    void SAL_CALL disposing(const css::lang::EventObject&) override {}

private:
    std::mutex m_mutex;
    CImpressSession* m_pSession;
    long m_nDocument;
};

}  // namespace

// Ends an own call on the show however the call leaves.
class CImpressSession::OwnCall {
public:
    OwnCall(CImpressSession& session, long document) : m_session(session), m_nDocument(document) {}
    ~OwnCall() { m_session.EndOwnCall(m_nDocument); }
    OwnCall(const OwnCall&) = delete;
    OwnCall& operator=(const OwnCall&) = delete;

private:
    CImpressSession& m_session;
    long m_nDocument;
};

std::shared_ptr<CImpressSession> CImpressSession::Start(std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    // The bridge writes to the office's pipe: an office that dies must show up as failed calls,
    // not end this process by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    std::shared_ptr<CImpressSession> session(new CImpressSession());
    if (!session->m_process.Start(error))
        return nullptr;
    if (!session->Connect(error))
        return nullptr;
    session->m_resolver = std::thread([s = session.get()] { s->ResolveSlideChanges(); });
    return session;
}

bool CImpressSession::Connect(std::string* error)
{
    try {
        auto local = LocalContext();
        auto resolver = css::bridge::UnoUrlResolver::create(local);
        int restarts = 0;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
        while (!m_context.is()) {
            try {
                OUString url = "uno:pipe,name=" + ToOUString(m_process.PipeName())
                    + ";urp;StarOffice.ComponentContext";
                m_context.set(resolver->resolve(url), UNO_QUERY_THROW);
            } catch (const css::connection::NoConnectException&) {
                constexpr int kRestartRequested = 81;
                if (!m_process.IsRunning() && m_process.ExitCode() == kRestartRequested
                    && restarts++ < 2) {
                    if (!m_process.Start(error))
                        return false;
                    continue;
                }
                if (!m_process.IsRunning()) {
                    *error = "the office ended before accepting a connection";
                    return false;
                }
                if (std::chrono::steady_clock::now() >= end) {
                    *error = "the office did not accept a connection in time";
                    return false;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
        }
        m_desktop = css::frame::Desktop::create(m_context);
        m_process.RememberPipes();
        ApplyProfileSettings(m_context);
        return true;
    } catch (const Exception& e) {
        *error = std::string("UNO: ") + e.Message.toUtf8().getStr();
    } catch (const std::exception& e) {
        *error = e.what();
    }
    return false;
}

CImpressSession::~CImpressSession()
{
    if (m_resolver.joinable()) {
        {
            std::lock_guard lock(m_logMutex);
            m_bStopping = true;
        }
        m_changed.notify_one();
        m_resolver.join();
    }
    for (auto& [id, document] : m_documents)
        if (document.listener.is())
            static_cast<CShowListener*>(document.listener.get())->detach();
    if (m_process.IsRunning())
        Terminate(3000);
    m_process.Kill();
}

bool CImpressSession::IsAlive()
{
    return m_process.IsRunning() && m_desktop.is();
}

bool CImpressSession::Terminate(int timeoutMs)
{
    if (m_process.IsRunning() && m_desktop.is()) {
        try {
            m_desktop->terminate();
        } catch (const Exception&) {
            // The bridge breaks when the office goes; that is the expected end.
        }
    }
    bool ended = m_process.WaitExit(timeoutMs);
    if (!ended)
        m_process.Kill();
    return ended;
}

void CImpressSession::ApplyCaption()
{
    for (auto& [id, document] : m_documents) {
        if (!document.frame.is())
            continue;
        if (!m_strCaption.empty()) {
            Reference<css::frame::XTitle> title(document.frame, UNO_QUERY);
            if (title.is())
                title->setTitle(ToOUString(m_strCaption));
        }
        // A hosted window shows when its show runs, bare (HostedFrame.h).
        if (!document.hosted)
            document.frame->getContainerWindow()->setVisible(m_bVisible);
    }
}

bool CImpressSession::IsPresentationFile(const OUString& url)
{
    // Deep type detection first: a file that is no presentation is never handed to a loader,
    // which could fall back on a text import (and its dialog) or fail inside the office.
    auto services = m_context->getServiceManager();
    Reference<css::document::XTypeDetection> detection(
        services->createInstanceWithContext("com.sun.star.document.TypeDetection", m_context),
        UNO_QUERY_THROW);
    css::beans::PropertyValue urlProperty = Property("URL", Any(url));
    Sequence<css::beans::PropertyValue> descriptor(&urlProperty, 1);
    OUString type = detection->queryTypeByDescriptor(descriptor, true);
    if (type.isEmpty())
        return false;
    Reference<css::container::XNameAccess> types(detection, UNO_QUERY_THROW);
    Sequence<css::beans::PropertyValue> typeProps;
    types->getByName(type) >>= typeProps;
    OUString filter;
    for (const auto& p : typeProps)
        if (p.Name == "PreferredFilter")
            p.Value >>= filter;
    if (filter.isEmpty())
        return false;
    Reference<css::container::XNameAccess> filters(
        services->createInstanceWithContext("com.sun.star.document.FilterFactory", m_context),
        UNO_QUERY_THROW);
    if (!filters->hasByName(filter))
        return false;
    Sequence<css::beans::PropertyValue> filterProps;
    filters->getByName(filter) >>= filterProps;
    OUString service;
    for (const auto& p : filterProps)
        if (p.Name == "DocumentService")
            p.Value >>= service;
    return service == "com.sun.star.presentation.PresentationDocument";
}

HRESULT CImpressSession::SetCaption(const std::string& caption)
{
    try {
        m_strCaption = caption;
        ApplyCaption();
        return S_OK;
    } catch (const Exception&) {
        return E_FAIL;
    }
}

HRESULT CImpressSession::SetVisible(bool visible)
{
    try {
        m_bVisible = visible;
        ApplyCaption();
        return S_OK;
    } catch (const Exception&) {
        return E_FAIL;
    }
}

bool CImpressSession::BarsHidden() const
{
    for (auto& [name, value] : m_commandBars)
        if (value == 3)
            return true;
    return false;
}

void CImpressSession::ApplyUiHidden(long id, bool hide)
{
    std::lock_guard ui(m_uiMutex);
    Reference<css::frame::XFrame> frame;
    bool hidden = false, before = false;
    {
        std::lock_guard lock(m_logMutex);
        Document* document = Find(id);
        if (!document)
            return;
        frame = document->frame;
        hidden = document->uiHidden;
        before = document->uiHiddenBefore;
    }
    if (hide == hidden)
        return;
    try {
        // HideCurrentUI lives on the layout manager and is never written into the profile
        // (hideElement would be).
        Reference<css::beans::XPropertySet> frameProps(frame, UNO_QUERY);
        Reference<css::beans::XPropertySet> layout(
            frameProps.is() ? frameProps->getPropertyValue("LayoutManager") : Any(), UNO_QUERY);
        if (!layout.is())
            return;
        if (hide)
            layout->getPropertyValue("HideCurrentUI") >>= before;
        // On the office's thread: from ours it can deadlock the office (OfficeThread.h).
        bool value = hide ? true : before;
        if (!CallOnOfficeThread(m_context,
                                [layout, value] { layout->setPropertyValue("HideCurrentUI", Any(value)); }))
            hide = false;
    } catch (const Exception&) {
        // A window that went away has nothing left to restore.
        hide = false;
    }
    std::lock_guard lock(m_logMutex);
    if (Document* document = Find(id)) {
        document->uiHidden = hide;
        document->uiHiddenBefore = before;
    }
}

void CImpressSession::WakeResolver()
{
    {
        std::lock_guard lock(m_logMutex);
        m_bWake = true;
    }
    m_changed.notify_one();
}

void CImpressSession::RestoreEndedShows()
{
    std::vector<std::pair<long, Reference<css::presentation::XSlideShowController>>> shows;
    {
        std::lock_guard lock(m_logMutex);
        // A show still being started has no controller yet: not ended.
        for (auto& [id, document] : m_documents)
            if (document.uiHidden && document.controller.is())
                shows.emplace_back(id, document.controller);
    }
    for (auto& [id, controller] : shows) {
        bool running = false;
        try {
            running = controller->isRunning();
        } catch (const Exception&) {
        }
        if (running)
            continue;
        // Only if that show is still the document's: a Run in between has started another.
        std::lock_guard ui(m_uiMutex);
        bool same = false;
        {
            std::lock_guard lock(m_logMutex);
            Document* document = Find(id);
            same = document && document->controller == controller;
        }
        if (same)
            ApplyUiHidden(id, false);
    }
}

void CImpressSession::KeepHostedShowsBare()
{
    std::vector<Reference<css::frame::XFrame>> frames;
    {
        std::lock_guard lock(m_logMutex);
        for (auto& [id, document] : m_documents)
            if (document.hosted && document.controller.is())
                frames.push_back(document.frame);
    }
    for (auto& frame : frames)
        KeepBare(m_context, frame);
}

bool CImpressSession::HasCommandBar(const std::string& name) const
{
    return m_commandBars.count(name) != 0;
}

long CImpressSession::GetCommandBar(const std::string& name)
{
    auto it = m_commandBars.find(name);
    return it == m_commandBars.end() ? 0 : it->second;
}

HRESULT CImpressSession::SetCommandBar(const std::string& name, long value)
{
    auto it = m_commandBars.find(name);
    if (it == m_commandBars.end())
        return E_INVALIDARG;
    it->second = value;
    HRESULT hr = S_OK;
    for (long id : m_order) {
        bool running = IsShowRunning(id);
        bool wasHidden = false;
        {
            std::lock_guard lock(m_logMutex);
            Document* document = Find(id);
            if (document && document->hosted)
                continue;  // never shows the bars
            wasHidden = document && document->uiHidden;
        }
        if (running && BarsHidden() && !wasHidden) {
            // A running show does not take the room the bars leave: it keeps its place and the
            // bars' pixels stay. Started again in the bare window, at the slide it showed.
            if (FAILED(Restart(id)))
                hr = E_FAIL;
        } else {
            ApplyUiHidden(id, BarsHidden() && running);
        }
    }
    WakeResolver();
    return hr;
}

unsigned long CImpressSession::WindowId(long id)
{
    Document* document = Find(id);
    return document && document->frame.is() ? FrameWindowId(document->frame) : 0;
}

CImpressSession::Document* CImpressSession::Find(long document)
{
    auto it = m_documents.find(document);
    return it == m_documents.end() ? nullptr : &it->second;
}

std::vector<long> CImpressSession::Documents()
{
    return m_order;
}

bool CImpressSession::IsOpen(long document)
{
    return Find(document) != nullptr;
}

long CImpressSession::ActiveDocument()
{
    return m_order.empty() ? 0 : m_order.back();
}

long CImpressSession::Open(const std::string& path)
{
    if (!m_desktop.is() || path.empty())
        return 0;
    struct stat st {};
    // A missing file would otherwise reach the office as an empty new document.
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    try {
        OUString url;
        OUString systemPath = ToOUString(path);
        if (path[0] != '/') {
            OUString cwd;
            osl_getProcessWorkingDir(&cwd.pData);
            if (osl::FileBase::getAbsoluteFileURL(cwd, systemPath, url) != osl::FileBase::E_None)
                return 0;
        } else if (osl::FileBase::getFileURLFromSystemPath(systemPath, url)
                   != osl::FileBase::E_None) {
            return 0;
        }
        if (!IsPresentationFile(url))
            return 0;
        std::vector<css::beans::PropertyValue> args {Property("ReadOnly", Any(true)),
                                                     Property("Silent", Any(true))};
        std::string lower = Lower(path);
        // A .pps would start its own full-screen show on load.
        if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".pps") == 0)
            args.push_back(Property("FilterName", Any(OUString("MS PowerPoint 97"))));
        // Hidden until the caption is on it, so the window appears with its final title; a
        // hosted window, which would show the editing view for a moment, until its show runs.
        args.push_back(Property("Hidden", Any(true)));
        Reference<css::frame::XFrame> hostedFrame;
        Reference<css::frame::XComponentLoader> loader(m_desktop, UNO_QUERY_THROW);
        if (m_nHostWindow != 0) {
            hostedFrame = CreateHostedFrame(m_context, m_desktop, m_nHostWindow);
            if (!hostedFrame.is())
                return 0;
            loader.set(hostedFrame, UNO_QUERY_THROW);
            args.push_back(Property("StatusIndicator", Any(SilentStatusIndicator())));
        }
        Reference<css::lang::XComponent> component;
        try {
            component = loader->loadComponentFromURL(
                url, hostedFrame.is() ? OUString("_self") : OUString("_blank"), 0,
                Sequence<css::beans::PropertyValue>(args.data(), args.size()));
        } catch (const Exception&) {
            component.clear();
        }
        Reference<css::drawing::XDrawPagesSupplier> pages(component, UNO_QUERY);
        Reference<css::presentation::XPresentationSupplier> show(component, UNO_QUERY);
        if (!component.is() || !pages.is() || !show.is()) {
            // Not a presentation: do not keep it.
            Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
            if (closeable.is())
                closeable->close(true);
            if (hostedFrame.is())
                CloseFrame(hostedFrame);
            return 0;
        }
        long id = m_nNextId++;
        Document document;
        document.component = component;
        Reference<css::frame::XModel> model(component, UNO_QUERY_THROW);
        document.frame = model->getCurrentController()->getFrame();
        document.hosted = hostedFrame.is();

        DocumentShow own;
        auto drawPages = Pages(component);
        own.slideCount = drawPages->getCount();
        auto props = ShowProperties(component);
        OUString firstPage, customShow;
        props->getPropertyValue("FirstPage") >>= firstPage;
        props->getPropertyValue("CustomShow") >>= customShow;
        props->getPropertyValue("IsAutomatic") >>= own.isAutomatic;
        props->getPropertyValue("AllowAnimations") >>= own.allowAnimations;
        for (sal_Int32 i = 0; i < drawPages->getCount() && !firstPage.isEmpty(); ++i) {
            Reference<css::container::XNamed> named(drawPages->getByIndex(i), UNO_QUERY);
            if (named.is() && named->getName() == firstPage)
                own.firstPage = i + 1;
        }
        if (!customShow.isEmpty()) {
            Reference<css::presentation::XCustomPresentationSupplier> shows(component, UNO_QUERY);
            Reference<css::container::XIndexAccess> slides;
            if (shows.is() && shows->getCustomPresentations()->hasByName(customShow))
                shows->getCustomPresentations()->getByName(customShow) >>= slides;
            for (sal_Int32 i = 0; slides.is() && i < slides->getCount(); ++i) {
                Reference<css::drawing::XDrawPage> page(slides->getByIndex(i), UNO_QUERY);
                own.customShowSlides.push_back(PageNumber(drawPages, page));
            }
        }
        document.settings = ReadDocumentShow(own);
        {
            std::lock_guard lock(m_logMutex);
            m_documents.emplace(id, std::move(document));
        }
        m_order.push_back(id);
        ApplyCaption();
        return id;
    } catch (const Exception&) {
        return 0;
    }
}

void CImpressSession::StopShow(Document& document)
{
    if (document.listener.is()) {
        static_cast<CShowListener*>(document.listener.get())->detach();
        try {
            if (document.controller.is())
                document.controller->removeSlideShowListener(document.listener);
        } catch (const Exception&) {
        }
    }
    document.listener.clear();
    {
        std::lock_guard lock(m_logMutex);  // the resolver reads it
        document.controller.clear();
    }
    try {
        Reference<css::presentation::XPresentationSupplier> show(document.component, UNO_QUERY);
        if (show.is() && show->getPresentation().is())
            show->getPresentation()->end();
    } catch (const Exception&) {
    }
}

HRESULT CImpressSession::Close(long id)
{
    Document* document = Find(id);
    if (!document)
        return S_OK;
    StopShow(*document);
    HRESULT hr = S_OK;
    // A hosted frame is ours: it goes with its document, and its window with it.
    if (document->hosted)
        CloseFrame(document->frame);
    try {
        Reference<css::util::XCloseable> closeable(document->component, UNO_QUERY);
        if (closeable.is())
            closeable->close(true);
        else
            document->component->dispose();
    } catch (const css::lang::DisposedException&) {
        // Already gone: closed is what was asked for.
    } catch (const Exception&) {
        hr = E_FAIL;
    }
    {
        std::lock_guard ui(m_uiMutex);
        std::lock_guard lock(m_logMutex);
        m_documents.erase(id);
    }
    m_order.erase(std::remove(m_order.begin(), m_order.end(), id), m_order.end());
    return hr;
}

Reference<css::lang::XComponent> CImpressSession::Component(long id)
{
    Document* document = Find(id);
    return document ? document->component : nullptr;
}

long CImpressSession::SlideCount(long id)
{
    Document* document = Find(id);
    if (!document)
        return 0;
    try {
        return Pages(document->component)->getCount();
    } catch (const Exception&) {
        return 0;
    }
}

bool CImpressSession::GetSlideAdvance(long id, long slide, SlideAdvance* advance)
{
    Document* document = Find(id);
    if (!document)
        return false;
    try {
        auto pages = Pages(document->component);
        if (slide < 1 || slide > pages->getCount())
            return false;
        Reference<css::beans::XPropertySet> page(pages->getByIndex(slide - 1), UNO_QUERY_THROW);
        // 0: the effects and the move on wait for clicks; 1: everything runs on time; 2: the
        // effects run on time, the move on waits for a click.
        sal_Int32 change = 0, duration = 0;
        double highRes = -1;
        page->getPropertyValue("Change") >>= change;
        page->getPropertyValue("Duration") >>= duration;
        if (page->getPropertySetInfo()->hasPropertyByName("HighResDuration"))
            page->getPropertyValue("HighResDuration") >>= highRes;
        advance->onTime = change == 1;
        advance->seconds = highRes >= 0 ? highRes : duration;
        return true;
    } catch (const Exception&) {
        return false;
    }
}

HRESULT CImpressSession::SetSlideAdvance(long id, long slide, const SlideAdvance& advance)
{
    Document* document = Find(id);
    if (!document)
        return S_OK;
    try {
        auto pages = Pages(document->component);
        if (slide < 1 || slide > pages->getCount())
            return E_INVALIDARG;
        Reference<css::beans::XPropertySet> page(pages->getByIndex(slide - 1), UNO_QUERY_THROW);
        sal_Int32 change = 0;
        page->getPropertyValue("Change") >>= change;
        // A slide held for a click keeps its effects running on time.
        if (advance.onTime)
            change = 1;
        else if (change == 1)
            change = 2;
        page->setPropertyValue("Change", Any(change));
        page->setPropertyValue("Duration", Any(static_cast<sal_Int32>(advance.seconds + 0.5)));
        if (page->getPropertySetInfo()->hasPropertyByName("HighResDuration"))
            page->setPropertyValue("HighResDuration", Any(advance.seconds));
        return S_OK;
    } catch (const Exception&) {
        return E_FAIL;
    }
}

bool CImpressSession::GetSettings(long id, ShowSettings* settings)
{
    Document* document = Find(id);
    if (!document)
        return false;
    *settings = document->settings;
    return true;
}

HRESULT CImpressSession::SetSettings(long id, const ShowSettings& settings)
{
    Document* document = Find(id);
    if (!document)
        return S_OK;
    document->settings = settings;
    return S_OK;
}

void CImpressSession::SetupRun(Document& document, const ShowPlan& plan)
{
    auto pages = Pages(document.component);
    auto props = ShowProperties(document.component);
    Reference<css::presentation::XCustomPresentationSupplier> shows(document.component,
                                                                    UNO_QUERY_THROW);
    auto showList = shows->getCustomPresentations();
    OUString rangeName = OUString::createFromAscii(kRangeShowName);
    if (showList->hasByName(rangeName))
        showList->removeByName(rangeName);
    props->setPropertyValue("FirstPage", Any(OUString()));
    props->setPropertyValue("CustomShow", Any(OUString()));
    if (!plan.slides.empty()) {
        Reference<css::lang::XSingleServiceFactory> factory(showList, UNO_QUERY_THROW);
        Reference<css::container::XIndexContainer> range(factory->createInstance(),
                                                         UNO_QUERY_THROW);
        for (long n : plan.slides)
            range->insertByIndex(range->getCount(), pages->getByIndex(n - 1));
        showList->insertByName(rangeName, Any(range));
        props->setPropertyValue("CustomShow", Any(rangeName));
    }
    props->setPropertyValue("IsFullScreen", Any(plan.fullScreen));
    props->setPropertyValue("IsAutomatic", Any(plan.isAutomatic));
    props->setPropertyValue("IsEndless", Any(false));
    props->setPropertyValue("AllowAnimations", Any(!plan.removeAnimations));
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
        Reference<css::drawing::XDrawPage> page(pages->getByIndex(i), UNO_QUERY_THROW);
        if (plan.removeAnimations) {
            // The show's own switch leaves shape effects on: take them out of the (read-only,
            // never saved) document instead.
            Reference<css::animations::XAnimationNodeSupplier> supplier(page, UNO_QUERY);
            Reference<css::animations::XTimeContainer> root(
                supplier.is() ? supplier->getAnimationNode() : nullptr, UNO_QUERY);
            Reference<css::container::XEnumerationAccess> children(root, UNO_QUERY);
            std::vector<Reference<css::animations::XAnimationNode>> nodes;
            if (children.is()) {
                auto e = children->createEnumeration();
                while (e->hasMoreElements()) {
                    Reference<css::animations::XAnimationNode> node(e->nextElement(), UNO_QUERY);
                    if (node.is())
                        nodes.push_back(node);
                }
            }
            for (auto& node : nodes)
                root->removeChild(node);
        }
        if (plan.removeSounds)
            RemoveSounds(page);
    }
}

HRESULT CImpressSession::Restart(long id)
{
    auto controller = Controller(id);
    sal_Int32 index = 0;
    try {
        index = controller.is() ? controller->getCurrentSlideIndex() : 0;
    } catch (const Exception&) {
    }
    HRESULT hr = Run(id, true);
    if (FAILED(hr) || index <= 0)
        return hr;
    controller = Controller(id);
    if (!controller.is())
        return E_FAIL;
    {
        std::lock_guard lock(m_logMutex);
        if (Document* document = Find(id))
            ++document->ownCalls;
    }
    OwnCall own(*this, id);
    try {
        // Back where the log already stands: nothing to log.
        controller->gotoSlideIndex(index);
        return S_OK;
    } catch (const Exception&) {
        return E_FAIL;
    }
}

HRESULT CImpressSession::Run(long id, bool continuing)
{
    // The resolver must not put the bars back for the show this one replaces.
    std::lock_guard ui(m_uiMutex);
    Document* document = Find(id);
    if (!document)
        return S_OK;
    try {
        ShowPlan plan;
        HRESULT hr = PlanShow(document->settings, Pages(document->component)->getCount(), &plan);
        if (FAILED(hr))
            return hr;
        StopShow(*document);
        SetupRun(*document, plan);
        // A show never starts in a hidden window; a window show brings its window up.
        if (document->hosted) {
            if (!IsFrameVisible(document->frame))
                ShowBare(m_context, document->frame);
        } else {
            if (document->frame.is())
                document->frame->getContainerWindow()->setVisible(true);
            // Before the start, so that the show is laid out in the whole window.
            ApplyUiHidden(id, BarsHidden());
        }
        Reference<css::presentation::XPresentationSupplier> supplier(document->component,
                                                                     UNO_QUERY_THROW);
        Reference<css::presentation::XPresentation2> show(supplier->getPresentation(),
                                                          UNO_QUERY_THROW);
        if (plan.rehearse)
            show->rehearseTimings();
        else
            show->start();
        // The controller appears once the show has been set up.
        Reference<css::presentation::XSlideShowController> controller;
        if (!platform::PollUntil([&] { return (controller = show->getController()).is(); }, std::chrono::seconds(10))) {
            ApplyUiHidden(id, false);
            return E_FAIL;
        }
        {
            std::lock_guard lock(m_logMutex);
            document->controller = controller;
            if (!continuing)
                document->lastPosition = 0;
            ++document->ownCalls;
        }
        OwnCall own(*this, id);
        // Something of the office's bars may have come back while the show started.
        if (document->hosted && KeepBare(m_context, document->frame))
            platform::PollUntil([&] { return FillsFrame(document->frame); }, std::chrono::seconds(1));
        document->listener = new CShowListener(this, id);
        controller->addSlideShowListener(document->listener);
        // The first slide is on screen before the listener hears of it. A restart logs nothing:
        // the log goes on as if the show had never stopped.
        if (!continuing)
            LogShownSlide(id, std::chrono::steady_clock::now());
        WakeResolver();  // it watches for the end of a show with hidden bars
        return S_OK;
    } catch (const Exception&) {
        ApplyUiHidden(id, false);
        return E_FAIL;
    }
}

Reference<css::presentation::XSlideShowController> CImpressSession::Controller(long id)
{
    Document* document = Find(id);
    if (!document || !document->controller.is())
        return nullptr;
    try {
        if (!document->controller->isRunning())
            return nullptr;
    } catch (const Exception&) {
        return nullptr;
    }
    return document->controller;
}

bool CImpressSession::IsShowRunning(long id)
{
    return Controller(id).is();
}

HRESULT CImpressSession::Navigate(long id, int step)
{
    auto controller = Controller(id);
    if (!controller.is())
        return S_OK;
    {
        std::lock_guard lock(m_logMutex);
        if (Document* document = Find(id))
            ++document->ownCalls;
    }
    OwnCall own(*this, id);
    try {
        switch (step) {
        case 0: controller->gotoFirstSlide(); break;
        case 1: controller->gotoPreviousSlide(); break;
        case 2: controller->gotoNextSlide(); break;
        default: controller->gotoLastSlide(); break;
        }
        // Here, not from the listener: by the time a resolver asked, the show may have moved on.
        LogShownSlide(id, std::chrono::steady_clock::now());
        return S_OK;
    } catch (const Exception&) {
        return E_FAIL;
    }
}

long CImpressSession::ShowPosition(long id)
{
    auto controller = Controller(id);
    if (!controller.is())
        return 0;
    try {
        sal_Int32 index = controller->getCurrentSlideIndex();
        return index < 0 ? 0 : index + 1;
    } catch (const Exception&) {
        return 0;
    }
}

long CImpressSession::ShownSlide(long id)
{
    Document* document = Find(id);
    auto controller = Controller(id);
    if (!document || !controller.is())
        return 0;
    try {
        return PageNumber(Pages(document->component), controller->getCurrentSlide());
    } catch (const Exception&) {
        return 0;
    }
}

void CImpressSession::OnSlideChange(long id)
{
    std::lock_guard lock(m_logMutex);
    Document* document = Find(id);
    if (!document || document->ownCalls > 0)
        return;
    m_pending.emplace_back(id, std::chrono::steady_clock::now());
    m_changed.notify_one();
}

void CImpressSession::EndOwnCall(long id)
{
    std::lock_guard lock(m_logMutex);
    if (Document* document = Find(id))
        document->ownCalls = std::max(0, document->ownCalls - 1);
}

void CImpressSession::ResolveSlideChanges()
{
    constexpr auto kShowEndPoll = std::chrono::milliseconds(200);
    std::unique_lock lock(m_logMutex);
    for (;;) {
        auto ready = [this] { return m_bStopping || m_bWake || !m_pending.empty(); };
        bool watching = std::any_of(m_documents.begin(), m_documents.end(), [](const auto& entry) {
            return entry.second.uiHidden || entry.second.hosted;
        });
        // No notice comes from the office when a show ends: while one runs with the bars
        // hidden, look now and then.
        if (watching)
            m_changed.wait_for(lock, kShowEndPoll, ready);
        else
            m_changed.wait(lock, ready);
        if (m_bStopping)
            return;
        m_bWake = false;
        if (m_pending.empty()) {
            lock.unlock();
            RestoreEndedShows();
            KeepHostedShowsBare();
            lock.lock();
            continue;
        }
        auto [id, time] = m_pending.front();
        m_pending.erase(m_pending.begin());
        lock.unlock();
        Resolve(id, time);
        lock.lock();
    }
}

void CImpressSession::Resolve(long id, std::chrono::steady_clock::time_point time)
{
    LogShownSlide(id, time);
}

void CImpressSession::LogShownSlide(long id, std::chrono::steady_clock::time_point time)
{
    SlideChange change;
    change.time = time;
    Reference<css::presentation::XSlideShowController> controller;
    Reference<css::lang::XComponent> component;
    {
        std::lock_guard lock(m_logMutex);
        Document* document = Find(id);
        if (!document)
            return;
        controller = document->controller;
        component = document->component;
    }
    try {
        if (!controller.is() || !controller->isRunning())
            return;
        change.showPosition = controller->getCurrentSlideIndex() + 1;
        change.slideNumber = PageNumber(Pages(component), controller->getCurrentSlide());
    } catch (const Exception&) {
        return;
    }
    if (change.showPosition < 1)
        return;  // past the last slide: nothing shown to log
    {
        std::lock_guard lock(m_logMutex);
        Document* document = Find(id);
        if (!document || document->controller != controller
            || change.showPosition == document->lastPosition)
            return;
        // A late echo logged after a newer entry must not make the times fall.
        if (!document->changes.empty())
            change.time = std::max(change.time, document->changes.back().time);
        document->lastPosition = change.showPosition;
        document->changes.push_back(change);
    }
    std::lock_guard lock(m_handlerMutex);
    if (m_slideChangeHandler)
        m_slideChangeHandler(id, change);
}

void CImpressSession::SetSlideChangeHandler(SlideChangeHandler handler)
{
    std::lock_guard lock(m_handlerMutex);
    m_slideChangeHandler = std::move(handler);
}

std::vector<SlideChange> CImpressSession::SlideChanges(long id)
{
    std::lock_guard lock(m_logMutex);
    Document* document = Find(id);
    return document ? document->changes : std::vector<SlideChange> {};
}

}  // namespace office
