#pragma once
// The About window: the program's icon, title and version.
#include "platform/ui/Dialog.h"

class CAboutDlg : public platform::CDialog {
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);

protected:
    BOOL OnInitDialog() override;
};
