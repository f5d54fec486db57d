#pragma once
// Calls into the office made on the office's own main thread. Some of its objects (the layout
// manager of a frame) take their own lock and then the office's solar mutex, while the main
// thread takes them the other way round: a call from our threads that meets the main thread
// adding an info bar or laying out a window deadlocks the office. Made from the main thread, the
// calls take the locks in its order. Internal to platform/office (UNO).
#include <com/sun/star/uno/XComponentContext.hpp>

#include <functional>

namespace office {

// Runs `work` as a callback the office's main thread makes into this process: the UNO calls
// `work` makes then run on that thread (a nested call goes back to the thread waiting for it).
// Waits for it; false when the office did not get to it within timeoutMs or `work` threw. `work`
// may outlive the wait, so it must hold what it uses (references, not the caller's locals).
bool CallOnOfficeThread(const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context,
                        std::function<void()> work, int timeoutMs = 10000);

}  // namespace office
