#include "platform/hook/Brelin.h"

#include "platform/hook/InputWatcher.h"
#include "platform/ui/WindowMessages.h"

#include <memory>
#include <mutex>

namespace brelin {
namespace {

// Hands what the watcher sees to the notify window's thread.
class CWindowNotifier : public IInputSink {
public:
    void SetWindow(HWND hWnd) { m_hWnd = hWnd; }

    void OnKeyDown(UINT virtualKey) override
    {
        if (HWND hWnd = m_hWnd)
            platform::PostMessage(hWnd, WM_HOOK_KEY, virtualKey, 0);
    }

    void OnClick(POINT screenPoint, HWND topLevel, const std::atomic<bool>& stopping) override
    {
        HWND hWnd = m_hWnd;
        if (!hWnd)
            return;
        MOUSEHOOKSTRUCT click {screenPoint, topLevel, 1, 0};
        // The message carries its own copy of the structure, so a removal may stop the wait
        // without leaving the window an address that is gone.
        platform::SendMessageWithData(hWnd, WM_HOOK_CLICK, 0, &click, sizeof click, stopping);
    }

private:
    std::atomic<HWND> m_hWnd {0};
};

struct HookState {
    std::mutex mutex;  // install and remove
    CWindowNotifier notifier;
    std::unique_ptr<CInputWatcher> watcher;
};

HookState& State()
{
    static HookState state;
    return state;
}

}  // namespace
}  // namespace brelin

using brelin::State;

extern "C" {

__attribute__((visibility("default"))) void Brelin_SetNotifyWindow(HWND hWnd)
{
    State().notifier.SetWindow(hWnd);
}

__attribute__((visibility("default"))) int Brelin_InstallHooks()
{
    std::lock_guard lock(State().mutex);
    if (State().watcher)
        return 1;
    auto watcher = std::make_unique<brelin::CInputWatcher>(State().notifier);
    if (!watcher->Start())
        return 0;
    State().watcher = std::move(watcher);
    return 1;
}

__attribute__((visibility("default"))) void Brelin_RemoveHooks()
{
    std::lock_guard lock(State().mutex);
    State().watcher.reset();  // stops the thread and closes its connection
}

}
