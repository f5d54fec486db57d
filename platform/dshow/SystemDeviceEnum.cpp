#include "platform/dshow/SystemDeviceEnum.h"

#include "platform/com/ComPtr.h"
#include "platform/com/TaskMemory.h"
#include "platform/com/WideText.h"

#include <algorithm>
#include <cwchar>
#include <mutex>
#include <new>
#include <utility>

namespace {

constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);

// Listers per category, in registration order. Layers register at start-up while other threads
// may already enumerate, hence the lock; listers are called outside it (they may take time or
// register in turn).
struct CategoryTable {
    std::mutex mutex;
    std::vector<std::pair<CLSID, std::vector<DeviceLister>>> categories;
};

CategoryTable& Categories()
{
    static CategoryTable table;
    return table;
}

std::vector<DeviceLister> ListersOf(REFCLSID category)
{
    CategoryTable& table = Categories();
    std::lock_guard lock(table.mutex);
    for (auto& [id, listers] : table.categories)
        if (id == category) return listers;
    return {};
}

}  // namespace

void RegisterDeviceCategory(REFCLSID category, DeviceLister lister)
{
    if (!lister) return;
    CategoryTable& table = Categories();
    std::lock_guard lock(table.mutex);
    for (auto& [id, listers] : table.categories) {
        if (id == category) {
            listers.push_back(std::move(lister));
            return;
        }
    }
    table.categories.emplace_back(category, std::vector<DeviceLister> {std::move(lister)});
}

void RevokeDeviceCategory(REFCLSID category)
{
    CategoryTable& table = Categories();
    std::lock_guard lock(table.mutex);
    std::erase_if(table.categories, [&](const auto& row) { return row.first == category; });
}

HRESULT CreateSystemDeviceEnum(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    auto* p = new (std::nothrow) CSystemDeviceEnum();
    if (!p) return E_OUTOFMEMORY;
    HRESULT hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
}

// ---------------------------------------------------------------------------------------------

