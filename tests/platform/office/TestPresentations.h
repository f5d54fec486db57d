#pragma once
// Test presentations made through the office under test: slide N has its own background colour
// and a big "N"; slides advance on their own after a second; saved as .ppt, .pps, .pptx and .odp.
#include "platform/office/ImpressSession.h"

#include <cstdint>
#include <string>

namespace officetest {

// The background of slide n (from 1), as 0xRRGGBB.
std::uint32_t SlideColour(long n);

struct ShowOptions {
    long slides = 5;
    long firstSlide = 0;  // a custom range from firstSlide to lastSlide when not 0
    long lastSlide = 0;
    bool manualAdvance = false;
    bool animations = true;
};

// Writes `folder`/<name>.ppt, .pps, .pptx and .odp; false when the office refused.
bool MakePresentations(office::CImpressSession& session, const std::string& folder,
                       const std::string& name, const ShowOptions& options);

}  // namespace officetest
