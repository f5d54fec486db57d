#pragma once
// A static text that behaves like a web link: link, visited and hover colours, an underline that
// follows the mouse, a pointing-hand cursor, a tooltip with the target, and a click that opens
// the target through GotoUrl.
#include "options/HyperlinkShell.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QTimer>

#include <memory>
#include <string>

namespace options {

class CLinkLabel : public QLabel {
    Q_OBJECT
public:
    static constexpr int kUnderlineHover = -1;
    static constexpr int kUnderlineNever = 0;
    static constexpr int kUnderlineAlways = 1;
    static constexpr int kHoverTimerMs = 100;

    explicit CLinkLabel(QWidget* pParent = nullptr);
    ~CLinkLabel() override;

    // The set-up at the window's start: clicks reported, URL and text completed from each other,
    // fonts made, size adjusted, cursor and tooltip installed.
    void Attach();
    bool IsAttached() const { return m_bAttached; }

    void SetUrl(const std::string& strUrl);
    const std::string& GetUrl() const { return m_strUrl; }
    void SetColours(const QColor& crLink, const QColor& crVisited, const QColor& crHover);
    void SetVisited(bool bVisited);
    bool GetVisited() const { return m_bVisited; }
    void SetUnderline(int nUnderline);
    int GetUnderline() const { return m_nUnderline; }
    void SetAutoSize(bool bAutoSize);
    bool IsHovering() const { return m_bOverControl; }

    // The colour the text is drawn in now.
    QColor TextColour() const;
    // Replaces the desktop (tests).
    void SetHyperlinkShell(std::unique_ptr<IHyperlinkShell> shell) { m_pShell = std::move(shell); }

    // What a click does; also callable directly.
    void OnClicked();

protected:
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void OnHoverTimer();
    void PositionWindow();
    void ApplyLook();

    QColor m_crLinkColour{0, 0, 238};
    QColor m_crVisitedColour{85, 26, 139};
    QColor m_crHoverColour{255, 0, 0};
    bool m_bOverControl = false;
    bool m_bVisited = false;
    int m_nUnderline = kUnderlineHover;
    bool m_bAdjustToFit = true;
    std::string m_strUrl;
    QFont m_UnderlineFont;
    QFont m_StdFont;
    QTimer m_hoverTimer;
    std::unique_ptr<IHyperlinkShell> m_pShell;
    bool m_bAttached = false;
};

} // namespace options
