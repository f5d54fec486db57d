#include "app/VantorelDlg.h"

#include "app/AboutDlg.h"
#include "app/PresentationFiles.h"
#include "app/RecordingRepairOffer.h"
#include "app/Resource.h"
#include "app/VantorelDlgAutoProxy.h"
#include "options/VideoOptionsDlg.h"
#include "platform/shell/Places.h"
#include "platform/shell/ShellExecute.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/ListBox.h"

#include <QIcon>
#include <QPushButton>
#include <QTimer>

using namespace platform;

CVantorelDlg::CVantorelDlg(QWidget* pParent) : CDialog(IDD_VANTOREL_DIALOG, pParent)
{
    InitAppResources();
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    SetDialogSize(263, 226);

    m_pList = new CListBox(true);
    AddControl(IDC_LIST_PPT, m_pList, {7, 7, 172, 190});
    AddButton(IDC_BTN_ADD, "&Add PPT Files", {186, 7, 70, 16});
    AddButton(IDC_BTN_DELETE, "&Delete", {186, 28, 70, 16});
    AddButton(IDC_BTN_CLEAR, "&Clear", {186, 49, 70, 16});
    AddButton(IDC_BTN_CONVERT, "Convert to &Video", {186, 84, 70, 16}, BS_DEFPUSHBUTTON);
    AddButton(IDC_BTN_CONVERT_BURN, "C&onvert to Video && Burn to DVD", {186, 105, 70, 28}, BS_MULTILINE);
    AddEtchedLine(IDC_STATIC, {7, 203, 249, 1});
    AddButton(IDC_BTN_HELP, "&Help", {7, 208, 50, 14});
    AddButton(IDC_BTN_ABOUT, "A&bout", {206, 208, 50, 14});

    new CFileDropTarget(m_pList, [this](const std::vector<std::string>& names) { OfferFiles(names); });

    MapCommand(IDC_BTN_ADD, [this] { OnAddFiles(); });
    MapCommand(IDC_BTN_DELETE, [this] { OnDelete(); });
    MapCommand(IDC_BTN_CLEAR, [this] { OnClear(); });
    MapCommand(IDC_BTN_CONVERT, [this] { DoConversion(FALSE); });
    MapCommand(IDC_BTN_CONVERT_BURN, [this] { DoConversion(TRUE); });
    MapCommand(IDC_BTN_HELP, [this] { OnHelp(); });
    MapCommand(IDC_BTN_ABOUT, [this] { OnAbout(); });

    // The folder of the program file, cut before its last separator.
    std::string module = GetModuleFileName();
    auto slash = module.rfind('/');
    m_strAppDir = slash == std::string::npos ? std::string() : module.substr(0, slash);
    // Window skinning has no counterpart here; the window looks and works the same without it.
}

CVantorelDlg::~CVantorelDlg()
{
    // A proxy that outlives the window must not point at it.
    if (m_pAutoProxy)
        m_pAutoProxy->m_pDialog = nullptr;
}

BOOL CVantorelDlg::OnInitDialog()
{
    if (std::string about = LoadString(IDS_ABOUTBOX); !about.empty()) {
        GetSystemMenu().AppendSeparator();
        GetSystemMenu().AppendMenu(IDM_ABOUTBOX, QString::fromStdString(about));
    }
    setWindowIcon(QIcon(kAppIconPath));
    setWindowTitle("Tavrelin");
    m_pList->SetHorizontalExtent(700);
    m_strAppPath = platform::GetProgramFolder();
    for (int id : {IDC_BTN_ADD, IDC_BTN_DELETE, IDC_BTN_CLEAR, IDC_BTN_CONVERT, IDC_BTN_CONVERT_BURN})
        GetDlgItem(id)->show();
    return TRUE;
}

std::vector<std::string> CVantorelDlg::GetPresentationList() const
{
    std::vector<std::string> files;
    for (int i = 0; i < m_pList->GetCount(); ++i)
        files.push_back(m_pList->GetText(i).toStdString());
    return files;
}

void CVantorelDlg::AddPresentations(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        m_pList->AddString(QString::fromStdString(path));
}

void CVantorelDlg::OfferFiles(const std::vector<std::string>& names)
{
    PresentationChoice choice = ChoosePresentations(names);
    AddPresentations(choice.accepted);
    // Not inside the drop itself: the drag source waits for the drop to end.
    if (!choice.refused.empty())
        QTimer::singleShot(0, this, [text = RefusalMessage(choice.refused)] { AfxMessageBox(text); });
}

void CVantorelDlg::OnSysCommand(UINT nID)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
        OnAbout();
    else
        CDialog::OnSysCommand(nID);
}

void CVantorelDlg::OnAddFiles()
{
    CFileDialog dlg(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_EXPLORER, kAddFilter, this);
    if (dlg.DoModal() == IDOK)
        AddPresentations(dlg.GetPathNames());
}

void CVantorelDlg::OnDelete()
{
    int nSel = m_pList->GetCurSel();
    if (nSel == LB_ERR) {
        AfxMessageBox("No file selected!");
        return;
    }
    m_pList->DeleteString(nSel);
    // The list would move the selection to a neighbour; a second click must not delete an entry
    // the user never chose.
    m_pList->SetCurSel(LB_ERR);
}

void CVantorelDlg::OnClear()
{
    m_pList->ResetContent();
}

void CVantorelDlg::OnHelp()
{
    // The shell shows nothing when it cannot open the page (missing, or nothing to show it
    // with): the window says so.
    const intptr_t result = ShellExecute("open", m_strAppPath + "help.html");
    if (result <= 32)
        AfxMessageBox("Unable to open the help page:\n\n" + ShellErrorText(result));
}

void CVantorelDlg::OnAbout()
{
    CAboutDlg dlg(this);
    dlg.DoModal();
}

void CVantorelDlg::DoConversion(BOOL bBurnMode)
{
    if (m_pList->GetCount() == 0) {
        AfxMessageBox("Please add powerpoint file first! ");
        return;
    }
    options::CVideoOptionsDlg dlgOptions(this);
    dlgOptions.m_bBurnMode = bBurnMode;
    if (dlgOptions.DoModal() != IDOK)
        return;
    // The output folder is known now: what a crash left unfinished there is offered for repair.
    OfferRecordingRepair(this, dlgOptions.m_strOutputPath);
    recording::CRecordDlg dlgRecord(this);
    dlgRecord.m_pVideoOptionsDlg = &dlgOptions;
    dlgRecord.m_pMainDlg = this;
    dlgRecord.DoModal();
}

bool CVantorelDlg::CanExit()
{
    if (m_pAutoProxy) {
        hide();
        return false;
    }
    return true;
}

void CVantorelDlg::OnOK()
{
    if (CanExit())
        CDialog::OnOK();
}

void CVantorelDlg::OnCancel()
{
    if (CanExit())
        CDialog::OnCancel();
}
