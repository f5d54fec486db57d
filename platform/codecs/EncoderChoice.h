#pragma once
// Which libavcodec encoders this process can use. The compressor lists ask through a function,
// so a list can be shown as it looks where an encoder is missing.
#include <functional>

using EncoderAvailable = std::function<bool(const char* encoderName)>;

// libavcodec has an encoder of that name.
bool LibavHasEncoder(const char* encoderName);
