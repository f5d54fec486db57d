#pragma once
// Test support for the recording window: the main window's side, waiting on the window thread, and
// running the window modally with a test inside its loop.
#include "platform/office/TestPresentations.h"
#include "recording/RecordDlg.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace recordtest {

// The main window's side: the presentations and the program folder.
class CTestOwner : public recording::IRecordingOwner {
public:
    std::vector<std::string> m_paths;
    std::string m_strFolder = "/nonexistent/";
    std::vector<std::string> GetPresentationList() const override { return m_paths; }
    const std::string& GetProgramFolder() const override { return m_strFolder; }
};

// Handles the window thread's events until `done` holds or `timeoutMs` passes.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

// Runs the window modally with `body` inside its loop, then closes it as the close box does.
void RunWindow(recording::CRecordDlg& dlg, const std::function<void()>& body);

// The tests' presentations, made through an office of the test process's own: each name with its
// options, saved in every format in `folder`. False when the office could not make them.
bool MakeDecks(const std::string& folder,
               const std::vector<std::pair<std::string, officetest::ShowOptions>>& decks);

// The window's own record, in the config folder the test has set, with a slide area of this size.
void SaveSlideArea(int width, int height);

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

}  // namespace recordtest
