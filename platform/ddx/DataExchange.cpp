#include "platform/ddx/DataExchange.h"

#include "platform/ui/Dialog.h"
#include "platform/ui/MessageBox.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QValidator>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {
namespace {

std::string Format(std::string text, const std::string& p1, const std::string& p2 = {})
{
    if (auto at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, p1);
    if (auto at = text.find("%2"); at != std::string::npos)
        text.replace(at, 2, p2);
    return text;
}

[[noreturn]] void WrongControl(int nIDC, const char* expected)
{
    throw std::logic_error("control " + std::to_string(nIDC) + " is not " + expected);
}

template <class T>
T* ControlAs(CDataExchange* pDX, int nIDC, const char* expected)
{
    auto* control = qobject_cast<T*>(pDX->PrepareCtrl(nIDC));
    if (!control)
        WrongControl(nIDC, expected);
    return control;
}

QString ControlText(QWidget* w)
{
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        return plain->toPlainText();
    if (auto* rich = qobject_cast<QTextEdit*>(w))
        return rich->toPlainText();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentText();
    if (w->metaObject()->indexOfProperty("text") < 0)
        throw std::logic_error("control has no text");
    return w->property("text").toString();
}

void SetControlText(QWidget* w, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        plain->setPlainText(text);
    else if (auto* rich = qobject_cast<QTextEdit*>(w))
        rich->setPlainText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->isEditable())
        combo->setEditText(text);
    else if (w->metaObject()->indexOfProperty("text") >= 0)
        w->setProperty("text", text);
    else
        throw std::logic_error("control has no text");
}

// Accepts what the platform's integer boxes accept: blanks around an optionally signed decimal
// number that fits 32 bits.
bool ParseInt(const std::string& text, int& value)
{
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return false;
    std::size_t end = text.find_last_not_of(" \t") + 1;
    std::string digits = text.substr(begin, end - begin);
    std::size_t i = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
    if (i == digits.size() || digits.find_first_not_of("0123456789", i) != std::string::npos)
        return false;
    errno = 0;
    long long parsed = std::strtoll(digits.c_str(), nullptr, 10);
    if (errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

// The buttons of the radio group that starts at first, in their order.
std::vector<QAbstractButton*> RadioGroup(QRadioButton* first)
{
    if (QButtonGroup* group = first->group()) {
        auto buttons = group->buttons();
        return {buttons.begin(), buttons.end()};
    }
    std::vector<QAbstractButton*> buttons{first};
    QWidget* parent = first->parentWidget();
    if (!parent)
        return buttons;
    bool inGroup = false;
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || !widget->property("ctrlId").isValid())
            continue;
        if (widget == first) {
            inGroup = true;
            continue;
        }
        if (!inGroup)
            continue;
        auto* radio = qobject_cast<QRadioButton*>(widget);
        if (!radio || widget->property("group").toBool())
            break;
        buttons.push_back(radio);
    }
    return buttons;
}

// Sets a button's check state even where the group would refuse to clear its checked button.
void ForceChecked(QAbstractButton* button, bool checked)
{
    if (button->isChecked() == checked)
        return;
    QButtonGroup* group = button->group();
    bool groupExclusive = group && group->exclusive();
    bool autoExclusive = button->autoExclusive();
    if (groupExclusive)
        group->setExclusive(false);
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(autoExclusive);
    if (groupExclusive)
        group->setExclusive(true);
}

// Limits an edit box to a number of UTF-8 bytes, the unit the record stores and DDV_MaxChars
// counts: an edit that would make the text longer than that is refused. A text already longer
// (set from a record) may still shrink, never grow.
class CByteLimitValidator : public QValidator {
public:
    CByteLimitValidator(QObject* pParent, int nBytes, qsizetype nCurrentBytes)
        : QValidator(pParent), m_nBytes(nBytes), m_nLastBytes(nCurrentBytes)
    {
    }
    void Reset(int nBytes, qsizetype nCurrentBytes)
    {
        m_nBytes = nBytes;
        m_nLastBytes = nCurrentBytes;
    }
    State validate(QString& input, int&) const override
    {
        const qsizetype nBytes = input.toUtf8().size();
        if (nBytes > m_nBytes && nBytes > m_nLastBytes)
            return Invalid;
        m_nLastBytes = nBytes;
        return Acceptable;
    }

private:
    int m_nBytes;
    mutable qsizetype m_nLastBytes;
};

} // namespace

QWidget* CDataExchange::PrepareCtrl(int nIDC)
{
    QWidget* control = m_pDlgWnd->GetDlgItem(nIDC);
    if (!control)
        throw std::logic_error("window has no control " + std::to_string(nIDC));
    m_idLastControl = nIDC;
    m_pLastControl = control;
    return control;
}

