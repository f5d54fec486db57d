#include "app/FinishedDlg.h"

#include "platform/shell/ShellExecute.h"

#include <QLineEdit>
#include <QPushButton>

using namespace platform;

void OpenWithShell(const std::string& path)
{
    const intptr_t result = ShellExecute("open", path);
    if (result <= 32)
        AfxMessageBox("Unable to open " + path + ":\n\n" + ShellErrorText(result));
}

CFinishedDlg::CFinishedDlg(QWidget* pParent) : CDialog(IDD_FINISHED, pParent)
{
    setWindowTitle("Converting finished.");
    SetDialogSize(250, 74);
    AddStatic(-1, "Below is output video file:", {7, 7, 236, 8});
    // One line that scrolls sideways: it can be selected and copied, not edited.
    auto* pFile = new QLineEdit;
    pFile->setReadOnly(true);
    pFile->setAlignment(Qt::AlignHCenter);
    AddControl(IDC_FIN_VIDEO_FILE, pFile, {7, 19, 236, 14});
    AddButton(IDC_FIN_PREVIEW, "Preview Video", {7, 53, 70, 14});
    AddButton(IDC_FIN_OPEN_FOLDER, "Open Output Folder", {83, 53, 80, 14});
    AddButton(IDOK, "OK", {0, 0, 1, 1})->hide();
    AddButton(IDCANCEL, "Close", {193, 53, 50, 14});

    MapCommand(IDC_FIN_PREVIEW, [this] { OnPreview(); });
    MapCommand(IDC_FIN_OPEN_FOLDER, [this] { OnOpenFolder(); });
}

BOOL CFinishedDlg::OnInitDialog()
{
    SetDlgItemText(IDC_FIN_VIDEO_FILE, QString::fromStdString(m_strVideoFile));
    GetDlgItemAs<QLineEdit>(IDC_FIN_VIDEO_FILE)->setCursorPosition(0);
    return TRUE;
}

void CFinishedDlg::OnPreview()
{
    OpenWithShell(m_strVideoFile);
}

void CFinishedDlg::OnOpenFolder()
{
    OpenWithShell(m_strOutputFolder);
}
