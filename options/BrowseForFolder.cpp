#include "options/BrowseForFolder.h"

#include <QDir>
#include <QFileDialog>

namespace options {

std::optional<std::string> SHBrowseForFolder(QWidget* pOwner, const std::string& strTitle)
{
    QFileDialog dialog(pOwner, QString::fromStdString(strTitle), QDir::rootPath());
    dialog.setObjectName(kFolderBrowserObjectName);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return std::nullopt;
    return QDir::cleanPath(chosen.front()).toStdString();
}

std::optional<std::string> BrowseForFolder(QWidget* pOwner, const FolderBrowser& browse)
{
    std::optional<std::string> path = browse(pOwner, kBrowseTitle);
    if (!path || path->empty())
        return std::nullopt;
    if (path->back() != '/')
        *path += '/';
    return path;
}

} // namespace options
