#include "platform/ui/Dialog.h"

#include "platform/ui/WindowMessages.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimerEvent>

namespace platform {
namespace {

QEvent::Type EnablingPassEvent()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// The events after which the enabling rules are applied again: everything a user or a message
// can change, none of the window's own painting (which would re-trigger the pass forever).
bool TriggersEnablingPass(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::Wheel:
    case QEvent::Show:
    case QEvent::WindowActivate:
        return true;
    default:
        return type == detail::CMessageEvent::EventType();
    }
}

// A push button whose text wraps onto several lines, keeping its exact text and mnemonic.
class CMultiLineButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButtonBevel, option);
        QRect textRect = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        painter.drawItemText(textRect, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, palette(),
                             isEnabled(), text(), QPalette::ButtonText);
    }
};

} // namespace

void CSystemMenu::AppendSeparator()
{
    m_items.push_back({0, {}});
}

void CSystemMenu::AppendMenu(UINT nID, const QString& text)
{
    m_items.push_back({nID, text});
}

CDialog::CDialog(UINT nIDTemplate, QWidget* pParent) : QDialog(pParent), m_nIDTemplate(nIDTemplate)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    detail::RegisterWindow(static_cast<HWND>(winId()), this);
}

CDialog::~CDialog()
{
    detail::UnregisterWindow(this);
    if (m_pModalLoop)
        m_pModalLoop->exit(IDCANCEL);
}

CDialog* FromHandle(HWND hWnd)
{
    return qobject_cast<CDialog*>(detail::FindWindowObject(hWnd));
}

HWND CDialog::GetSafeHwnd()
{
    return static_cast<HWND>(winId());
}

INT_PTR CDialog::DoModal()
{
    OnInitDialog();
    setWindowModality(Qt::ApplicationModal);
    m_nModalResult = IDCANCEL;
    show();
    // A window object shown again keeps its place in the stacking order; a modal window comes
    // to the front, as one made anew would.
    raise();
    activateWindow();
    RunEnablingPass();
    QEventLoop loop;
    m_pModalLoop = &loop;
    loop.exec(QEventLoop::DialogExec);
    m_pModalLoop = nullptr;
    hide();
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    hide();
    if (m_pModalLoop)
        m_pModalLoop->exit(nResult);
}

QWidget* CDialog::GetDlgItem(int nID) const
{
    auto it = m_controls.find(nID);
    return it == m_controls.end() ? nullptr : it->second;
}

void CDialog::SetDlgItemText(int nID, const QString& text)
{
    QWidget* w = GetDlgItem(nID);
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (w)
        w->setProperty("text", text);
}

QString CDialog::GetDlgItemText(int nID) const
{
    QWidget* w = GetDlgItem(nID);
    return w ? w->property("text").toString() : QString();
}

void CDialog::EnableDlgItem(int nID, bool bEnable)
{
    if (QWidget* w = GetDlgItem(nID))
        w->setEnabled(bEnable);
}

void CDialog::SendCommand(int nID)
{
    if (auto it = m_commands.find(nID); it != m_commands.end())
        it->second();
    else if (nID == IDOK)
        OnOK();
    else if (nID == IDCANCEL)
        OnCancel();
    ScheduleEnablingPass();
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto it = m_messages.find(msg);
    return it == m_messages.end() ? 0 : it->second(wParam, lParam);
}

void CDialog::RunEnablingPass()
{
    m_bPassPending = false;
    if (m_bInPass)
        return;
    m_bInPass = true;
    OnUpdateEnabling();
    m_bInPass = false;
}

void CDialog::ScheduleEnablingPass()
{
    if (m_bPassPending || m_bInPass)
        return;
    m_bPassPending = true;
    QCoreApplication::postEvent(this, new QEvent(EnablingPassEvent()));
}

void CDialog::OnSysCommand(UINT nID)
{
    if (nID == SC_CLOSE)
        OnCancel();
}

