#pragma once
// Driving the recording window from a test or a benchmark as a user would: its owner (the main
// window's side), waiting while its events run, and acting on the modal windows it opens.
#include "RecordWindowSupport.h"
#include "recording/RecordDlg.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace recordingtest {

using recordtest::CTestOwner;
using recordtest::PumpUntil;

// Acts on the window of type T as soon as it shows, from inside whatever modal loop runs then
// (the recording window's handlers show these windows modally and return once they close).
// When it has not shown by the deadline, missing() runs instead. The watch ends with `owner` at
// the latest.
template <class T>
void WhenShown(QObject* owner, std::function<void(T&)> act, int timeoutMs = 30000,
               std::function<void()> missing = {})
{
    auto* timer = new QTimer(owner);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, [timer, act, end, missing] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = dynamic_cast<T*>(widget); window && window->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(*window);
                return;
            }
        if (std::chrono::steady_clock::now() > end) {
            timer->stop();
            timer->deleteLater();
            if (missing)
                missing();
        }
    });
    timer->start(20);
}

}  // namespace recordingtest
