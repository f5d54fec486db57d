#include "recording/PresentationModeDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace recording {

namespace {

constexpr int kStatic = -1;

}  // namespace

CPresentationModeDlg::CPresentationModeDlg(QWidget* pParent)
    : CPersistentDlg(IDD_PRESENTATION_MODE, options::kPresentationModeFile, pParent)
{
    setWindowTitle("Presentation Mode");
    SetDialogSize(211, 200);

    AddControl(kStatic, new QGroupBox("Presentation Mode"), {7, 7, 197, 62});
    auto* pGroup = new QButtonGroup(this);
    int y = 22;
    for (auto [nID, text] : {std::pair {IDC_PM_MANUAL, "Slide Show Manual advance"},
                             std::pair {IDC_PM_TIMINGS, "Slide Show Use Slide Timings"},
                             std::pair {IDC_PM_REHEARSE, "Slide Show Rehearse New Timings"}}) {
        auto* pRadio = new QRadioButton(text);
        pGroup->addButton(pRadio);
        AddControl(nID, pRadio, {18, y, 176, 10});
        y += 15;
    }

    AddControl(kStatic, new QGroupBox("Slide Range"), {7, 76, 197, 36});
    // Digits only; an empty box is refused by the integer check on "Start ".
    auto digits = [this](int nID, const QRect& dlu) {
        auto* pEdit = new QLineEdit;
        pEdit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), pEdit));
        AddControl(nID, pEdit, dlu);
    };
    AddStatic(kStatic, "From", {18, 92, 22, 8});
    digits(IDC_PM_FIRST_SLIDE, {42, 90, 40, 12});
    AddStatic(kStatic, "to", {96, 92, 12, 8});
    digits(IDC_PM_LAST_SLIDE, {110, 90, 40, 12});

    AddControl(kStatic, new QGroupBox("Other"), {7, 119, 197, 46});
    AddControl(IDC_PM_NO_ANIMATION, new QCheckBox("Show not with animation"), {18, 133, 176, 10});
    AddControl(IDC_PM_NO_NARRATION, new QCheckBox("Show not with narration"), {18, 148, 176, 10});

    AddButton(platform::IDOK, "Start ", {90, 178, 54, 14}, platform::BS_DEFPUSHBUTTON);
    AddButton(platform::IDCANCEL, "Cancel", {150, 178, 54, 14});
}

void CPresentationModeDlg::SetFromShow(const PresentationSettings& show)
{
    m_nFirstSlide = show.m_nFirstSlide;
    m_nLastSlide = show.m_nLastSlide;
    m_bNoAnimation = show.m_bNoAnimation;
    m_bNoNarration = show.m_bNoNarration;
    m_nAdvanceMode = show.m_nAdvanceMode;
}

PresentationSettings CPresentationModeDlg::GetPresentationSettings() const
{
    PresentationSettings settings;
    settings.m_bAutoRecord = m_bAutoRecord;
    settings.m_bFullScreen = m_bFullScreen;
    settings.m_nLastSlide = m_nLastSlide;
    settings.m_bNoAnimation = m_bNoAnimation;
    settings.m_bNoNarration = m_bNoNarration;
    settings.m_nFirstSlide = m_nFirstSlide;
    settings.m_nAdvanceMode = m_nAdvanceMode;
    return settings;
}

void CPresentationModeDlg::DoDataExchange(platform::CDataExchange* pDX)
{
    // The hidden controls of the automatic, full-screen and page records are left out; their
    // fields keep their defaults and are stored with the record.
    platform::DDX_Check(pDX, IDC_PM_NO_ANIMATION, m_bNoAnimation);
    platform::DDX_Check(pDX, IDC_PM_NO_NARRATION, m_bNoNarration);
    platform::DDX_Text(pDX, IDC_PM_LAST_SLIDE, m_nLastSlide);
    platform::DDX_Text(pDX, IDC_PM_FIRST_SLIDE, m_nFirstSlide);
    platform::DDX_Radio(pDX, IDC_PM_MANUAL, m_nAdvanceMode);
}

BOOL CPresentationModeDlg::OnInitDialog()
{
    return StandardInitDialog();
}

}  // namespace recording
