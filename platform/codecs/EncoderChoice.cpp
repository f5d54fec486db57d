#include "platform/codecs/EncoderChoice.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

bool LibavHasEncoder(const char* encoderName)
{
    return encoderName && avcodec_find_encoder_by_name(encoderName) != nullptr;
}
