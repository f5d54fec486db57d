#include "platform/office/ProfileSettings.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>

namespace office {

namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace {

struct Switch {
    const char* node;
    const char* name;
};

// Each of these is set to false.
constexpr Switch kSwitches[] = {
    {"/org.openoffice.Office.Impress/MultiPaneGUI/SlideSorterBar/Visible", "ImpressView"},
    {"/org.openoffice.Office.UI.Infobar/Enabled", "Readonly"},
    {"/org.openoffice.Office.UI.Infobar/Enabled", "Signature"},
    {"/org.openoffice.Office.UI.Infobar/Enabled", "Donate"},
    {"/org.openoffice.Office.UI.Infobar/Enabled", "GetInvolved"},
    {"/org.openoffice.Office.UI.Infobar/Enabled", "HyphenationMissing"},
    {"/org.openoffice.Office.UI.Infobar/Enabled", "WhatsNew"},
    {"/org.openoffice.Office.UI.Infobar/Enabled", "HiddenTrackChanges"},
};

template <typename Access>
Reference<Access> UpdateAccess(const Reference<css::lang::XMultiServiceFactory>& provider,
                               const char* node)
{
    css::beans::NamedValue path("nodepath", Any(OUString::createFromAscii(node)));
    Any arg(path);
    css::uno::Sequence<Any> args(&arg, 1);
    return Reference<Access>(
        provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationUpdateAccess",
                                              args),
        UNO_QUERY_THROW);
}

bool SetOff(const Reference<css::lang::XMultiServiceFactory>& provider, const Switch& s)
{
    try {
        auto node = UpdateAccess<css::container::XNameReplace>(provider, s.node);
        OUString name = OUString::createFromAscii(s.name);
        bool on = true;
        node->getByName(name) >>= on;
        if (!on)
            return true;
        node->replaceByName(name, Any(false));
        Reference<css::util::XChangesBatch>(node, UNO_QUERY_THROW)->commitChanges();
        return true;
    } catch (const css::uno::Exception&) {
        return false;
    }
}

}  // namespace

bool ApplyProfileSettings(const Reference<css::uno::XComponentContext>& context)
{
    Reference<css::lang::XMultiServiceFactory> provider;
    try {
        provider = css::configuration::theDefaultProvider::get(context);
    } catch (const css::uno::Exception&) {
        return false;
    }
    bool all = true;
    for (const Switch& s : kSwitches)
        all = SetOff(provider, s) && all;
    return all;
}

}  // namespace office
