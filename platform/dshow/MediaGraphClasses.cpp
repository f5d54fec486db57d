#include "platform/dshow/MediaGraphClasses.h"

#include "platform/com/ObjectCreation.h"
#include "platform/dshow/CaptureGraphBuilder.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/Interfaces.h"

void RegisterMediaGraphClasses()
{
    CoRegisterBuiltInClass(CLSID_FilterGraph, &CreateFilterGraph);
    CoRegisterBuiltInClass(CLSID_FilterMapper2, &CreateFilterMapper2);
    CoRegisterBuiltInClass(CLSID_SystemClock, &CreateSystemClock);
    CoRegisterBuiltInClass(CLSID_CaptureGraphBuilder2, &CreateCaptureGraphBuilder2);
    CoRegisterBuiltInClass(CLSID_SystemDeviceEnum, &CreateSystemDeviceEnum);
}
