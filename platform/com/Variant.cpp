#include "platform/com/Variant.h"

#include "platform/com/TaskMemory.h"

#include <cwchar>

// The length lives in front of the text, as the platform keeps it.
BSTR SysAllocString(LPCOLESTR psz)
{
    if (psz == nullptr)
        return nullptr;
    const std::size_t length = std::wcslen(psz);
    auto* block = static_cast<UINT*>(CoTaskMemAlloc(sizeof(UINT) + (length + 1) * sizeof(OLECHAR)));
    if (block == nullptr)
        return nullptr;
    block[0] = static_cast<UINT>(length);
    auto* text = reinterpret_cast<BSTR>(block + 1);
    std::wmemcpy(text, psz, length + 1);
    return text;
}

void SysFreeString(BSTR bstr)
{
    if (bstr != nullptr)
        CoTaskMemFree(reinterpret_cast<UINT*>(bstr) - 1);
}

UINT SysStringLen(BSTR bstr)
{
    return bstr == nullptr ? 0 : reinterpret_cast<UINT*>(bstr)[-1];
}

void VariantInit(VARIANT* pvarg)
{
    pvarg->vt = VT_EMPTY;
    pvarg->lVal = 0;
}

HRESULT VariantClear(VARIANT* pvarg)
{
    if (pvarg == nullptr)
        return E_INVALIDARG;
    if (pvarg->vt == VT_BSTR)
        SysFreeString(pvarg->bstrVal);
    VariantInit(pvarg);
    return S_OK;
}
