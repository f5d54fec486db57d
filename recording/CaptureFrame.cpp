#include "recording/CaptureFrame.h"

#include <QPainter>
#include <QRegion>

namespace recording {

CCaptureFrame::CCaptureFrame(QWidget* pParent) : QWidget(pParent)
{
    // A window of its own, so that it lies above the slide area's window (and the office's
    // inside it) and can take the outline's shape.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void CCaptureFrame::Draw()
{
    repaint();
}

void CCaptureFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(QColor(255, 0, 0), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

void CCaptureFrame::resizeEvent(QResizeEvent*)
{
    // Only the outline is part of the window: inside it, the slide shows and takes the clicks.
    QRegion outline(rect());
    if (width() > 2 && height() > 2)
        outline -= QRegion(rect().adjusted(1, 1, -1, -1));
    setMask(outline);
}

}  // namespace recording
