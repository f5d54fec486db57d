#include "capture/DeviceLookup.h"

#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"

BOOL FindFilterByFriendlyName(REFCLSID category, const std::string& name, IBaseFilter** ppFilter)
{
    ComPtr<ICreateDevEnum> pDevEnum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_ICreateDevEnum, pDevEnum.ReleaseAndGetVoidAddressOf())) ||
        !pDevEnum)
        return FALSE;
    ComPtr<IEnumMoniker> pEnum;
    if (pDevEnum->CreateClassEnumerator(category, pEnum.ReleaseAndGetAddressOf(), 0) != S_OK || !pEnum)
        return FALSE;

    BOOL bResult = FALSE;
    ComPtr<IMoniker> pMoniker;
    while (pEnum->Next(1, pMoniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        std::string strName;
        if (FAILED(ReadFriendlyName(pMoniker.Get(), &strName)) || strName != name)
            continue;
        HRESULT hr = pMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(ppFilter));
        bResult = SUCCEEDED(hr) && *ppFilter != nullptr;
        break;
    }
    return bResult;
}
