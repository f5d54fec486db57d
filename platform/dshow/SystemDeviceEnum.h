#pragma once
// The System Device Enumerator's objects: the enumerator itself (ICreateDevEnum), the moniker
// enumerator over a snapshot of a category, one moniker per device and its property bag. The
// category table behind RegisterDeviceCategory lives in SystemDeviceEnum.cpp.
#include "platform/dshow/DeviceEnum.h"

#include <atomic>
#include <memory>

class CSystemDeviceEnum final : public ICreateDevEnum {
public:
    CSystemDeviceEnum() = default;
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override;
    HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker, DWORD dwFlags) override;

private:
    ~CSystemDeviceEnum() = default;
    std::atomic<LONG> m_cRef {1};
};

// The devices a category had when the enumerator was made; clones share the snapshot.
using DeviceSnapshot = std::shared_ptr<const std::vector<DeviceEntry>>;

class CEnumDeviceMonikers final : public IEnumMoniker {
public:
    CEnumDeviceMonikers(const CLSID& category, DeviceSnapshot devices);
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override;
    HRESULT Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) override;
    HRESULT Skip(ULONG celt) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMoniker** ppenum) override;

private:
    ~CEnumDeviceMonikers() = default;
    std::atomic<LONG> m_cRef {1};
    CLSID m_category;
    DeviceSnapshot m_devices;
    std::atomic<std::size_t> m_nPosition {0};
};

class CDeviceMoniker final : public IMoniker {
public:
    CDeviceMoniker(const CLSID& category, DeviceEntry entry);
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override;
    // IID_IBaseFilter: a new filter from the entry, its failure passed on.
    HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) override;
    // IID_IPropertyBag: a bag holding "FriendlyName".
    HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) override;
    // "@device:{category}\friendly name", CoTaskMemAlloc'd.
    HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) override;

private:
    ~CDeviceMoniker() = default;
    std::atomic<LONG> m_cRef {1};
    CLSID m_category;
    DeviceEntry m_entry;
};

// Read-only: the device's properties are not ours to change.
class CDevicePropertyBag final : public IPropertyBag {
public:
    explicit CDevicePropertyBag(std::wstring friendlyName);
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override;
    HRESULT Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
    HRESULT Write(LPCOLESTR pszPropName, VARIANT* pVar) override;

private:
    ~CDevicePropertyBag() = default;
    std::atomic<LONG> m_cRef {1};
    std::wstring m_friendlyName;
};
