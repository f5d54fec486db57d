#include "platform/ui/ListBox.h"

#include "platform/ui/SortedInsert.h"

#include <QScrollBar>

namespace platform {

CListBox::CListBox(bool bSorted, QWidget* pParent) : QListWidget(pParent), m_bSorted(bSorted)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

int CListBox::AddString(const QString& text)
{
    int pos = count();
    if (m_bSorted)
        pos = SortedInsertPosition(count(), [this](int i) { return item(i)->text(); }, text);
    insertItem(pos, text);
    return pos;
}

int CListBox::DeleteString(int nIndex)
{
    if (nIndex < 0 || nIndex >= count())
        return LB_ERR;
    delete takeItem(nIndex);
    return count();
}

void CListBox::ResetContent()
{
    clear();
}

QString CListBox::GetText(int nIndex) const
{
    const QListWidgetItem* it = item(nIndex);
    return it ? it->text() : QString();
}

int CListBox::GetCurSel() const
{
    const auto selected = selectedItems();
    return selected.isEmpty() ? LB_ERR : row(selected.first());
}

int CListBox::SetCurSel(int nIndex)
{
    if (nIndex < 0 || nIndex >= count()) {
        clearSelection();
        return LB_ERR;
    }
    setCurrentRow(nIndex);
    return nIndex;
}

void CListBox::SetHorizontalExtent(int cxExtent)
{
    m_cxExtent = cxExtent;
    updateGeometries();
}

void CListBox::updateGeometries()
{
    QListWidget::updateGeometries();
    // The scrollable width is the extent, however narrow the entries are.
    int range = m_cxExtent - viewport()->width();
    if (m_cxExtent > 0 && range > horizontalScrollBar()->maximum()) {
        horizontalScrollBar()->setRange(0, range);
        horizontalScrollBar()->setPageStep(viewport()->width());
    }
    // The view decides "as needed" from its entries alone; the extent counts too.
    auto policy = range > 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
    if (m_cxExtent > 0 && horizontalScrollBarPolicy() != policy)
        setHorizontalScrollBarPolicy(policy);
}

} // namespace platform
