#pragma once
// The presentation mode window ("Presentation Mode"): how the next recording's slide show runs -
// how slides advance, which slides, with or without animations and narration. "Start " writes the
// choices to "RecordCustom" and closes with OK; Cancel changes nothing.
//
//     CPresentationModeDlg dlg(this);
//     dlg.SetFromShow(showSettings);          // the open presentation's own settings
//     if (dlg.DoModal() == IDOK) settings = dlg.GetPresentationSettings();
//
// The window is filled from its fields only: it does not read "RecordCustom" when it opens.
#include "options/PersistentDlg.h"
#include "options/PresentationModeOptions.h"
#include "recording/PresentationSettings.h"

namespace recording {

inline constexpr UINT IDD_PRESENTATION_MODE = 136;

enum : int {
    IDC_PM_FIRST_SLIDE = 1028,
    IDC_PM_LAST_SLIDE = 1029,
    IDC_PM_NO_ANIMATION = 1056,
    IDC_PM_NO_NARRATION = 1057,
    IDC_PM_MANUAL = 1066,    // the radio group, in its order: manual advance,
    IDC_PM_TIMINGS = 1068,   // use slide timings,
    IDC_PM_REHEARSE = 1067,  // rehearse new timings
};

class CPresentationModeDlg : public options::CPersistentDlg, public options::CPresentationModeOptions {
    Q_OBJECT
public:
    explicit CPresentationModeDlg(QWidget* pParent = nullptr);

    // The slide range, the two switches and the advance mode from a presentation's show
    // settings; the other fields keep their defaults.
    void SetFromShow(const PresentationSettings& show);
    // What the recording window runs the show with, after OK.
    PresentationSettings GetPresentationSettings() const;

protected:
    void SerializeOptions(options::COptionArchive& ar) override
    {
        CPresentationModeOptions::SerializeOptions(ar);
    }
    void DoDataExchange(platform::CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
};

}  // namespace recording
