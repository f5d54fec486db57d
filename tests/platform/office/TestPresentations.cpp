#include "platform/office/TestPresentations.h"

#include <com/sun/star/animations/XAnimate.hpp>
#include <com/sun/star/animations/XAnimationNodeSupplier.hpp>
#include <com/sun/star/animations/XTimeContainer.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexContainer.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/drawing/FillStyle.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XSingleServiceFactory.hpp>
#include <com/sun/star/presentation/XCustomPresentationSupplier.hpp>
#include <com/sun/star/presentation/XPresentationSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XCloseable.hpp>

namespace officetest {

namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

std::uint32_t SlideColour(long n)
{
    static const std::uint32_t colours[] = {0xC00000, 0x00A000, 0x0000C0, 0xC0C000,
                                            0x00C0C0, 0xC000C0, 0x804000, 0x808080};
    return colours[(n - 1) % 8];
}

namespace {
css::beans::PropertyValue Property(const char* name, const Any& value)
{
    css::beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

void Store(const Reference<css::lang::XComponent>& document, const std::string& path,
           const char* filter)
{
    Reference<css::frame::XStorable> storable(document, UNO_QUERY_THROW);
    css::beans::PropertyValue list[] = {
        Property("FilterName", Any(OUString::createFromAscii(filter))),
        Property("Overwrite", Any(true))};
    css::uno::Sequence<css::beans::PropertyValue> args(list, 2);
    storable->storeToURL(OUString::createFromAscii(("file://" + path).c_str()), args);
}
// The number appears by an effect: one "set visibility" node under the page's timing root.
void AddAppearEffect(office::CImpressSession& session,
                     const Reference<css::drawing::XDrawPage>& page,
                     const Reference<css::drawing::XShape>& shape)
{
    Reference<css::animations::XAnimationNodeSupplier> supplier(page, UNO_QUERY_THROW);
    Reference<css::animations::XTimeContainer> root(supplier->getAnimationNode(), UNO_QUERY_THROW);
    auto services = session.Context()->getServiceManager();
    Reference<css::animations::XTimeContainer> group(
        services->createInstanceWithContext("com.sun.star.animations.ParallelTimeContainer",
                                            session.Context()),
        UNO_QUERY_THROW);
    Reference<css::animations::XAnimate> set(
        services->createInstanceWithContext("com.sun.star.animations.AnimateSet",
                                            session.Context()),
        UNO_QUERY_THROW);
    set->setTarget(Any(shape));
    set->setAttributeName("Visibility");
    set->setTo(Any(OUString("visible")));
    set->setDuration(Any(0.001));
    group->appendChild(Reference<css::animations::XAnimationNode>(set, UNO_QUERY_THROW));
    root->appendChild(Reference<css::animations::XAnimationNode>(group, UNO_QUERY_THROW));
}
}  // namespace

bool MakePresentations(office::CImpressSession& session, const std::string& folder,
                       const std::string& name, const ShowOptions& options)
{
    Reference<css::lang::XComponent> document;
    try {
        Reference<css::frame::XComponentLoader> loader(session.Desktop(), UNO_QUERY_THROW);
        css::beans::PropertyValue hidden = Property("Hidden", Any(true));
        css::uno::Sequence<css::beans::PropertyValue> args(&hidden, 1);
        document = loader->loadComponentFromURL("private:factory/simpress", "_blank", 0, args);
        Reference<css::lang::XMultiServiceFactory> factory(document, UNO_QUERY_THROW);
        Reference<css::drawing::XDrawPagesSupplier> supplier(document, UNO_QUERY_THROW);
        auto pages = supplier->getDrawPages();
        while (pages->getCount() < options.slides)
            pages->insertNewByIndex(pages->getCount() - 1);
        for (long n = 1; n <= options.slides; ++n) {
            Reference<css::drawing::XDrawPage> page(pages->getByIndex(n - 1), UNO_QUERY_THROW);
            // Remove the layout's placeholders: only the colour and the number are on the slide.
            while (page->getCount() > 0) {
                Reference<css::drawing::XShape> shape(page->getByIndex(0), UNO_QUERY_THROW);
                page->remove(shape);
            }
            Reference<css::beans::XPropertySet> pageProps(page, UNO_QUERY_THROW);
            Reference<css::beans::XPropertySet> background(
                factory->createInstance("com.sun.star.drawing.Background"), UNO_QUERY_THROW);
            background->setPropertyValue("FillStyle", Any(css::drawing::FillStyle_SOLID));
            background->setPropertyValue("FillColor",
                                         Any(static_cast<sal_Int32>(SlideColour(n))));
            pageProps->setPropertyValue("Background", Any(background));
            // Each slide moves on after a second when the show uses the timings.
            pageProps->setPropertyValue("Change", Any(sal_Int32(1)));
            pageProps->setPropertyValue("Duration", Any(sal_Int32(1)));

            Reference<css::drawing::XShape> text(
                factory->createInstance("com.sun.star.drawing.TextShape"), UNO_QUERY_THROW);
            page->add(text);
            text->setPosition(css::awt::Point(500, 500));
            text->setSize(css::awt::Size(5000, 4000));
            Reference<css::text::XText> body(text, UNO_QUERY_THROW);
            body->setString(OUString::number(static_cast<sal_Int32>(n)));
            Reference<css::beans::XPropertySet> textProps(text, UNO_QUERY_THROW);
            textProps->setPropertyValue("CharHeight", Any(float(96)));
            textProps->setPropertyValue("CharColor", Any(sal_Int32(0xFFFFFF)));
            AddAppearEffect(session, page, text);
        }
        Reference<css::presentation::XPresentationSupplier> show(document, UNO_QUERY_THROW);
        Reference<css::beans::XPropertySet> showProps(show->getPresentation(), UNO_QUERY_THROW);
        showProps->setPropertyValue("IsAutomatic", Any(options.manualAdvance));
        showProps->setPropertyValue("AllowAnimations", Any(options.animations));
        if (options.firstSlide != 0) {
            Reference<css::presentation::XCustomPresentationSupplier> shows(document,
                                                                            UNO_QUERY_THROW);
            auto list = shows->getCustomPresentations();
            Reference<css::lang::XSingleServiceFactory> showFactory(list, UNO_QUERY_THROW);
            Reference<css::container::XIndexContainer> range(showFactory->createInstance(),
                                                             UNO_QUERY_THROW);
            for (long n = options.firstSlide; n <= options.lastSlide; ++n)
                range->insertByIndex(range->getCount(), pages->getByIndex(n - 1));
            list->insertByName("Range", Any(range));
            showProps->setPropertyValue("CustomShow", Any(OUString("Range")));
        }
        std::string base = folder + "/" + name;
        Store(document, base + ".ppt", "MS PowerPoint 97");
        Store(document, base + ".pps", "MS PowerPoint 97 AutoPlay");
        Store(document, base + ".pptx", "Impress MS PowerPoint 2007 XML");
        Store(document, base + ".odp", "impress8");
        Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
        return true;
    } catch (const css::uno::Exception&) {
        try {
            if (document.is())
                Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
        } catch (const css::uno::Exception&) {
        }
        return false;
    }
}

}  // namespace officetest
