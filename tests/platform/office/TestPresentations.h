#pragma once
// Test presentations made through the office under test: slide N has its own background colour
// and a big "N"; slides advance on their own after a second; each slide starts with a short sound
// (a WAV written beside them); saved as .ppt, .pps, .pptx and .odp.
#include "platform/office/ImpressSession.h"

#include <cstdint>
#include <string>
#include <vector>

namespace officetest {

// The background of slide n (from 1), as 0xRRGGBB.
std::uint32_t SlideColour(long n);

// The square that enters slide 1 on a click (ShowOptions::clickEffect), as 0xRRGGBB, and where it
// sits: the slide's right half, as fractions of the slide's width and height.
constexpr std::uint32_t kEffectColour = 0xFF8000;
constexpr double kEffectLeft = 0.6, kEffectTop = 0.45, kEffectRight = 0.9, kEffectBottom = 0.85;

// A short mono tone as a complete WAV file.
std::string ToneWav(int milliseconds);

struct ShowOptions {
    long slides = 5;
    long firstSlide = 0;  // a custom range from firstSlide to lastSlide when not 0
    long lastSlide = 0;
    bool manualAdvance = false;
    bool animations = true;
    bool pageSound = true;     // each slide's transition plays <name>.wav
    bool clickEffect = false;  // slide 1 gets the square, entering on the first click
    long pageWidth = 0;        // the slides' size in 1/100 mm; 0: the office's default (16:9)
    long pageHeight = 0;
    // Each slide's own time when the show uses the timings, whole seconds: slide n takes entry
    // n-1, 0 waits for a click. Empty: a second each.
    std::vector<int> slideSeconds;
};

// Writes `folder`/<name>.ppt, .pps, .pptx and .odp; false when the office refused.
bool MakePresentations(office::CImpressSession& session, const std::string& folder,
                       const std::string& name, const ShowOptions& options);

}  // namespace officetest
