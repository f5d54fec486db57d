#pragma once
// The System Device Enumerator: device categories listed as monikers, each with a property bag
// that holds its "FriendlyName", each bindable to its filter. The categories are filled by the
// layers that own the devices (compressors, sound capture) through RegisterDeviceCategory.
#include "platform/com/Variant.h"
#include "platform/dshow/Interfaces.h"

#include <functional>
#include <string>
#include <vector>

constexpr IID IID_IPropertyBag {0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
constexpr IID IID_IMoniker {0x0000000F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IEnumMoniker {0x00000102, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_ICreateDevEnum {0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr CLSID CLSID_SystemDeviceEnum {0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

constexpr CLSID CLSID_VideoCompressorCategory {0x33D9A760, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr CLSID CLSID_AudioCompressorCategory {0x33D9A761, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr CLSID CLSID_AudioInputDeviceCategory {0x33D9A762, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

struct IErrorLog;
struct IBindCtx;

struct IPropertyBag : IUnknown {
    // pVar->vt says the wanted type (VT_EMPTY: the stored one); a missing name gives E_INVALIDARG.
    virtual HRESULT Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) = 0;
    virtual HRESULT Write(LPCOLESTR pszPropName, VARIANT* pVar) = 0;
};

// Only the binding members of the platform's moniker; the persistence and composition members are
// left out.
struct IMoniker : IUnknown {
    virtual HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) = 0;
    virtual HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) = 0;
    virtual HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) = 0;
};

struct IEnumMoniker : IUnknown {
    virtual HRESULT Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMoniker** ppenum) = 0;
};

struct ICreateDevEnum : IUnknown {
    // S_FALSE and no enumerator for a category without devices (or an unknown one).
    virtual HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker, DWORD dwFlags) = 0;
};

// One device of a category: its friendly name and how to make its filter (one new object per call).
struct DeviceEntry {
    std::wstring friendlyName;
    std::function<HRESULT(IBaseFilter** ppFilter)> create;
};
// Lists a category's devices at the time of the call (devices may come and go).
using DeviceLister = std::function<std::vector<DeviceEntry>()>;

// Adds a lister to a category; a category lists the devices of all its listers in the order the
// listers were added.
void RegisterDeviceCategory(REFCLSID category, DeviceLister lister);
// Forgets every lister of a category (tests).
void RevokeDeviceCategory(REFCLSID category);

HRESULT CreateSystemDeviceEnum(IUnknown* pUnkOuter, REFIID riid, void** ppv);

// A moniker's "FriendlyName" in the system code page: the bag's result, E_FAIL when the value is
// not a string; *pName is set only when it was read as one.
HRESULT ReadFriendlyName(IMoniker* pMoniker, std::string* pName);
