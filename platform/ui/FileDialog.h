#pragma once
// The file-open and file-save dialog. Filters are given the platform's way,
// "Name|*.a;*.b|Other|*.c|", and shown by name.
#include "platform/base/WinTypes.h"

#include <QStringList>

#include <string>
#include <vector>

class QWidget;

namespace platform {

constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_ALLOWMULTISELECT = 0x00000200;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_EXPLORER = 0x00080000;

// "Name|*.a;*.b|..." -> {"Name (*.a *.b)", ...}. A last pair without its closing '|' still
// counts; a name without patterns is dropped.
QStringList TranslateFileFilter(const std::string& filter);

class CFileDialog {
public:
    CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt, const char* lpszFileName, DWORD dwFlags,
                const char* lpszFilter, QWidget* pParentWnd);

    // IDOK when the user chose, IDCANCEL otherwise.
    INT_PTR DoModal();
    // Every chosen full path, in the order the dialog returns them.
    const std::vector<std::string>& GetPathNames() const { return m_paths; }
    std::string GetPathName() const { return m_paths.empty() ? std::string() : m_paths.front(); }

    // The object name of the dialog while it is open, so tests can find and answer it.
    static constexpr const char* kObjectName = "CFileDialog";

private:
    BOOL m_bOpen;
    std::string m_strDefExt;
    std::string m_strFileName;
    DWORD m_dwFlags;
    std::string m_strFilter;
    QWidget* m_pParent;
    std::vector<std::string> m_paths;
};

} // namespace platform
