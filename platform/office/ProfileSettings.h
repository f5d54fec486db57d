#pragma once
// Settings the office needs in every profile it runs with, set over UNO once it accepts
// connections. Internal to platform/office (UNO).
#include <com/sun/star/uno/XComponentContext.hpp>

namespace office {

// - The slide pane of Impress's editing view stays closed. A window show started in a view that
//   shows it waited 60 s inside the office before the first slide (every run, on the gen
//   back-end); a new profile has it open.
// - No info bars (read-only document, first start's donation and news, ...). The office adds
//   them from its main thread shortly after a document shows, and one added while the bars are
//   being hidden from our thread deadlocked the office (its layout manager against its solar
//   mutex), 1 run in 10.
// False when a setting could not be written (the office then still works, with those risks).
bool ApplyProfileSettings(const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context);

}  // namespace office