HRESULT CSystemDeviceEnum::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ICreateDevEnum) {
        *ppv = static_cast<ICreateDevEnum*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CSystemDeviceEnum::Release()
{
    LONG n = --m_cRef;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT CSystemDeviceEnum::CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker, DWORD)
{
    if (!ppEnumMoniker) return E_POINTER;
    *ppEnumMoniker = nullptr;
    auto devices = std::make_shared<std::vector<DeviceEntry>>();
    for (const DeviceLister& lister : ListersOf(clsidDeviceClass)) {
        std::vector<DeviceEntry> listed = lister();
        for (DeviceEntry& entry : listed) devices->push_back(std::move(entry));
    }
    if (devices->empty()) return S_FALSE;
    auto* p = new (std::nothrow) CEnumDeviceMonikers(clsidDeviceClass, std::move(devices));
    if (!p) return E_OUTOFMEMORY;
    *ppEnumMoniker = p;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------

CEnumDeviceMonikers::CEnumDeviceMonikers(const CLSID& category, DeviceSnapshot devices)
    : m_category(category), m_devices(std::move(devices))
{
}

HRESULT CEnumDeviceMonikers::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumMoniker) {
        *ppv = static_cast<IEnumMoniker*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CEnumDeviceMonikers::Release()
{
    LONG n = --m_cRef;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT CEnumDeviceMonikers::Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched)
{
    if (!rgelt) return E_POINTER;
    if (!pceltFetched && celt != 1) return E_INVALIDARG;
    ULONG n = 0;
    while (n < celt) {
        std::size_t position = m_nPosition.load();
        if (position >= m_devices->size()) break;
        if (!m_nPosition.compare_exchange_weak(position, position + 1)) continue;
        auto* moniker = new (std::nothrow) CDeviceMoniker(m_category, (*m_devices)[position]);
        if (!moniker) {
            while (n > 0) rgelt[--n]->Release();
            if (pceltFetched) *pceltFetched = 0;
            return E_OUTOFMEMORY;
        }
        rgelt[n++] = moniker;
    }
    if (pceltFetched) *pceltFetched = n;
    return n == celt ? S_OK : S_FALSE;
}

HRESULT CEnumDeviceMonikers::Skip(ULONG celt)
{
    std::size_t position = m_nPosition.load();
    std::size_t target;
    do {
        target = std::min(position + celt, m_devices->size());
    } while (!m_nPosition.compare_exchange_weak(position, target));
    return target - position == celt ? S_OK : S_FALSE;
}

HRESULT CEnumDeviceMonikers::Reset()
{
    m_nPosition = 0;
    return S_OK;
}

HRESULT CEnumDeviceMonikers::Clone(IEnumMoniker** ppenum)
{
    if (!ppenum) return E_POINTER;
    auto* p = new (std::nothrow) CEnumDeviceMonikers(m_category, m_devices);
    *ppenum = p;
    if (!p) return E_OUTOFMEMORY;
    p->m_nPosition = m_nPosition.load();
    return S_OK;
}

// ---------------------------------------------------------------------------------------------

CDeviceMoniker::CDeviceMoniker(const CLSID& category, DeviceEntry entry)
    : m_category(category), m_entry(std::move(entry))
{
}

HRESULT CDeviceMoniker::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMoniker) {
        *ppv = static_cast<IMoniker*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CDeviceMoniker::Release()
{
    LONG n = --m_cRef;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT CDeviceMoniker::BindToObject(IBindCtx*, IMoniker*, REFIID riidResult, void** ppvResult)
{
    if (!ppvResult) return E_POINTER;
    *ppvResult = nullptr;
    if (!m_entry.create) return E_UNEXPECTED;
    IBaseFilter* filter = nullptr;
    HRESULT hr = m_entry.create(&filter);
    if (FAILED(hr)) {
        if (filter) filter->Release();
        return hr;
    }
    if (!filter) return E_UNEXPECTED;  // success without an object would hand out nothing
    hr = filter->QueryInterface(riidResult, ppvResult);
    filter->Release();
    return hr;
}

HRESULT CDeviceMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppvObj)
{
    if (!ppvObj) return E_POINTER;
    *ppvObj = nullptr;
    if (riid != IID_IPropertyBag && riid != IID_IUnknown) return E_NOINTERFACE;
    auto* bag = new (std::nothrow) CDevicePropertyBag(m_entry.friendlyName);
    if (!bag) return E_OUTOFMEMORY;
    *ppvObj = static_cast<IPropertyBag*>(bag);
    return S_OK;
}

HRESULT CDeviceMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* ppszDisplayName)
{
    if (!ppszDisplayName) return E_POINTER;
    std::wstring name = L"@device:" + WideFromUtf8(StringFromGUID(m_category)) + L"\\" + m_entry.friendlyName;
    auto* text = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
    *ppszDisplayName = text;
    if (!text) return E_OUTOFMEMORY;
    std::wmemcpy(text, name.c_str(), name.size() + 1);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------

CDevicePropertyBag::CDevicePropertyBag(std::wstring friendlyName) : m_friendlyName(std::move(friendlyName)) {}

HRESULT CDevicePropertyBag::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
        *ppv = static_cast<IPropertyBag*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CDevicePropertyBag::Release()
{
    LONG n = --m_cRef;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT CDevicePropertyBag::Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog*)
{
    if (!pszPropName || !pVar) return E_POINTER;
    if (std::wcscmp(pszPropName, L"FriendlyName") != 0) return E_INVALIDARG;
    // The only stored type is a string; other conversions are not offered.
    if (pVar->vt != VT_EMPTY && pVar->vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    BSTR text = SysAllocString(m_friendlyName.c_str());
    if (!text) return E_OUTOFMEMORY;
    pVar->vt = VT_BSTR;
    pVar->bstrVal = text;
    return S_OK;
}

HRESULT CDevicePropertyBag::Write(LPCOLESTR, VARIANT*)
{
    return E_ACCESSDENIED;
}

HRESULT ReadFriendlyName(IMoniker* pMoniker, std::string* pName)
{
    if (!pMoniker || !pName) return E_POINTER;
    ComPtr<IPropertyBag> pBag;
    HRESULT hr = pMoniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, pBag.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr) || !pBag) return FAILED(hr) ? hr : E_NOINTERFACE;
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_BSTR;
    hr = pBag->Read(L"FriendlyName", &var, nullptr);
    if (SUCCEEDED(hr) && var.vt == VT_BSTR)
        *pName = Utf8FromWide(var.bstrVal);
    else if (SUCCEEDED(hr))
        hr = E_FAIL;
    VariantClear(&var);
    return hr;
}
