#include "platform/codecs/CompressorCategories.h"

#include "platform/codecs/SoundCompressor.h"
#include "platform/codecs/VideoCompressor.h"

void RegisterCompressorCategories()
{
    RegisterDeviceCategory(CLSID_VideoCompressorCategory, [] { return ListVideoCompressors(&LibavHasEncoder); });
    RegisterDeviceCategory(CLSID_AudioCompressorCategory, [] { return ListSoundCompressors(&LibavHasEncoder); });
}
