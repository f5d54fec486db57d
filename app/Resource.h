#pragma once
// The program's resource ids and string table.
#include <string>

// Dialogs
constexpr unsigned IDD_ABOUTBOX = 100;
constexpr unsigned IDD_VANTOREL_DIALOG = 102;
// Icons
constexpr unsigned IDR_MAINFRAME = 128;
// Strings
constexpr unsigned IDS_ABOUTBOX = 101;
constexpr unsigned IDS_VERSION = 102;
// System menu commands (the platform keeps ids 16 to 31 for the program's own items)
constexpr unsigned IDM_ABOUTBOX = 0x0010;

// Controls of the main window
constexpr int IDC_BTN_CONVERT = 1008;
constexpr int IDC_BTN_ADD = 1010;
constexpr int IDC_LIST_PPT = 1011;
constexpr int IDC_BTN_DELETE = 1012;
constexpr int IDC_BTN_CLEAR = 1013;
constexpr int IDC_BTN_HELP = 1014;
constexpr int IDC_BTN_ABOUT = 1015;
constexpr int IDC_BTN_CONVERT_BURN = 1018;
// Controls of the About window
constexpr int IDC_ABOUT_ICON = 1001;
constexpr int IDC_ABOUT_VERSION = 1002;

// Controls that nothing refers to
constexpr int IDC_STATIC = -1;

// The string table; an unknown id gives an empty string.
std::string LoadString(unsigned nID);
// Makes the program's images available (they live in a static library).
void InitAppResources();
// The application icon (resource IDR_MAINFRAME) as a Qt resource path.
constexpr const char* kAppIconPath = ":/vantorel/vantorel-256.png";
