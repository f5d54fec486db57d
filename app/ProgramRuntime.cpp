#include "app/ProgramRuntime.h"

#include "app/FilterRegistration.h"
#include "platform/avi/AviClasses.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/com/ComBase.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/pulse/SoundDevices.h"
#include "platform/shell/Places.h"
#include "platform/ui/MessageBox.h"

bool StartProgramRuntime()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        platform::AfxMessageBox("Failed to initialize OLE");
        return false;
    }
    // The media graph's own classes (Filter Graph, Filter Mapper 2, system clock, the capture
    // graph builder and device enumerator), the AVI writer, the compressors and the sound
    // capture devices are part of the runtime here, made known once like installed ones.
    RegisterMediaGraphClasses();
    RegisterAviClasses();
    RegisterCompressorCategories();
    RegisterSoundDevices();
    // OLE control containment, DPI awareness and 3-D controls need nothing here: Qt widgets
    // host any control, scale for the screen themselves and are drawn in 3-D already.

    // The filter module of the program folder records; a user never registers it by hand.
    EnsureFilterRegistered(platform::GetProgramFolder());
    return true;
}
