#include "app/AboutDlg.h"

#include "app/Resource.h"

#include <QIcon>
#include <QLabel>

using namespace platform;

CAboutDlg::CAboutDlg(QWidget* pParent) : CDialog(IDD_ABOUTBOX, pParent)
{
    InitAppResources();
    SetDialogSize(170, 62);
    auto* icon = new QLabel;
    icon->setPixmap(QIcon(kAppIconPath).pixmap(MapDialogRect({0, 0, 21, 20}).size()));
    AddControl(IDC_ABOUT_ICON, icon, {14, 14, 21, 20});
    AddStatic(IDC_ABOUT_VERSION, QString::fromStdString("Version: " + LoadString(IDS_VERSION)), {42, 18, 114, 8});
    AddButton(IDOK, "OK", {113, 41, 50, 14}, BS_DEFPUSHBUTTON);
}

BOOL CAboutDlg::OnInitDialog()
{
    setWindowTitle("Tavrelin");
    setWindowIcon(QIcon(kAppIconPath));
    return TRUE;
}
