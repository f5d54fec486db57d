#pragma once
// A list box: single selection, optionally sorted the platform's way (case-insensitive, equal
// strings kept, a new one after those already there), with a fixed horizontal extent so long
// entries can be scrolled sideways.
#include <QListWidget>

namespace platform {

constexpr int LB_ERR = -1;

class CListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CListBox(bool bSorted, QWidget* pParent = nullptr);

    // Returns the index the string was placed at.
    int AddString(const QString& text);
    // Removes entry nIndex; returns the count left, or LB_ERR for a bad index.
    int DeleteString(int nIndex);
    void ResetContent();
    int GetCount() const { return count(); }
    QString GetText(int nIndex) const;
    // The selected entry, or LB_ERR when none is selected.
    int GetCurSel() const;
    int SetCurSel(int nIndex);
    void SetHorizontalExtent(int cxExtent);
    int GetHorizontalExtent() const { return m_cxExtent; }

protected:
    void updateGeometries() override;

private:
    bool m_bSorted;
    int m_cxExtent = 0;
};

} // namespace platform
