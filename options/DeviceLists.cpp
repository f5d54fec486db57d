#include "options/DeviceLists.h"

#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/TaskMemory.h"
#include "platform/com/WideText.h"
#include "platform/dshow/CaptureInterfaces.h"
#include "platform/ui/ComboBox.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/MessageBox.h"

namespace options {

namespace {

HRESULT CreateDevEnum(DWORD dwContext, ComPtr<ICreateDevEnum>& pDevEnum)
{
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, dwContext, IID_ICreateDevEnum,
                                  pDevEnum.ReleaseAndGetVoidAddressOf());
    if (SUCCEEDED(hr) && !pDevEnum)
        hr = E_NOINTERFACE;
    return hr;
}

} // namespace

HRESULT FillDeviceList(REFCLSID category, QWidget* pControl, BOOL bListBox)
{
    auto* pList = bListBox ? dynamic_cast<platform::CListBox*>(pControl) : nullptr;
    auto* pCombo = bListBox ? nullptr : dynamic_cast<platform::CComboBox*>(pControl);
    if (!pList && !pCombo)
        return E_INVALIDARG;
    if (pList)
        pList->ResetContent();
    else
        pCombo->ResetContent();

    ComPtr<ICreateDevEnum> pDevEnum;
    HRESULT hr = CreateDevEnum(CLSCTX_INPROC_SERVER, pDevEnum);
    if (FAILED(hr)) {
        platform::AfxMessageBox("Failed to create system enumerator", platform::MB_OK);
        return hr;
    }
    ComPtr<IEnumMoniker> pEnum;
    hr = pDevEnum->CreateClassEnumerator(category, pEnum.ReleaseAndGetAddressOf(), 0);
    if (FAILED(hr)) {
        platform::AfxMessageBox("Failed to create class enumerator", platform::MB_OK);
        return hr;
    }
    if (!pEnum)
        return S_OK;

    pEnum->Reset();
    ComPtr<IMoniker> pMoniker;
    while (pEnum->Next(1, pMoniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        std::string strName;
        if (ReadFriendlyName(pMoniker.Get(), &strName) != S_OK)
            continue;
        const QString text = QString::fromStdString(strName);
        if (pList)
            pList->insertItem(pList->count(), text);  // the enumerator's order, whatever the list's sorting
        else
            pCombo->AddString(text);
    }
    return S_OK;
}

HRESULT FillAudioDeviceList(platform::CComboBox& combo)
{
    ComPtr<ICreateDevEnum> pDevEnum;
    HRESULT hr = CreateDevEnum(CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, pDevEnum);
    if (FAILED(hr))
        return hr;
    ComPtr<IEnumMoniker> pEnum;
    hr = pDevEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, pEnum.ReleaseAndGetAddressOf(), 0);
    if (FAILED(hr))
        return hr;
    if (!pEnum)
        return S_FALSE;

    int nAdded = 0;
    IMoniker* pMoniker = nullptr;
    while ((hr = pEnum->Next(1, &pMoniker, nullptr)) == S_OK) {
        std::string strName;
        hr = ReadFriendlyName(pMoniker, &strName);
        if (hr != S_OK) {
            pMoniker->Release();
            continue;
        }
        // The entry just added, not the first of the same name: names differing only in case
        // are different devices, and a search that ignores case would give the wrong entry.
        const int nIndex = combo.AddString(QString::fromStdString(strName));
        // The list owns the moniker's reference from here.
        combo.SetItemData(nIndex, reinterpret_cast<std::uintptr_t>(pMoniker));
        ++nAdded;
    }
    // The end of the list is not a failure: S_FALSE only when no device could be listed.
    if (FAILED(hr))
        return hr;
    return nAdded > 0 ? S_OK : S_FALSE;
}

void ReleaseAudioDeviceList(platform::CComboBox& combo)
{
    for (int i = 0; i < combo.GetCount(); ++i) {
        if (auto* pMoniker = reinterpret_cast<IMoniker*>(combo.GetItemData(i)))
            pMoniker->Release();
        combo.SetItemData(i, 0);
    }
    combo.ResetContent();
}

HRESULT FillInputSourceList(IBaseFilter* pFilter, platform::CComboBox& combo)
{
    combo.ResetContent();
    if (!pFilter)
        return E_NOINTERFACE;
    ComPtr<IEnumPins> pEnum;
    HRESULT hr = pFilter->EnumPins(pEnum.ReleaseAndGetAddressOf());
    if (FAILED(hr) || !pEnum) {
        combo.AddString("<ERROR>");
        return FAILED(hr) ? hr : E_FAIL;
    }
    pEnum->Reset();
    ComPtr<IPin> pPin;
    while ((hr = pEnum->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr)) == S_OK) {
        PIN_DIRECTION dir;
        if (FAILED(pPin->QueryDirection(&dir))) {
            combo.AddString("<ERROR>");
            continue;
        }
        if (dir != PINDIR_INPUT)
            continue;
        PIN_INFO info {};
        if (SUCCEEDED(pPin->QueryPinInfo(&info))) {
            combo.AddString(QString::fromStdString(Utf8FromWide(info.achName)));
            if (info.pFilter)
                info.pFilter->Release();
        }
    }
    return hr;
}

BOOL HasPropertyPages(IBaseFilter* pFilter)
{
    ComPtr<ISpecifyPropertyPages> pPages;
    return pFilter && SUCCEEDED(pFilter->QueryInterface(IID_ISpecifyPropertyPages, pPages.ReleaseAndGetVoidAddressOf())) &&
                   pPages
               ? TRUE
               : FALSE;
}

void ShowFilterProperties(IBaseFilter* pFilter, HWND hOwner, const std::string& strDeviceName)
{
    if (!pFilter)
        return;
    ComPtr<ISpecifyPropertyPages> pProp;
    if (FAILED(pFilter->QueryInterface(IID_ISpecifyPropertyPages, pProp.ReleaseAndGetVoidAddressOf())) || !pProp)
        return;
    FILTER_INFO info {};
    if (FAILED(pFilter->QueryFilterInfo(&info)))
        return;
    ComPtr<IFilterGraph> pGraph;
    pGraph.Attach(info.pGraph);
    CAUUID pages {0, nullptr};
    if (FAILED(pProp->GetPages(&pages)))
        return;
    IUnknown* pObject = pFilter;
    const std::wstring strCaption = info.achName[0] ? std::wstring(info.achName) : WideFromUtf8(strDeviceName);
    OleCreatePropertyFrame(hOwner, 0, 0, strCaption.c_str(), 1, &pObject, pages.cElems, pages.pElems, 0, 0, nullptr);
    CoTaskMemFree(pages.pElems);
}

} // namespace options
