#include "options/PersistentDlg.h"

namespace options {

CPersistentDlg::CPersistentDlg(UINT nIDTemplate, const std::string& strFileName, QWidget* pParent)
    : CDialog(nIDTemplate, pParent), m_file(strFileName)
{
}

BOOL CPersistentDlg::UpdateData(BOOL bSaveAndValidate)
{
    return platform::RunDataExchange(this, bSaveAndValidate,
                                     [this](platform::CDataExchange* pDX) { DoDataExchange(pDX); });
}

BOOL CPersistentDlg::LoadOptions(BOOL bRefresh)
{
    LoadResult result = m_file.Load([this](COptionArchive& ar) { SerializeOptions(ar); });
    if (result == LoadResult::NotOpened)
        return FALSE;
    if (bRefresh)
        UpdateData(FALSE);
    return TRUE;
}

BOOL CPersistentDlg::SaveOptions()
{
    m_bSaveValidationFailed = false;
    auto writer = COptionFileWriter::Create(m_file.Path());
    if (!writer)
        return FALSE;
    m_bSaveValidationFailed = !UpdateData(TRUE);
    COptionArchive ar = COptionArchive::ForStoring();
    SerializeOptions(ar);
    return writer->Commit(ar.Buffer()) ? TRUE : FALSE;
}

BOOL CPersistentDlg::StandardInitDialog()
{
    CDialog::OnInitDialog();
    UpdateData(FALSE);
    return TRUE;
}

BOOL CPersistentDlg::OnInitDialog()
{
    StandardInitDialog();
    LoadOptions(TRUE);
    return TRUE;
}

void CPersistentDlg::StandardOK()
{
    if (UpdateData(TRUE))
        EndDialog(platform::IDOK);
}

void CPersistentDlg::OnOK()
{
    SaveOptions();
    // The save's own exchange has already shown why the controls are not valid; validating
    // again would only show the same message a second time. The window stays open either way.
    if (m_bSaveValidationFailed)
        return;
    StandardOK();
}

} // namespace options
