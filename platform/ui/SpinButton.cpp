#include "platform/ui/SpinButton.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace platform {

CSpinButtonCtrl::CSpinButtonCtrl(QWidget* pParent)
    : QWidget(pParent), m_pUp(new QToolButton(this)), m_pDown(new QToolButton(this))
{
    m_pUp->setArrowType(Qt::UpArrow);
    m_pDown->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {m_pUp, m_pDown}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_pUp, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_pDown, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CSpinButtonCtrl::SetBuddy(QLineEdit* pBuddy)
{
    if (m_pBuddy)
        m_pBuddy->removeEventFilter(this);
    m_pBuddy = pBuddy;
    if (m_pBuddy)
        m_pBuddy->installEventFilter(this);
}

void CSpinButtonCtrl::SetRange(int nLower, int nUpper)
{
    m_nLower = nLower;
    m_nUpper = nUpper;
}

int CSpinButtonCtrl::SetPos(int nPos)
{
    int previous = m_nPos;
    m_nPos = nPos;
    return previous;
}

void CSpinButtonCtrl::Step(int nDelta)
{
    int pos = m_nPos;
    if (m_pBuddy) {
        bool ok = false;
        int typed = m_pBuddy->text().trimmed().toInt(&ok);
        if (ok)
            pos = typed;
    }
    pos = std::clamp(pos + nDelta, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper));
    m_nPos = pos;
    if (m_pBuddy)
        m_pBuddy->setText(QString::number(pos));
}

bool CSpinButtonCtrl::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_pBuddy && e->type() == QEvent::KeyPress && isEnabled()) {
        int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void CSpinButtonCtrl::resizeEvent(QResizeEvent*)
{
    int half = height() / 2;
    m_pUp->setGeometry(0, 0, width(), half);
    m_pDown->setGeometry(0, half, width(), height() - half);
}

} // namespace platform
