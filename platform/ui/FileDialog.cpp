#include "platform/ui/FileDialog.h"

#include "platform/ui/MessageBox.h"

#include <QFileDialog>

namespace platform {

QStringList TranslateFileFilter(const std::string& filter)
{
    QStringList parts = QString::fromStdString(filter).split('|');
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& name = parts[i];
        QString patterns = parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ');
        if (name.isEmpty() || patterns.isEmpty())
            continue;
        result << QStringLiteral("%1 (%2)").arg(name, patterns);
    }
    return result;
}

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt, const char* lpszFileName, DWORD dwFlags,
                         const char* lpszFilter, QWidget* pParentWnd)
    : m_bOpen(bOpenFileDialog), m_strDefExt(lpszDefExt ? lpszDefExt : ""),
      m_strFileName(lpszFileName ? lpszFileName : ""), m_dwFlags(dwFlags),
      m_strFilter(lpszFilter ? lpszFilter : ""), m_pParent(pParentWnd)
{
}

INT_PTR CFileDialog::DoModal()
{
    QFileDialog dialog(m_pParent);
    dialog.setObjectName(kObjectName);
    // Qt's own dialog: the same on every desktop, and one that tests can drive.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(m_bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (m_bOpen)
        dialog.setFileMode((m_dwFlags & OFN_ALLOWMULTISELECT) ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    else
        dialog.setFileMode(QFileDialog::AnyFile);
    if (!(m_dwFlags & OFN_OVERWRITEPROMPT))
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!m_strDefExt.empty())
        dialog.setDefaultSuffix(QString::fromStdString(m_strDefExt));
    if (!m_strFileName.empty())
        dialog.selectFile(QString::fromStdString(m_strFileName));
    QStringList filters = TranslateFileFilter(m_strFilter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);

    m_paths.clear();
    if (dialog.exec() != QDialog::Accepted)
        return IDCANCEL;
    for (const QString& file : dialog.selectedFiles())
        m_paths.push_back(file.toStdString());
    return m_paths.empty() ? IDCANCEL : IDOK;
}

} // namespace platform
