// The recording window's geometry: the slide area, the capture frame, the office's window inside
// the slide area, the size presets and the geometry edits.
#include "recording/RecordDlg.h"

#include "platform/ui/ComboBox.h"
#include "platform/ui/SpinButton.h"
#include "platform/x11/WindowFunctions.h"
#include "recording/CaptureFrame.h"
#include "recording/RecordGeometry.h"

#include <QFrame>
#include <QLineEdit>

namespace recording {

namespace {

RECT ToRect(const QRect& r)
{
    return MakeRect(r.x(), r.y(), r.width(), r.height());
}

QRect ToQRect(const RECT& r)
{
    return QRect(r.left, r.top, Width(r), Height(r));
}

}  // namespace

void CRecordDlg::LayoutRecordWindow()
{
    // Size messages arrive while the window is still being made.
    if (!m_pSeparator || !m_pCaptureFrame)
        return;
    RECT client = ToRect(rect());
    QRect line = m_pSeparator->geometry();
    RECT area = SlideAreaRect(client, line.top(), m_nPptWidth, m_nPptHeight);
    m_pSlideArea->setGeometry(ToQRect(area));
    // The office makes its window the slide area's size and follows it: the X window must have
    // that size now, even while ours is not shown (the toolkit would apply it only then).
    if (m_pSlideArea->testAttribute(Qt::WA_WState_Created) && Width(area) > 0 && Height(area) > 0)
        platform::MoveWindow(static_cast<HWND>(m_pSlideArea->winId()), area.left, area.top,
                             Width(area), Height(area), TRUE);
    PlaceCaptureFrame();
    m_pSeparator->setGeometry(0, line.top(), Width(client), line.height());
    FitPowerPointWindow();
}

void CRecordDlg::PlaceCaptureFrame()
{
    Margins margins;
    margins.top = m_nTopMargin;
    margins.bottom = m_nBottomMargin;
    margins.left = m_nLeftMargin;
    margins.right = m_nRightMargin;
    m_pCaptureFrame->setGeometry(ToQRect(CaptureFrameRect(ToRect(m_pSlideArea->geometry()), margins)));
    m_pCaptureFrame->update();
}

void CRecordDlg::FitPowerPointWindow()
{
    HWND pane = s_hSlideShowPane;
    if (!pane || !m_hPptWnd)
        return;
    RECT main {}, shown {};
    if (!platform::GetWindowRect(m_hPptWnd, &main) || !platform::GetWindowRect(pane, &shown))
        return;
    RECT area = MakeRect(0, 0, m_pSlideArea->width(), m_pSlideArea->height());
    RECT fit = FitPowerPointRect(main, shown, area);
    platform::MoveWindow(m_hPptWnd, fit.left, fit.top, Width(fit), Height(fit), TRUE);
}

void CRecordDlg::RaiseCaptureFrame()
{
    m_pCaptureFrame->raise();
}

void CRecordDlg::ApplySizePreset()
{
    int index = m_pSize->GetCurSel();
    int width = 0, height = 0;
    if (!PresetSize(index, &width, &height))
        return;
    ReadGeometryControls();
    m_nPptHeight = height;
    m_nPptWidth = width;
    m_nVideoHeight = height;
    m_nVideoWidth = width;
    m_nTopMargin = m_nBottomMargin = m_nLeftMargin = m_nRightMargin = 0;
    UpdateData(FALSE);
    LayoutRecordWindow();
}

void CRecordDlg::ReadGeometryControls()
{
    // The edits take whatever is typed; one that holds no integer (yet) keeps its field.
    for (int id : {IDC_REC_PPT_HEIGHT, IDC_REC_PPT_WIDTH, IDC_REC_VIDEO_HEIGHT, IDC_REC_VIDEO_WIDTH,
                   IDC_REC_TOP_MARGIN, IDC_REC_BOTTOM_MARGIN, IDC_REC_LEFT_MARGIN,
                   IDC_REC_RIGHT_MARGIN}) {
        bool ok = false;
        int value = GetDlgItemAs<QLineEdit>(id)->text().trimmed().toInt(&ok);
        if (ok)
            GeometryField(id) = value;
    }
    m_nSizePreset = m_pSize->GetCurSel();
}

void CRecordDlg::OnGeometryEditChange(int nEditId)
{
    if (m_bFilling)
        return;  // the fill sets the spins and lays out itself
    ReadGeometryControls();
    SetSpinPos(nEditId);
    if (nEditId == IDC_REC_PPT_WIDTH || nEditId == IDC_REC_PPT_HEIGHT)
        LayoutRecordWindow();
    else
        PlaceCaptureFrame();
}

}  // namespace recording
