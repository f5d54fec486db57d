#pragma once
// Watches the X server's key presses and mouse clicks on a thread of its own, over a connection of
// its own, with XInput2 raw events (observed, never taken from the window they go to).
#include "platform/base/WinGdiTypes.h"
#include "platform/base/WinTypes.h"

#include <atomic>
#include <thread>

typedef struct _XDisplay Display;

namespace brelin {

// Where the watcher reports, on its thread.
class IInputSink {
public:
    virtual ~IInputSink() = default;
    virtual void OnKeyDown(UINT virtualKey) = 0;
    // `stopping` is set when the watcher is being stopped: a sink that waits must give up then.
    virtual void OnClick(POINT screenPoint, HWND topLevel, const std::atomic<bool>& stopping) = 0;
};

class CInputWatcher {
public:
    explicit CInputWatcher(IInputSink& sink) : m_sink(sink) {}
    ~CInputWatcher() { Stop(); }
    CInputWatcher(const CInputWatcher&) = delete;
    CInputWatcher& operator=(const CInputWatcher&) = delete;

    // Connects to $DISPLAY and starts the thread; false, with nothing left open, when the server
    // cannot be reached or lacks XInput 2.2.
    bool Start();
    // Ends the thread and closes the connection; harmless when not started.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

private:
    bool Connect();
    void Disconnect();
    void Run();
    void HandleEvents();
    void OnRawKey(int keycode);
    void OnRawButton(int button);

    IInputSink& m_sink;
    Display* m_pDisplay = nullptr;
    int m_nOpcode = 0;  // XInput's major opcode: its events carry it
    int m_wakeFd = -1;  // written to stop the thread
    std::atomic<bool> m_bStopping {false};
    std::thread m_thread;
};

}  // namespace brelin
