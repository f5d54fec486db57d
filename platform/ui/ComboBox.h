#pragma once
// A drop-down list combo box the platform's way: entries kept in the order added (or, sorted,
// where the platform's sorted lists put them), each with one pointer-sized item data value,
// exact and prefix searches that ignore case.
#include <QComboBox>

#include <cstdint>

namespace platform {

constexpr int CB_ERR = -1;

class CComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CComboBox(QWidget* pParent = nullptr, bool bSorted = false);

    int AddString(const QString& text);                // the new index (its sorted place)
    int InsertString(int nIndex, const QString& text);  // -1 appends; CB_ERR for a bad index
    int DeleteString(int nIndex);                       // the count left, or CB_ERR
    void ResetContent();
    int GetCount() const { return count(); }
    QString GetLBText(int nIndex) const;
    int GetCurSel() const { return currentIndex(); }  // CB_ERR when none
    int SetCurSel(int nIndex);                        // CB_ERR (and no selection) for a bad index
    // Searches after nStartAfter (-1: from the top), wrapping round; CB_ERR when nothing matches.
    int FindStringExact(int nStartAfter, const QString& text) const;
    int FindString(int nStartAfter, const QString& prefix) const;
    // Selects the first entry that begins with the prefix; its index or CB_ERR (selection kept).
    int SelectString(int nStartAfter, const QString& prefix);
    int SetItemData(int nIndex, std::uintptr_t data);
    std::uintptr_t GetItemData(int nIndex) const;  // 0 for a bad index

private:
    bool m_bSorted;
    template <typename Match>
    int Find(int nStartAfter, Match match) const;
};

} // namespace platform
