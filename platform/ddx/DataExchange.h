#pragma once
// Data exchange between a window's record fields and its controls, and the validators, in the
// platform's form: a window lists its fields once in DoDataExchange, in its fixed order, and the
// same list fills the controls (bSaveAndValidate false) or reads and checks them (true).
//
// A validation failure shows its message, gives the focus to the control concerned and ends the
// exchange with CUserException; RunDataExchange turns that into FALSE, so the window stays open.
// A control id that the window does not have, or a control of the wrong kind, is a programming
// error and throws std::logic_error.
#include "platform/base/WinTypes.h"

#include <functional>
#include <stdexcept>
#include <string>

class QComboBox;
class QWidget;

namespace platform {

class CDialog;

// Ends an exchange after its message has been shown.
class CUserException : public std::exception {
public:
    const char* what() const noexcept override { return "data exchange stopped by validation"; }
};

class CDataExchange {
public:
    CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    // The control nIDC, remembered as the one a following validator refers to.
    QWidget* PrepareCtrl(int nIDC);
    // Focus to the last prepared control (its text selected), then CUserException.
    [[noreturn]] void Fail();

    BOOL m_bSaveAndValidate;
    CDialog* m_pDlgWnd;
    int m_idLastControl = 0;
    QWidget* m_pLastControl = nullptr;
};

// Runs doDataExchange; FALSE when a validator stopped it.
BOOL RunDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate,
                     const std::function<void(CDataExchange*)>& doDataExchange);

// Text of an edit box, a static or any control with a text.
void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value);
// An integer in an edit box; on reading, text that is not a 32-bit integer gives
// "Please enter an integer.".
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
// A check box: 0 unchecked, 1 checked, 2 indeterminate.
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// A radio group starting at nIDC: the index of the checked button, -1 for none. The group is the
// button's QButtonGroup when it has one, else nIDC and the radio buttons that follow it among
// the window's controls, up to the first other control or one with the property "group" set.
void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
// The selected index of a list, -1 for none; an index the list does not have selects nothing.
void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& value);
// The text of a list's selected entry. Setting selects the first entry that begins with the text,
// ignoring case, searching from the second entry to the end and then the first; with no match
// nothing is selected. An empty text selects the first entry. Reading with nothing selected leaves value as it was.
void DDX_CBString(CDataExchange* pDX, int nIDC, std::string& value);

// "Please enter an integer between %1 and %2."
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
// "Please enter no more than %1 characters." Lengths count bytes (UTF-8, as stored). On filling,
// the edit box of the last control refuses edits beyond nChars bytes; a text already longer may
// shrink but not grow.
void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int nChars);

// The entry DDX_CBString selects for text, or -1: the search the name lists use.
int FindStringPrefix(const QComboBox* pCombo, const std::string& text);

} // namespace platform
