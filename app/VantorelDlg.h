#pragma once
// The main window: the list of presentations to record and the commands that start a
// conversion. The program runs as long as this window's modal loop.
#include "platform/ui/Dialog.h"
#include "recording/RecordDlg.h"

#include <string>
#include <vector>

namespace platform {
class CListBox;
}
class CVantorelDlgAutoProxy;

class CVantorelDlg : public platform::CDialog, public recording::IRecordingOwner {
public:
    explicit CVantorelDlg(QWidget* pParent = nullptr);
    ~CVantorelDlg() override;

    // The presentations, in list order (sorted, duplicates kept).
    std::vector<std::string> GetPresentationList() const override;
    // The program folder with a trailing '/', known once the window has started.
    const std::string& GetProgramFolder() const override { return m_strAppPath; }
    platform::CListBox& GetPresentationListBox() const { return *m_pList; }

    void OnSysCommand(UINT nID) override;

    // Adds the paths to the list, where its order puts them.
    void AddPresentations(const std::vector<std::string>& paths);
    // Files from the command line or dropped onto the list: the presentations join the list,
    // anything else is named in a message shown once the current event is done.
    void OfferFiles(const std::vector<std::string>& names);

    // Linked by an automation proxy while a client holds one.
    CVantorelDlgAutoProxy* m_pAutoProxy = nullptr;

    static constexpr const char* kAddFilter =
        "PowerPoint document(*.ppt,*.pps)|*.ppt;*.pps|"
        "Presentations(*.ppt,*.pps,*.pptx,*.odp)|*.ppt;*.pps;*.pptx;*.odp|"
        "All Files (*.*)|*.*|";

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void OnAddFiles();
    void OnDelete();
    void OnClear();
    void OnHelp();
    void OnAbout();
    // The conversion sequence; the two commands differ only in the burn flag.
    virtual void DoConversion(BOOL bBurnMode);

private:
    // False, and the window only hides, while an automation client is linked.
    bool CanExit();

    std::string m_strAppDir;   // program folder without separator
    std::string m_strAppPath;  // program folder with separator
    platform::CListBox* m_pList = nullptr;
};
