#include "options/LinkLabel.h"

#include "options/GotoUrl.h"
#include "platform/ui/MessageBox.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QMouseEvent>

namespace options {

CLinkLabel::CLinkLabel(QWidget* pParent)
    : QLabel(pParent), m_pShell(std::make_unique<CDesktopHyperlinkShell>())
{
    m_hoverTimer.setInterval(kHoverTimerMs);
    connect(&m_hoverTimer, &QTimer::timeout, this, [this] { OnHoverTimer(); });
}

CLinkLabel::~CLinkLabel() = default;

void CLinkLabel::Attach()
{
    // Mouse moves are reported without a button held, so hovering can be seen.
    setMouseTracking(true);
    if (m_strUrl.empty())
        m_strUrl = text().toStdString();
    if (text().isEmpty())
        setText(QString::fromStdString(m_strUrl));

    m_StdFont = font();
    m_UnderlineFont = m_StdFont;
    m_UnderlineFont.setUnderline(true);
    m_bAttached = true;

    // The erased background is the button face, the text transparent on it.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);

    PositionWindow();
    setCursor(Qt::PointingHandCursor);
    setToolTip(QString::fromStdString(m_strUrl));
    ApplyLook();
}

void CLinkLabel::SetUrl(const std::string& strUrl)
{
    m_strUrl = strUrl;
    if (m_bAttached) {
        PositionWindow();
        setToolTip(QString::fromStdString(m_strUrl));
    }
}

void CLinkLabel::SetColours(const QColor& crLink, const QColor& crVisited, const QColor& crHover)
{
    m_crLinkColour = crLink;
    m_crVisitedColour = crVisited;
    if (crHover.isValid())
        m_crHoverColour = crHover;
    ApplyLook();
}

void CLinkLabel::SetVisited(bool bVisited)
{
    m_bVisited = bVisited;
    ApplyLook();
}

void CLinkLabel::SetUnderline(int nUnderline)
{
    if (nUnderline == m_nUnderline)
        return;
    m_nUnderline = nUnderline;
    if (m_bAttached) {
        setFont(m_nUnderline == kUnderlineAlways ? m_UnderlineFont : m_StdFont);
        update();
    }
}

void CLinkLabel::SetAutoSize(bool bAutoSize)
{
    m_bAdjustToFit = bAutoSize;
    if (m_bAttached)
        PositionWindow();
}

QColor CLinkLabel::TextColour() const
{
    if (m_bOverControl)
        return m_crHoverColour;
    return m_bVisited ? m_crVisitedColour : m_crLinkColour;
}

void CLinkLabel::ApplyLook()
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, TextColour());
    setPalette(pal);
    if (m_bAttached && m_nUnderline == kUnderlineAlways)
        setFont(m_UnderlineFont);
    update();
}

void CLinkLabel::OnClicked()
{
    m_bOverControl = false;
    INT_PTR result = GotoUrl(m_strUrl, SW_SHOW, *m_pShell);
    if (result > 32) {
        SetVisited(true);
        return;
    }
    ApplyLook();
    QApplication::beep();
    platform::AfxMessageBox(HyperlinkErrorText(result), platform::MB_OK | platform::MB_ICONWARNING);
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_bOverControl) {
        m_bOverControl = true;
        if (m_nUnderline == kUnderlineHover)
            setFont(m_UnderlineFont);
        ApplyLook();
        m_hoverTimer.start();
    }
    QLabel::mouseMoveEvent(e);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        OnClicked();
    QLabel::mouseReleaseEvent(e);
}

void CLinkLabel::OnHoverTimer()
{
    if (rect().contains(mapFromGlobal(QCursor::pos())))
        return;
    m_bOverControl = false;
    m_hoverTimer.stop();
    if (m_nUnderline != kUnderlineAlways)
        setFont(m_StdFont);
    ApplyLook();
}

void CLinkLabel::PositionWindow()
{
    if (!m_bAdjustToFit || !m_bAttached)
        return;
    const QRect old = geometry();
    const QSize textSize = QFontMetrics(m_UnderlineFont).size(Qt::TextSingleLine, text());
    const int width = textSize.width() + (old.width() - contentsRect().width());
    const int height = textSize.height() + (old.height() - contentsRect().height());

    int left = old.left();
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignHCenter)
        left = old.left() + (old.width() - width) / 2;
    else if (align & Qt::AlignRight)
        left = old.right() + 1 - width;
    int top = old.top();
    if (align & Qt::AlignVCenter)
        top = old.top() + (old.height() - height) / 2;
    setGeometry(left, top, width, height);
}

} // namespace options
