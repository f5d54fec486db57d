#include "platform/avi/AviClasses.h"

#include "platform/com/ObjectCreation.h"
#include "platform/dshow/CaptureInterfaces.h"

void RegisterAviClasses()
{
    CoRegisterBuiltInClass(CLSID_AviDest, &CreateAviMux);
    CoRegisterBuiltInClass(CLSID_FileWriter, &CreateFileWriter);
}
