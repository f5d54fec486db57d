#include "capture/DeviceLookup.h"

#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/WideText.h"

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
        ComPtr<IPropertyBag> pBag;
        if (FAILED(pMoniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, pBag.ReleaseAndGetVoidAddressOf())) ||
            !pBag)
            continue;
        VARIANT var;
        VariantInit(&var);
        var.vt = VT_BSTR;
        if (FAILED(pBag->Read(L"FriendlyName", &var, nullptr)) || var.vt != VT_BSTR) {
            VariantClear(&var);
            continue;
        }
        const bool bEqual = Utf8FromWide(var.bstrVal) == name;
        VariantClear(&var);
        if (!bEqual)
            continue;
        HRESULT hr = pMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(ppFilter));
        bResult = SUCCEEDED(hr) && *ppFilter != nullptr;
        break;
    }
    return bResult;
}
