#include "platform/ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

struct HandlerState {
    std::mutex mutex;
    MessageBoxHandler handler;
    std::string appName = "Vantorel";
};

HandlerState& State()
{
    static HandlerState state;
    return state;
}

QWidget* FindOwner(HWND owner)
{
    if (!owner)
        return nullptr;
    return QWidget::find(static_cast<WId>(owner));
}

int ShowQtBox(const MessageBoxRequest& req)
{
    QMessageBox box(FindOwner(req.owner));
    box.setWindowTitle(QString::fromStdString(req.caption));
    box.setText(QString::fromStdString(req.text));
    switch (req.type & MB_ICONMASK) {
    case MB_ICONSTOP: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    if ((req.type & MB_TYPEMASK) == MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

} // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard lock(State().mutex);
    std::swap(State().handler, handler);
    return handler;
}

int MessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    MessageBoxRequest req {owner, text ? text : "", caption ? caption : "Error", type};
    MessageBoxHandler handler;
    {
        std::lock_guard lock(State().mutex);
        handler = State().handler;
    }
    if (handler)
        return handler(req);

    const bool yesNo = (type & MB_TYPEMASK) == MB_YESNO;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // No window system in this process (a command-line tool): say it on stderr and take the
        // box's default answer.
        std::fprintf(stderr, "%s: %s\n", req.caption.c_str(), req.text.c_str());
        return yesNo ? IDYES : IDOK;
    }
    if (QThread::currentThread() == qApp->thread())
        return ShowQtBox(req);
    int result = yesNo ? IDYES : IDOK;
    QMetaObject::invokeMethod(qApp, [&] { result = ShowQtBox(req); }, Qt::BlockingQueuedConnection);
    return result;
}

int AfxMessageBox(const std::string& text, UINT type)
{
    return MessageBox(0, text.c_str(), GetAppName().c_str(), type);
}

void SetAppName(const std::string& name)
{
    std::lock_guard lock(State().mutex);
    State().appName = name;
}

const std::string& GetAppName()
{
    return State().appName;
}

} // namespace platform
