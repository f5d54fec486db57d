#pragma once
// The folder picker behind the output options window's "Browse" button.
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace options {

inline constexpr const char* kBrowseTitle = "Select Destination Path:";

// Shows a folder browser owned by pOwner, titled strTitle, offering file-system folders only.
// The chosen folder's path, or nothing when the user cancels.
using FolderBrowser = std::function<std::optional<std::string>(QWidget* pOwner, const std::string& strTitle)>;
std::optional<std::string> SHBrowseForFolder(QWidget* pOwner, const std::string& strTitle);

// The chosen folder with a trailing '/', or nothing when the user cancelled (then nothing is to
// change).
std::optional<std::string> BrowseForFolder(QWidget* pOwner, const FolderBrowser& browse = SHBrowseForFolder);

// The object name of the browser while it is open, so tests can find and answer it.
inline constexpr const char* kFolderBrowserObjectName = "SHBrowseForFolder";

} // namespace options