QRect CDialog::MapDialogRect(const QRect& dlu) const
{
    // The platform's dialog base units: average width of the alphabet, and the font's height.
    QFontMetrics fm(font());
    int baseX = (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    int baseY = fm.height();
    auto mx = [&](int v) { return v * baseX / 4; };
    auto my = [&](int v) { return v * baseY / 8; };
    return QRect(mx(dlu.x()), my(dlu.y()), mx(dlu.width()), my(dlu.height()));
}

void CDialog::SetDialogSize(int cxDlu, int cyDlu)
{
    setFixedSize(MapDialogRect(QRect(0, 0, cxDlu, cyDlu)).size());
}

UINT_PTR CDialog::SetTimer(UINT_PTR nIDEvent, UINT nElapse)
{
    KillTimer(nIDEvent);
    const int nQtId = startTimer(static_cast<int>(nElapse));
    if (nQtId == 0)
        return 0;
    m_timers[nIDEvent] = nQtId;
    return nIDEvent;
}

BOOL CDialog::KillTimer(UINT_PTR nIDEvent)
{
    auto it = m_timers.find(nIDEvent);
    if (it == m_timers.end())
        return FALSE;
    killTimer(it->second);
    m_timers.erase(it);
    return TRUE;
}

void CDialog::timerEvent(QTimerEvent* e)
{
    for (const auto& [nIDEvent, nQtId] : m_timers) {
        if (nQtId == e->timerId()) {
            OnTimer(nIDEvent);
            ScheduleEnablingPass();
            return;
        }
    }
    QDialog::timerEvent(e);
}

QWidget* CDialog::AddControl(int nID, QWidget* pWidget, const QRect& dlu)
{
    pWidget->setParent(this);
    pWidget->setProperty("ctrlId", nID);
    pWidget->setGeometry(MapDialogRect(dlu));
    // Composite controls (a list's viewport, a combo's editor) receive the input themselves.
    pWidget->installEventFilter(this);
    for (QWidget* part : pWidget->findChildren<QWidget*>())
        part->installEventFilter(this);
    if (nID != -1)
        m_controls[nID] = pWidget;
    return pWidget;
}

QPushButton* CDialog::AddButton(int nID, const QString& text, const QRect& dlu, UINT style)
{
    auto* button = (style & BS_MULTILINE) ? new CMultiLineButton(text) : new QPushButton(text);
    AddControl(nID, button, dlu);
    if (style & BS_DEFPUSHBUTTON)
        button->setDefault(true);
    connect(button, &QPushButton::clicked, this, [this, nID] { SendCommand(nID); });
    return button;
}

QLabel* CDialog::AddStatic(int nID, const QString& text, const QRect& dlu)
{
    auto* label = new QLabel(text);
    AddControl(nID, label, dlu);
    return label;
}

QFrame* CDialog::AddEtchedLine(int nID, const QRect& dlu)
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    AddControl(nID, line, dlu);
    return line;
}

void CDialog::MapCommand(int nID, std::function<void()> handler)
{
    m_commands[nID] = std::move(handler);
}

void CDialog::MapMessage(UINT msg, std::function<LRESULT(WPARAM, LPARAM)> handler)
{
    m_messages[msg] = std::move(handler);
}

bool CDialog::event(QEvent* e)
{
    if (e->type() == EnablingPassEvent()) {
        RunEnablingPass();
        return true;
    }
    if (e->type() == detail::CMessageEvent::EventType()) {
        auto* msg = static_cast<detail::CMessageEvent*>(e);
        msg->SetResult(WindowProc(msg->m_msg, msg->m_wParam, msg->m_lParam));
        ScheduleEnablingPass();
        return true;
    }
    if (e->type() == QEvent::WinIdChange)
        detail::RegisterWindow(static_cast<HWND>(internalWinId()), this);
    bool handled = QDialog::event(e);
    if (TriggersEnablingPass(e->type()))
        ScheduleEnablingPass();
    return handled;
}

bool CDialog::eventFilter(QObject* watched, QEvent* e)
{
    if (TriggersEnablingPass(e->type()))
        ScheduleEnablingPass();
    return QDialog::eventFilter(watched, e);
}

void CDialog::done(int r)
{
    // Qt's own closing paths (Escape, accept/reject) go through the window's OK and Cancel.
    if (r == QDialog::Accepted)
        OnOK();
    else
        OnCancel();
}

void CDialog::closeEvent(QCloseEvent* e)
{
    e->ignore();
    OnSysCommand(SC_CLOSE);
}

void CDialog::contextMenuEvent(QContextMenuEvent* e)
{
    QWidget* child = childAt(e->pos());
    if (child && !qobject_cast<QLabel*>(child) && !qobject_cast<QFrame*>(child)) {
        e->ignore();
        return;
    }
    ShowSystemMenu(e->globalPos());
}

void CDialog::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Space && (e->modifiers() & Qt::AltModifier)) {
        ShowSystemMenu(mapToGlobal(QPoint(0, 0)));
        return;
    }
    QDialog::keyPressEvent(e);
}

void CDialog::ShowSystemMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    menu.addAction(tr("&Close"))->setData(SC_CLOSE);
    for (const auto& item : m_sysMenu.Items()) {
        if (item.nID == 0)
            menu.addSeparator();
        else
            menu.addAction(item.text)->setData(item.nID);
    }
    if (QAction* chosen = menu.exec(globalPos))
        OnSysCommand(chosen->data().toUInt());
}

} // namespace platform
