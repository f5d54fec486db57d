#include "platform/codecs/CompressorCategories.h"

#include "platform/codecs/SoundCompressor.h"
#include "platform/codecs/VideoCompressor.h"

extern "C" {
#include <libavutil/log.h>
}

void RegisterCompressorCategories()
{
    RegisterDeviceCategory(CLSID_VideoCompressorCategory, [] { return ListVideoCompressors(&LibavHasEncoder); });
    RegisterDeviceCategory(CLSID_AudioCompressorCategory, [] { return ListSoundCompressors(&LibavHasEncoder); });
}

void QuietCodecLibrary()
{
    av_log_set_level(AV_LOG_QUIET);
}
