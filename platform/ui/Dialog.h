#pragma once
// The dialog base every window of the program derives from: a QDialog built like a dialog
// resource, with numbered controls laid out in dialog units, a modal loop that runs until
// EndDialog, command and message handlers, and the enabling pass.
//
// Recipe for a window:
//   class CMyDlg : public platform::CDialog {
//       CMyDlg(QWidget* parent) : CDialog(IDD_MY, parent) {
//           SetDialogSize(200, 100);
//           AddButton(IDOK, "OK", {140, 80, 50, 14}, BS_DEFPUSHBUTTON);
//           MapCommand(IDC_GO, [this] { OnGo(); });
//           MapMessage(WM_MY_STEP, [this](WPARAM w, LPARAM l) { return OnStep(w, l); });
//       }
//       BOOL OnInitDialog() override;         // runs once, before the window shows
//       void OnUpdateEnabling() override;     // enabling rules, re-applied after every event
//   };
//   CMyDlg dlg(parent); if (dlg.DoModal() == IDOK) ...
//
// Threads: a dialog lives on the window thread. Other threads reach it only through
// PostMessage/SendMessage (WindowMessages.h).
#include "platform/base/WinTypes.h"
#include "platform/ui/MessageBox.h"

#include <QDialog>
#include <QRect>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QEventLoop;
class QPushButton;
class QLabel;
class QFrame;
class QMenu;

namespace platform {

// Button styles that change how a control behaves.
constexpr UINT BS_DEFPUSHBUTTON = 0x0001;
constexpr UINT BS_MULTILINE = 0x2000;

// System commands.
constexpr UINT SC_CLOSE = 0xF060;

// The window's system menu: the items a window appends, shown on a right click on the window's
// background or on Alt+Space (the window manager owns the real title-bar menu).
class CSystemMenu {
public:
    void AppendSeparator();
    void AppendMenu(UINT nID, const QString& text);

    struct Item {
        UINT nID = 0;          // 0 = separator
        QString text;
    };
    const std::vector<Item>& Items() const { return m_items; }

private:
    std::vector<Item> m_items;
};

class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(UINT nIDTemplate, QWidget* pParent = nullptr);
    ~CDialog() override;

    // Shows the window modally and runs until EndDialog. Returns EndDialog's result, or -1 when
    // OnInitDialog refused. The loop does not end when the window is merely hidden.
    INT_PTR DoModal();
    void EndDialog(int nResult);
    bool IsInModalLoop() const { return m_pModalLoop != nullptr; }

    UINT GetTemplateId() const { return m_nIDTemplate; }
    HWND GetSafeHwnd();

    QWidget* GetDlgItem(int nID) const;
    template <class T> T* GetDlgItemAs(int nID) const { return qobject_cast<T*>(GetDlgItem(nID)); }
    void SetDlgItemText(int nID, const QString& text);
    QString GetDlgItemText(int nID) const;
    // Enables or disables a control; unknown ids are ignored.
    void EnableDlgItem(int nID, bool bEnable);

    // Runs the command handler of a control, as a click would.
    void SendCommand(int nID);
    // The message handler; messages without one give 0.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);

    // The enabling pass. Normally runs after every event the window or its controls handle;
    // callable directly (tests).
    void RunEnablingPass();

    CSystemMenu& GetSystemMenu() { return m_sysMenu; }
    // Runs a system command as the system menu would.
    virtual void OnSysCommand(UINT nID);

    // Dialog units -> pixels with this window's font, as a dialog resource is laid out.
    QRect MapDialogRect(const QRect& dlu) const;

    // Window timers: OnTimer(nIDEvent) every nElapse ms on the window's thread until KillTimer.
    // Setting an id that runs already restarts it with the new period. Window thread only.
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse);
    BOOL KillTimer(UINT_PTR nIDEvent);

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnUpdateEnabling() {}
    virtual void OnTimer(UINT_PTR nIDEvent) { (void)nIDEvent; }

    void SetDialogSize(int cxDlu, int cyDlu);
    // Places an existing widget as control nID (property "ctrlId"), at a rectangle in dialog units.
    QWidget* AddControl(int nID, QWidget* pWidget, const QRect& dlu);
    QPushButton* AddButton(int nID, const QString& text, const QRect& dlu, UINT style = 0);
    QLabel* AddStatic(int nID, const QString& text, const QRect& dlu);
    QFrame* AddEtchedLine(int nID, const QRect& dlu);

    void MapCommand(int nID, std::function<void()> handler);
    void MapMessage(UINT msg, std::function<LRESULT(WPARAM, LPARAM)> handler);

    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void done(int r) override;
    void closeEvent(QCloseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void ScheduleEnablingPass();
    void ShowSystemMenu(const QPoint& globalPos);

    UINT m_nIDTemplate;
    QEventLoop* m_pModalLoop = nullptr;
    int m_nModalResult = 0;
    bool m_bPassPending = false;
    bool m_bInPass = false;
    bool m_bInitDone = false;
    std::map<int, QWidget*> m_controls;
    std::map<int, std::function<void()>> m_commands;
    std::map<UINT, std::function<LRESULT(WPARAM, LPARAM)>> m_messages;
    std::map<UINT_PTR, int> m_timers;  // window timer id -> Qt timer id
    CSystemMenu m_sysMenu;
};

} // namespace platform
