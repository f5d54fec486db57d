#pragma once
// Creating objects by class id: classes built into the process come first, then in-process
// servers named by CLSID\{id}\InprocServer32 in the registry, loaded with dlopen and asked
// through their exported DllGetClassObject.
#include "platform/com/Unknown.h"

#include <string>

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER;

// The entry points an in-process server module exports (by these names, C linkage).
using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
using PFN_DllCanUnloadNow = HRESULT (*)();
using PFN_DllRegisterServer = HRESULT (*)();

// Creates one object of a built-in class. Aggregation is the creator's business: pUnkOuter is
// passed on.
using PFN_CreateBuiltInObject = HRESULT (*)(IUnknown* pUnkOuter, REFIID riid, void** ppv);

// Makes clsid a built-in class of this process (replaces an earlier registration).
void CoRegisterBuiltInClass(REFCLSID clsid, PFN_CreateBuiltInObject pfnCreate);
void CoRevokeBuiltInClass(REFCLSID clsid);

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid, void** ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv);

// Unloads every loaded server module whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// A module is named by any address inside it (a function or object it defines).
using HMODULE = const void*;
// The module's full path and its length. A path that does not fit is cut to nSize - 1
// characters and nSize is returned (last error ERROR_INSUFFICIENT_BUFFER); 0 on failure (last
// error ERROR_MOD_NOT_FOUND).
DWORD GetModuleFileNameA(HMODULE hModule, char* lpFilename, DWORD nSize);
constexpr DWORD MAX_PATH = 260;
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_MOD_NOT_FOUND = 126;

// The calling thread's last error, as the platform calls above leave it.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
