#pragma once
// What a filter module tells the base classes about itself: the factory-template table with the
// set-up data of each filter, and the module entry points built on it (class factory, unload
// check, self-registration of the COM server entries and the filter data).
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/BaseUnknown.h"
#include "platform/dshow/Interfaces.h"

using AMOVIESETUP_MEDIATYPE = REGPINTYPES;
using AMOVIESETUP_PIN = REGFILTERPINS;
struct AMOVIESETUP_FILTER {
    const CLSID* clsID;
    LPCWSTR strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
};

using LPFNNewCOMObject = CUnknown* (*)(IUnknown* pUnkOuter, HRESULT* phr);
using LPFNInitRoutine = void (*)(BOOL bLoading, const CLSID* rclsid);

struct CFactoryTemplate {
    LPCWSTR m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;
    const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;

    bool IsClassID(REFCLSID rclsid) const { return *m_ClsID == rclsid; }
    CUnknown* CreateInstance(IUnknown* pUnk, HRESULT* phr) const { return m_lpfnNew(pUnk, phr); }
};

// The module's table, handed to each entry point (the module owns it as a constant).
struct FactoryTemplateTable {
    const CFactoryTemplate* templates;
    int count;
};

// Runs every template's initialisation routine (module load / unload).
void AMovieInitTemplates(const FactoryTemplateTable& table, BOOL bLoading);
HRESULT AMovieDllGetClassObject(const FactoryTemplateTable& table, REFCLSID rclsid, REFIID riid, void** pv);
// S_OK when no object and no server lock of the module is alive.
HRESULT AMovieDllCanUnloadNow();
// The module named by hModule (an address inside it): COM server entries for each template, then
// the filter data through IFilterMapper2; with bRegister FALSE, the reverse.
HRESULT AMovieDllRegisterServer2(const FactoryTemplateTable& table, HMODULE hModule, BOOL bRegister);

// COM server entries of one class: CLSID\{id} (default value = name) with InprocServer32
// (default value = module path, ThreadingModel = "Both"); removal deletes the whole key.
HRESULT AMovieSetupRegisterServer(REFCLSID clsServer, LPCWSTR szDescription, const char* szFileName,
                                  const char* szThreadingModel = "Both", const char* szServerType = "InprocServer32");
HRESULT AMovieSetupUnregisterServer(REFCLSID clsServer);

