#include "platform/ui/ComboBox.h"

#include "platform/ui/SortedInsert.h"

namespace platform {

namespace {
constexpr int kItemDataRole = Qt::UserRole + 1;
}

CComboBox::CComboBox(QWidget* pParent, bool bSorted) : QComboBox(pParent), m_bSorted(bSorted)
{
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
}

int CComboBox::AddString(const QString& text)
{
    int pos = count();
    if (m_bSorted)
        pos = SortedInsertPosition(count(), [this](int i) { return itemText(i); }, text);
    insertItem(pos, text);
    return pos;
}

int CComboBox::InsertString(int nIndex, const QString& text)
{
    if (nIndex == -1)
        return AddString(text);
    if (nIndex < 0 || nIndex > count())
        return CB_ERR;
    insertItem(nIndex, text);
    return nIndex;
}

int CComboBox::DeleteString(int nIndex)
{
    if (nIndex < 0 || nIndex >= count())
        return CB_ERR;
    removeItem(nIndex);
    return count();
}

void CComboBox::ResetContent()
{
    clear();
}

QString CComboBox::GetLBText(int nIndex) const
{
    return nIndex >= 0 && nIndex < count() ? itemText(nIndex) : QString();
}

int CComboBox::SetCurSel(int nIndex)
{
    if (nIndex < 0 || nIndex >= count()) {
        setCurrentIndex(-1);
        return CB_ERR;
    }
    setCurrentIndex(nIndex);
    return nIndex;
}

template <typename Match>
int CComboBox::Find(int nStartAfter, Match match) const
{
    const int n = count();
    if (n == 0)
        return CB_ERR;
    const int first = nStartAfter < 0 || nStartAfter >= n ? 0 : nStartAfter + 1;
    for (int k = 0; k < n; ++k) {
        const int i = (first + k) % n;
        if (match(itemText(i)))
            return i;
    }
    return CB_ERR;
}

int CComboBox::FindStringExact(int nStartAfter, const QString& text) const
{
    return Find(nStartAfter, [&](const QString& item) { return item.compare(text, Qt::CaseInsensitive) == 0; });
}

int CComboBox::FindString(int nStartAfter, const QString& prefix) const
{
    return Find(nStartAfter, [&](const QString& item) { return item.startsWith(prefix, Qt::CaseInsensitive); });
}

int CComboBox::SelectString(int nStartAfter, const QString& prefix)
{
    const int i = FindString(nStartAfter, prefix);
    if (i != CB_ERR)
        setCurrentIndex(i);
    return i;
}

int CComboBox::SetItemData(int nIndex, std::uintptr_t data)
{
    if (nIndex < 0 || nIndex >= count())
        return CB_ERR;
    setItemData(nIndex, QVariant::fromValue<qulonglong>(data), kItemDataRole);
    return 0;
}

std::uintptr_t CComboBox::GetItemData(int nIndex) const
{
    if (nIndex < 0 || nIndex >= count())
        return 0;
    return static_cast<std::uintptr_t>(itemData(nIndex, kItemDataRole).toULongLong());
}

} // namespace platform
