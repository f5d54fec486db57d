#pragma once
// The one message box function of the program. Flags and results keep the platform's values.
// Tests install a handler that records each box and answers it; without one a QMessageBox is
// shown (on the window thread, whichever thread asks).
#include "platform/base/WinTypes.h"

#include <functional>
#include <string>

namespace platform {

constexpr UINT MB_OK = 0x00;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONERROR = MB_ICONSTOP;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_TYPEMASK = 0x0F;
constexpr UINT MB_ICONMASK = 0xF0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct MessageBoxRequest {
    HWND owner = 0;
    std::string text;
    std::string caption;
    UINT type = MB_OK;
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Installs handler (empty = the real box) and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// A null caption is the platform's default, "Error". Returns IDOK, IDYES or IDNO.
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);

// The application's message box: caption = the application name (see SetAppName).
int AfxMessageBox(const std::string& text, UINT type = MB_OK | MB_ICONEXCLAMATION);
void SetAppName(const std::string& name);
const std::string& GetAppName();

} // namespace platform
