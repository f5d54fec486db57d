#include "platform/office/HostedFrame.h"
#include "platform/base/PollUntil.h"

#include "platform/office/OfficeThread.h"

#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XSystemChildFactory.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/Frame.hpp>
#include <com/sun/star/frame/XFrames.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <cppuhelper/implbase1.hxx>

#include <chrono>
#include <functional>
#include <thread>

namespace office {

using css::uno::Any;
using css::uno::Exception;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr auto kStepDeadline = std::chrono::seconds(3);

bool WaitUntil(const std::function<bool()>& done)
{
    return platform::PollUntil(done, kStepDeadline);
}

class CSilentStatusIndicator : public cppu::WeakImplHelper1<css::task::XStatusIndicator> {
public:
    void SAL_CALL start(const rtl::OUString&, sal_Int32) override {}
    void SAL_CALL end() override {}
    void SAL_CALL setText(const rtl::OUString&) override {}
    void SAL_CALL setValue(sal_Int32) override {}
    void SAL_CALL reset() override {}
};

}  // namespace

Reference<css::task::XStatusIndicator> SilentStatusIndicator()
{
    return new CSilentStatusIndicator();
}

Reference<css::frame::XFrame> CreateHostedFrame(const Reference<css::uno::XComponentContext>& context,
                                                const Reference<css::frame::XDesktop2>& desktop,
                                                unsigned long host)
{
    try {
        Reference<css::awt::XSystemChildFactory> factory(css::awt::Toolkit::create(context),
                                                         UNO_QUERY_THROW);
        // A plain window id (not the XEmbed protocol); the process id is not looked at.
        css::uno::Sequence<sal_Int8> processId(16);
        Reference<css::awt::XWindow> window(
            factory->createSystemChild(Any(static_cast<sal_Int64>(host)), processId,
                                       css::lang::SystemDependent::SYSTEM_XWINDOW),
            UNO_QUERY);
        if (!window.is())
            return nullptr;
        auto frame = css::frame::Frame::create(context);
        frame->initialize(window);

        desktop->getFrames()->append(Reference<css::frame::XFrame>(frame, UNO_QUERY_THROW));
        return Reference<css::frame::XFrame>(frame, UNO_QUERY_THROW);
    } catch (const Exception&) {
        return nullptr;
    }
}

bool IsFrameVisible(const Reference<css::frame::XFrame>& frame)
{
    try {
        Reference<css::awt::XWindow2> window(frame->getContainerWindow(), UNO_QUERY);
        return window.is() && window->isVisible();
    } catch (const Exception&) {
        return false;
    }
}

bool FillsFrame(const Reference<css::frame::XFrame>& frame)
{
    try {
        auto outer = frame->getContainerWindow()->getPosSize();
        auto inner = frame->getComponentWindow()->getPosSize();
        return inner.X == 0 && inner.Y == 0 && inner.Width == outer.Width
            && inner.Height == outer.Height;
    } catch (const Exception&) {
        return true;  // a closed frame has nothing left to hide
    }
}

bool ShowBare(const Reference<css::uno::XComponentContext>& context,
              const Reference<css::frame::XFrame>& frame)
{
    auto container = frame->getContainerWindow();
    auto document = frame->getComponentWindow();
    Reference<css::beans::XPropertySet> frameProps(frame, UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> layout(frameProps->getPropertyValue("LayoutManager"),
                                               UNO_QUERY_THROW);
    container->setVisible(true);
    // Laid out: the bars take room above the document's window.
    bool laidOut = WaitUntil([&] {
        auto outer = container->getPosSize();
        auto inner = document->getPosSize();
        return inner.Width == outer.Width && (inner.Y > 0 || inner.Height < outer.Height);
    });
    bool hidden = CallOnOfficeThread(
        context, [layout] { layout->setPropertyValue("HideCurrentUI", Any(true)); });
    bool bare = WaitUntil([&] { return FillsFrame(frame); });
    return laidOut && hidden && bare;
}

bool KeepBare(const Reference<css::uno::XComponentContext>& context,
              const Reference<css::frame::XFrame>& frame)
{
    if (FillsFrame(frame))
        return false;
    try {
        Reference<css::beans::XPropertySet> frameProps(frame, UNO_QUERY_THROW);
        Reference<css::beans::XPropertySet> layout(frameProps->getPropertyValue("LayoutManager"),
                                                   UNO_QUERY_THROW);
        // Both in one call on the office's thread: nothing is painted in between.
        // A short wait: an office that went away in between never calls back.
        constexpr int kTimeoutMs = 2000;
        CallOnOfficeThread(context, [layout] {
            layout->setPropertyValue("HideCurrentUI", Any(false));
            layout->setPropertyValue("HideCurrentUI", Any(true));
        }, kTimeoutMs);
    } catch (const Exception&) {
    }
    return true;
}

unsigned long FrameWindowId(const Reference<css::frame::XFrame>& frame)
{
    try {
        Reference<css::awt::XSystemDependentWindowPeer> peer(frame->getContainerWindow(),
                                                             UNO_QUERY);
        if (!peer.is())
            return 0;
        css::uno::Sequence<sal_Int8> processId(16);
        Any handle = peer->getWindowHandle(processId, css::lang::SystemDependent::SYSTEM_XWINDOW);
        css::awt::SystemDependentXWindow x;
        if (handle >>= x)
            return static_cast<unsigned long>(x.WindowHandle);
    } catch (const Exception&) {
    }
    return 0;
}

void CloseFrame(const Reference<css::frame::XFrame>& frame)
{
    try {
        Reference<css::util::XCloseable> closeable(frame, UNO_QUERY);
        if (closeable.is())
            closeable->close(true);
        else
            frame->dispose();
    } catch (const css::lang::DisposedException&) {
    } catch (const Exception&) {
        try {
            frame->dispose();
        } catch (const Exception&) {
        }
    }
}

}  // namespace office
