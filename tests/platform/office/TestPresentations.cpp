#include "platform/office/TestPresentations.h"

#include <com/sun/star/animations/AnimationFill.hpp>
#include <com/sun/star/animations/Event.hpp>
#include <com/sun/star/animations/EventTrigger.hpp>
#include <com/sun/star/animations/XAnimate.hpp>
#include <com/sun/star/animations/XAnimationNodeSupplier.hpp>
#include <com/sun/star/animations/XTimeContainer.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexContainer.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/drawing/FillStyle.hpp>
#include <com/sun/star/drawing/LineStyle.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XSingleServiceFactory.hpp>
#include <com/sun/star/presentation/EffectNodeType.hpp>
#include <com/sun/star/presentation/EffectPresetClass.hpp>
#include <com/sun/star/presentation/XCustomPresentationSupplier.hpp>
#include <com/sun/star/presentation/XPresentationSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <cmath>
#include <fstream>

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

std::string ToneWav(int milliseconds)
{
    constexpr int kRate = 8000;
    int samples = kRate * milliseconds / 1000;
    std::string wav;
    auto put = [&wav](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            wav.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    wav += "RIFF";
    put(36 + samples * 2, 4);
    wav += "WAVEfmt ";
    put(16, 4);
    put(1, 2);  // PCM
    put(1, 2);  // mono
    put(kRate, 4);
    put(kRate * 2, 4);
    put(2, 2);
    put(16, 2);
    wav += "data";
    put(samples * 2, 4);
    for (int i = 0; i < samples; ++i)
        put(static_cast<std::uint16_t>(static_cast<std::int16_t>(
                8000 * std::sin(2 * 3.14159265 * 440 * i / kRate))),
            2);
    return wav;
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
// A square that enters on the first click: the slide's main sequence holds one click group whose
// effect sets the square visible (and keeps it so), as Impress's own "Appear" entrance does.
void AddClickEntrance(office::CImpressSession& session,
                      const Reference<css::drawing::XDrawPage>& page,
                      const Reference<css::drawing::XShape>& shape)
{
    namespace anim = css::animations;
    auto services = session.Context()->getServiceManager();
    auto make = [&](const char* service) {
        return services->createInstanceWithContext(OUString::createFromAscii(service),
                                                   session.Context());
    };
    auto userData = [](sal_Int16 nodeType) {
        css::uno::Sequence<css::beans::NamedValue> data(1);
        data.getArray()[0].Name = "node-type";
        data.getArray()[0].Value <<= nodeType;
        return data;
    };
    Reference<anim::XAnimationNodeSupplier> supplier(page, UNO_QUERY_THROW);
    Reference<anim::XTimeContainer> root(supplier->getAnimationNode(), UNO_QUERY_THROW);
    Reference<anim::XTimeContainer> sequence(make("com.sun.star.animations.SequenceTimeContainer"),
                                             UNO_QUERY_THROW);
    sequence->setUserData(userData(css::presentation::EffectNodeType::MAIN_SEQUENCE));
    Reference<anim::XTimeContainer> click(make("com.sun.star.animations.ParallelTimeContainer"),
                                          UNO_QUERY_THROW);
    anim::Event onNext;
    onNext.Trigger = anim::EventTrigger::ON_NEXT;
    click->setBegin(Any(onNext));
    click->setFill(anim::AnimationFill::HOLD);
    Reference<anim::XTimeContainer> effect(make("com.sun.star.animations.ParallelTimeContainer"),
                                           UNO_QUERY_THROW);
    effect->setBegin(Any(0.0));
    effect->setFill(anim::AnimationFill::HOLD);
    css::uno::Sequence<css::beans::NamedValue> effectData(3);
    effectData.getArray()[0] = userData(css::presentation::EffectNodeType::ON_CLICK)[0];
    effectData.getArray()[1].Name = "preset-class";
    effectData.getArray()[1].Value <<= css::presentation::EffectPresetClass::ENTRANCE;
    effectData.getArray()[2].Name = "preset-id";
    effectData.getArray()[2].Value <<= OUString("ooo-entrance-appear");
    effect->setUserData(effectData);
    Reference<anim::XAnimate> set(make("com.sun.star.animations.AnimateSet"), UNO_QUERY_THROW);
    set->setTarget(Any(shape));
    set->setAttributeName("Visibility");
    set->setTo(Any(OUString("visible")));
    set->setDuration(Any(0.001));
    set->setFill(anim::AnimationFill::HOLD);
    effect->appendChild(Reference<anim::XAnimationNode>(set, UNO_QUERY_THROW));
    click->appendChild(Reference<anim::XAnimationNode>(effect, UNO_QUERY_THROW));
    sequence->appendChild(Reference<anim::XAnimationNode>(click, UNO_QUERY_THROW));
    root->appendChild(Reference<anim::XAnimationNode>(sequence, UNO_QUERY_THROW));
}

OUString FileUrl(const std::string& path)
{
    return OUString::createFromAscii(("file://" + path).c_str());
}
}  // namespace

bool MakePresentations(office::CImpressSession& session, const std::string& folder,
                       const std::string& name, const ShowOptions& options)
{
    Reference<css::lang::XComponent> document;
    std::string base = folder + "/" + name;
    if (options.pageSound) {
        std::ofstream wav(base + ".wav", std::ios::binary);
        wav << ToneWav(200);
        if (!wav)
            return false;
    }
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
            if (options.pageWidth > 0 && options.pageHeight > 0) {
                pageProps->setPropertyValue("Width", Any(static_cast<sal_Int32>(options.pageWidth)));
                pageProps->setPropertyValue("Height", Any(static_cast<sal_Int32>(options.pageHeight)));
            }
            Reference<css::beans::XPropertySet> background(
                factory->createInstance("com.sun.star.drawing.Background"), UNO_QUERY_THROW);
            background->setPropertyValue("FillStyle", Any(css::drawing::FillStyle_SOLID));
            background->setPropertyValue("FillColor",
                                         Any(static_cast<sal_Int32>(SlideColour(n))));
            pageProps->setPropertyValue("Background", Any(background));
            // Each slide moves on after its time (a second unless told) when the show uses the
            // timings.
            const std::size_t index = static_cast<std::size_t>(n - 1);
            const int seconds = index < options.slideSeconds.size() ? options.slideSeconds[index] : 1;
            pageProps->setPropertyValue("Change", Any(sal_Int32(seconds > 0 ? 1 : 0)));
            pageProps->setPropertyValue("Duration", Any(sal_Int32(seconds)));

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
            if (options.pageSound)
                pageProps->setPropertyValue("Sound", Any(FileUrl(base + ".wav")));
            if (n == 1 && options.clickEffect) {
                sal_Int32 width = 0, height = 0;
                pageProps->getPropertyValue("Width") >>= width;
                pageProps->getPropertyValue("Height") >>= height;
                Reference<css::drawing::XShape> square(
                    factory->createInstance("com.sun.star.drawing.RectangleShape"),
                    UNO_QUERY_THROW);
                page->add(square);
                square->setPosition(css::awt::Point(static_cast<sal_Int32>(width * kEffectLeft),
                                                    static_cast<sal_Int32>(height * kEffectTop)));
                square->setSize(
                    css::awt::Size(static_cast<sal_Int32>(width * (kEffectRight - kEffectLeft)),
                                   static_cast<sal_Int32>(height * (kEffectBottom - kEffectTop))));
                Reference<css::beans::XPropertySet> squareProps(square, UNO_QUERY_THROW);
                squareProps->setPropertyValue("FillStyle", Any(css::drawing::FillStyle_SOLID));
                squareProps->setPropertyValue("FillColor",
                                              Any(static_cast<sal_Int32>(kEffectColour)));
                squareProps->setPropertyValue("LineStyle", Any(css::drawing::LineStyle_NONE));
                AddClickEntrance(session, page, square);
            }
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
