#pragma once
// Filter Mapper 2: filter registrations in the registry, one key per filter under its category
// (the DirectShow filters category unless named): CLSID\{category}\Instance\{filter or instance}
// with "FriendlyName", "CLSID" and "FilterData" (merit and pins, binary).
#include "platform/dshow/BaseUnknown.h"
#include "platform/dshow/Interfaces.h"

#include <optional>
#include <string>
#include <vector>

class CFilterMapper2 final : public CUnknown, public IFilterMapper2 {
public:
    explicit CFilterMapper2(IUnknown* pUnk) : CUnknown(L"CFilterMapper2", pUnk) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CreateCategory(REFCLSID clsidCategory, DWORD dwCategoryMerit, LPCWSTR Description) override;
    // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when there is no such registration.
    HRESULT UnregisterFilter(const CLSID* pclsidCategory, LPCWSTR szInstance, REFCLSID Filter) override;
    // Monikers are not made: ppMoniker must be null.
    HRESULT RegisterFilter(REFCLSID clsidFilter, LPCWSTR Name, IMoniker** ppMoniker, const CLSID* pclsidCategory,
                           LPCWSTR szInstance, const REGFILTER2* prf2) override;
};

// The stored filter data, decoded (for lookups and tests).
struct RegisteredPin {
    std::string strName;
    BOOL bRendered, bOutput, bZero, bMany;
    CLSID clsConnectsToFilter;
    std::vector<std::pair<CLSID, CLSID>> mediaTypes;
};
struct RegisteredFilter {
    DWORD dwMerit;
    std::vector<RegisteredPin> pins;
};
std::vector<BYTE> EncodeFilterData(const REGFILTER2& rf2);
std::optional<RegisteredFilter> DecodeFilterData(const std::vector<BYTE>& data);
// The registry key of a filter's registration.
std::string FilterInstanceKey(const CLSID* pclsidCategory, LPCWSTR szInstance, REFCLSID Filter);
