#pragma once
// An up-down control the platform's way: two arrows beside a buddy edit, with a range and a
// position. An arrow, or the Up/Down key in the buddy, moves the position by one within the
// range and writes it into the buddy as an integer; a step starts from the integer the buddy
// holds, so a typed value counts. The buddy itself takes any text.
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace platform {

class CSpinButtonCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CSpinButtonCtrl(QWidget* pParent = nullptr);

    void SetBuddy(QLineEdit* pBuddy);
    QLineEdit* GetBuddy() const { return m_pBuddy; }
    void SetRange(int nLower, int nUpper);
    // The previous position.
    int SetPos(int nPos);
    int GetPos() const { return m_nPos; }
    // What the arrows do: +1 up, -1 down.
    void Step(int nDelta);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    QLineEdit* m_pBuddy = nullptr;
    QToolButton* m_pUp;
    QToolButton* m_pDown;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
};

} // namespace platform
