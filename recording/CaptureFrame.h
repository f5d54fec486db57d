#pragma once
// The capture frame (static 1041): a one-pixel red outline around the rectangle that is recorded.
// It is a window of its own above the slide area, shaped to its outline, so the slide inside it
// stays visible and takes the clicks; the recording window hides it while recording, so it is
// never part of a recorded frame.
#include <QWidget>

namespace recording {

class CCaptureFrame : public QWidget {
    Q_OBJECT
public:
    explicit CCaptureFrame(QWidget* pParent = nullptr);

    // Draws the outline again (the window's WM_DRAW_CAPTURE_FRAME).
    void Draw();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
};

}  // namespace recording
