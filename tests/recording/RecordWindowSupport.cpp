#include "RecordWindowSupport.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <thread>

namespace recordtest {

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        QApplication::processEvents();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void RunWindow(recording::CRecordDlg& dlg, const std::function<void()>& body)
{
    QTimer::singleShot(0, &dlg, [&] {
        body();
        dlg.close();
    });
    dlg.DoModal();
}

}  // namespace recordtest
