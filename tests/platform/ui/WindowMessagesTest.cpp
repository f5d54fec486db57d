#include "platform/ui/Dialog.h"
#include "platform/ui/WindowMessages.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace platform;

namespace {

constexpr UINT WM_TEST = WM_USER + 600;

struct CEchoDlg : CDialog {
    CEchoDlg() : CDialog(501)
    {
        MapMessage(WM_TEST, [this](WPARAM w, LPARAM l) {
            m_received.emplace_back(w, l);
            return static_cast<LRESULT>(w) + l;
        });
    }
    std::vector<std::pair<WPARAM, LPARAM>> m_received;
    int m_nPasses = 0;
    void OnUpdateEnabling() override { ++m_nPasses; }
};

} // namespace

TEST(WindowMessages, PostedFromAnotherThreadArriveInOrderWithTheirValues)
{
    CEchoDlg dlg;
    HWND hWnd = dlg.GetSafeHwnd();
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(PostMessage(hWnd, WM_TEST, i, -i));
    });
    worker.join();
    QApplication::processEvents();
    QApplication::processEvents(); // the pass was posted behind the messages
    ASSERT_EQ(dlg.m_received.size(), 5u);
    EXPECT_EQ(dlg.m_received[3], std::make_pair(WPARAM(3), LPARAM(-3)));
    EXPECT_EQ(dlg.m_nPasses, 1) << "five messages in one batch give one enabling pass";
}

TEST(WindowMessages, SendBlocksTheWorkerUntilTheWindowThreadAnswers)
{
    CEchoDlg dlg;
    HWND hWnd = dlg.GetSafeHwnd();
    std::atomic<LRESULT> result {-1};
    std::thread worker([&] { result = SendMessage(hWnd, WM_TEST, 40, 2); });
    while (result == -1)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(SendMessage(hWnd, WM_TEST, 1, 1), 2) << "same thread calls straight through";
}

TEST(WindowMessages, AGoneWindowRefusesAndNeverStrandsASender)
{
    auto* dlg = new CEchoDlg;
    HWND hWnd = dlg->GetSafeHwnd();
    // Shared with the worker: a stranded sender outlives the test.
    auto sent = std::make_shared<std::atomic<bool>>(false);
    auto result = std::make_shared<std::atomic<LRESULT>>(-1);
    std::thread worker([hWnd, sent, result] {
        *result = SendMessage(hWnd, WM_TEST, 1, 2);
        *sent = true;
    });
    // Destroy the window while the worker waits for its reply.
    for (int i = 0; i < 500 && !*sent; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (dlg) {
            delete dlg;
            dlg = nullptr;
        }
    }
    if (!*sent) {
        worker.detach();
        FAIL() << "the sender was stranded";
    }
    worker.join();
    EXPECT_EQ(*result, 0);
    EXPECT_FALSE(PostMessage(hWnd, WM_TEST, 0, 0));
    EXPECT_EQ(SendMessage(hWnd, WM_TEST, 0, 0), 0);
    EXPECT_EQ(FromHandle(hWnd), nullptr);
}
