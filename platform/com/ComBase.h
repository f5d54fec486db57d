#pragma once
// The COM runtime's basic types: result codes with the platform's values, GUIDs and their
// registry text form, and the per-thread initialisation count.
#include "platform/base/WinTypes.h"

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
constexpr HRESULT VFW_S_NO_MORE_ITEMS = 0x00040103;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT HRESULT_FROM_WIN32(unsigned long x)
{
    return static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x)
                                         : static_cast<HRESULT>((x & 0x0000FFFFu) | (7u << 16) | 0x80000000u);
}

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend bool operator==(const GUID&, const GUID&) = default;
    friend auto operator<=>(const GUID&, const GUID&) = default;
};
using CLSID = GUID;
using IID = GUID;
using REFGUID = const GUID&;
using REFCLSID = const GUID&;
using REFIID = const GUID&;

constexpr GUID GUID_NULL {};

// "{1883B2AD-5FBE-4223-9797-AC1D0097E4D9}": upper-case hex, braces, as the registry holds it.
std::string StringFromGUID(const GUID& guid);
// Accepts that form (either case, braces required). Nothing for anything else.
std::optional<GUID> GUIDFromString(const std::string& text);

// Thread initialisation of the runtime. The first call on a thread fixes its model; a later call
// with the other model fails with RPC_E_CHANGED_MODE, a repeated one gives S_FALSE. Every
// successful call is balanced by CoUninitialize.
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
void CoUninitialize();
// How many successful initialisations the calling thread holds (0 = not initialised).
int CoGetInitializeCount();
