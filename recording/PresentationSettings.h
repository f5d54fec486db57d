#pragma once
// How the recording window runs a slide show: the choices of the presentation mode window, and
// how they map to and from the presentation program's slide-show settings.
namespace recording {

struct PresentationSettings {
    int m_bNoAnimation = 1;
    int m_bNoNarration = 0;
    int m_nLastSlide = 1;
    int m_nFirstSlide = 1;
    int m_nAdvanceMode = 1;  // 0 manual advance, 1 use slide timings, 2 rehearse new timings
    int m_bAutoRecord = 0;   // carried, no effect
    int m_bFullScreen = 0;   // carried, no effect
};

// The program's slide-show settings, in its own values.
struct ShowSetup {
    long advanceMode = 0;     // 1, 2 or 3
    long rangeType = 0;       // 1 all slides, 2 a slide range
    long startingSlide = 0;   // only with rangeType 2
    long endingSlide = 0;
    long showWithAnimation = 0;
    long showWithNarration = 0;
};

// What a run writes for these settings on a presentation of slideCount slides: the whole
// presentation when the range is 1 to the slide count, else that range.
ShowSetup PlanShowSetup(const PresentationSettings& settings, long slideCount);

// What the presentation mode window is pre-filled with, from a presentation's own settings (the
// automatic and full-screen flags are left as they are).
void ReadShowSetup(const ShowSetup& setup, long slideCount, PresentationSettings* settings);

}  // namespace recording
