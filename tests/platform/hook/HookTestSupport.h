#pragma once
// Test support for the hook: a private X server with a QApplication on it (the hook hears every
// key and click of its server, so no other test may share it), xdotool to press keys and click as
// a user would (XTEST), and waiting on the window thread.
#include "platform/screen/PrivateXServer.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

class QApplication;

namespace hooktest {

// Starts the server and the application once per test program; both end when the program does.
// Call it before any widget is made. False when the server did not start.
bool StartDisplay();

// Runs xdotool with these arguments on the current display; true when it succeeded.
bool Xdotool(std::initializer_list<std::string> args);

// Handles the window thread's events until `done` holds or `timeoutMs` passes.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);

}  // namespace hooktest
