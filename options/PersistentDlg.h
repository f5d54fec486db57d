#pragma once
// The base of every option window: its record lives in one option file, read when the window
// opens and written on OK. A derived window lists its persisted fields once in SerializeOptions
// (file order) and its controls once in DoDataExchange (exchange order).
//
// Recipe: class CMyDlg : public CPersistentDlg, public CMyRecord {
//     void SerializeOptions(COptionArchive& ar) override { CMyRecord::SerializeOptions(ar); }
//     void DoDataExchange(platform::CDataExchange* pDX) override { DDX_...; }
// };
#include "options/OptionFile.h"
#include "platform/ddx/DataExchange.h"
#include "platform/ui/Dialog.h"

#include <string>

namespace options {

class CPersistentDlg : public platform::CDialog {
    Q_OBJECT
public:
    // The file's path is fixed here, from the config folder and strFileName.
    CPersistentDlg(UINT nIDTemplate, const std::string& strFileName, QWidget* pParent = nullptr);

    // Reads the record from the file; FALSE (record unchanged) when it cannot be opened. A file
    // that ends early keeps what was read and shows the end-of-file message; the window goes on.
    // With bRefresh the controls show the record afterwards.
    BOOL LoadOptions(BOOL bRefresh);
    // Writes the record, taking the controls into it first (a validation message does not stop
    // the save). FALSE, with the controls not read, when the file cannot be written.
    BOOL SaveOptions();

    const std::string& GetOptionPath() const { return m_file.Path(); }

    // Controls to record (TRUE, with validation) or record to controls (FALSE).
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

protected:
    virtual void SerializeOptions(COptionArchive& ar) = 0;
    virtual void DoDataExchange(platform::CDataExchange* pDX) { (void)pDX; }

    // Standard set-up, then the record from the file into the controls.
    BOOL OnInitDialog() override;
    // SaveOptions, then the standard OK.
    void OnOK() override;

    // The standard set-up alone: the controls show the record as it is.
    BOOL StandardInitDialog();
    // The standard OK: validate, and close with OK when that passes.
    void StandardOK();

private:
    COptionFile m_file;
    bool m_bSaveValidationFailed = false;
};

} // namespace options
