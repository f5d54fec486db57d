#pragma once
// The burning engine's message dispatcher: texts go to key 0 (diagnostics) or key 1 (the burn
// window's log list) with a level (0 information, 2 warning, 3 error).
//
// Thread-safe: the sink list is guarded, and sinks are called outside the guard on the publishing
// thread, so a sink may block on another thread that subscribes meanwhile.
#include "platform/base/WinTypes.h"

constexpr LONG MESSAGE_KEY_DIAGNOSTIC = 0;
constexpr LONG MESSAGE_KEY_USER = 1;
constexpr LONG MESSAGE_LEVEL_INFO = 0;
constexpr LONG MESSAGE_LEVEL_WARNING = 2;
constexpr LONG MESSAGE_LEVEL_ERROR = 3;
// Buffer size of one message, terminator included.
constexpr int MESSAGE_BUFFER_SIZE = 4096;

using MessageSink = void (*)(LONG level, const char* text);

// Appends (sink, key) unless that pair is already subscribed. There is no way to remove a pair.
void SubscribeMessages(MessageSink sink, LONG key);
// printf-style format; "%I64d" takes a 64-bit value (long long), "%ld" a long. The text is cut
// at 4095 characters. Every sink of the key is called in subscription order.
void PublishMessage(LONG key, LONG level, const char* format, ...);
