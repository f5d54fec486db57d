#pragma once
// The conversion-finished window ("Converting finished."): where the recorded video file is, with
// two shortcuts - play it with the desktop's program for its type, or open its folder.
//
//     CFinishedDlg dlg;
//     dlg.m_strVideoFile = file;
//     dlg.m_strOutputFolder = folder;
//     dlg.DoModal();
#include "platform/ui/Dialog.h"

#include <string>

inline constexpr UINT IDD_FINISHED = 141;

enum : int {
    IDC_FIN_VIDEO_FILE = 1000,
    IDC_FIN_PREVIEW = 1001,
    IDC_FIN_OPEN_FOLDER = 1002,
};

class CFinishedDlg : public platform::CDialog {
public:
    explicit CFinishedDlg(QWidget* pParent = nullptr);

    std::string m_strVideoFile;
    std::string m_strOutputFolder;

protected:
    BOOL OnInitDialog() override;
    // Enter does not close the window (its OK button is hidden).
    void OnOK() override {}

private:
    void OnPreview();
    void OnOpenFolder();
};

// The shell's "open" on a file or folder; when the desktop cannot open it, a message box says
// so with the reason. The window that asked stays as it is.
void OpenWithShell(const std::string& path);