void CDataExchange::Fail()
{
    if (m_pLastControl) {
        m_pLastControl->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(m_pLastControl))
            edit->selectAll();
    }
    throw CUserException();
}

BOOL RunDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate,
                     const std::function<void(CDataExchange*)>& doDataExchange)
{
    CDataExchange dx(pDlgWnd, bSaveAndValidate);
    try {
        doDataExchange(&dx);
    } catch (const CUserException&) {
        return FALSE;
    }
    return TRUE;
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value)
{
    QWidget* control = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate)
        value = ControlText(control).toStdString();
    else
        SetControlText(control, QString::fromStdString(value));
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value)
{
    QWidget* control = pDX->PrepareCtrl(nIDC);
    if (!pDX->m_bSaveAndValidate) {
        SetControlText(control, QString::number(value));
        return;
    }
    if (!ParseInt(ControlText(control).toStdString(), value)) {
        AfxMessageBox("Please enter an integer.", MB_OK | MB_ICONEXCLAMATION);
        pDX->Fail();
    }
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    auto* button = ControlAs<QAbstractButton>(pDX, nIDC, "a check box");
    auto* box = qobject_cast<QCheckBox*>(button);
    if (pDX->m_bSaveAndValidate) {
        if (box && box->checkState() == Qt::PartiallyChecked)
            value = 2;
        else
            value = button->isChecked() ? 1 : 0;
        return;
    }
    if (box && value == 2 && box->isTristate())
        box->setCheckState(Qt::PartiallyChecked);
    else
        button->setChecked(value != 0);
}

void DDX_Radio(CDataExchange* pDX, int nIDC, int& value)
{
    auto* first = ControlAs<QRadioButton>(pDX, nIDC, "a radio button");
    std::vector<QAbstractButton*> buttons = RadioGroup(first);
    if (pDX->m_bSaveAndValidate) {
        value = -1;
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i]->isChecked()) {
                value = static_cast<int>(i);
                break;
            }
        return;
    }
    for (std::size_t i = 0; i < buttons.size(); ++i)
        ForceChecked(buttons[i], static_cast<int>(i) == value);
}

void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& value)
{
    auto* combo = ControlAs<QComboBox>(pDX, nIDC, "a list");
    if (pDX->m_bSaveAndValidate)
        value = combo->currentIndex();
    else
        combo->setCurrentIndex(value >= 0 && value < combo->count() ? value : -1);
}

int FindStringPrefix(const QComboBox* pCombo, const std::string& text)
{
    // An empty name was never chosen (a fresh record): it takes the first entry ("Default" among
    // the inputs, the first compressor), not the second one the search below would find first.
    if (text.empty())
        return pCombo->count() > 0 ? 0 : -1;
    const QString prefix = QString::fromStdString(text);
    const int count = pCombo->count();
    for (int step = 1; step <= count; ++step) {
        int index = step % count;
        if (pCombo->itemText(index).startsWith(prefix, Qt::CaseInsensitive))
            return index;
    }
    return -1;
}

void DDX_CBString(CDataExchange* pDX, int nIDC, std::string& value)
{
    auto* combo = ControlAs<QComboBox>(pDX, nIDC, "a list");
    if (pDX->m_bSaveAndValidate) {
        if (combo->isEditable())
            value = combo->currentText().toStdString();
        else if (combo->currentIndex() >= 0)
            value = combo->itemText(combo->currentIndex()).toStdString();
        return;
    }
    int index = FindStringPrefix(combo, value);
    combo->setCurrentIndex(index);
    if (index < 0 && combo->isEditable())
        combo->setEditText(QString::fromStdString(value));
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal)
{
    if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal))
        return;
    AfxMessageBox(Format("Please enter an integer between %1 and %2.", std::to_string(minVal),
                         std::to_string(maxVal)),
                  MB_OK | MB_ICONEXCLAMATION);
    pDX->Fail();
}

void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int nChars)
{
    if (!pDX->m_bSaveAndValidate) {
        if (auto* edit = qobject_cast<QLineEdit*>(pDX->m_pLastControl)) {
            const qsizetype nCurrent = edit->text().toUtf8().size();
            auto* limit = const_cast<CByteLimitValidator*>(dynamic_cast<const CByteLimitValidator*>(edit->validator()));
            if (limit)
                limit->Reset(nChars, nCurrent);
            else
                edit->setValidator(new CByteLimitValidator(edit, nChars, nCurrent));
        }
        return;
    }
    if (value.size() <= static_cast<std::size_t>(nChars))
        return;
    AfxMessageBox(Format("Please enter no more than %1 characters.", std::to_string(nChars)),
                  MB_OK | MB_ICONEXCLAMATION);
    pDX->Fail();
}

} // namespace platform
