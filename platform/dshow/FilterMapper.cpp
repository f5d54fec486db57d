#include "platform/dshow/FilterMapper.h"

#include "platform/com/Registry.h"
#include "platform/com/WideText.h"
#include "platform/dshow/FactoryTemplate.h"
#include "platform/dshow/MediaGraphClasses.h"

#include <cstring>
#include <new>

namespace {

constexpr CLSID CLSID_ActiveMovieCategories {0xDA4E3DA0, 0xD07D, 0x11D0, {0xBD, 0x50, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
constexpr DWORD PIN_RENDERED = 1, PIN_OUTPUT = 2, PIN_ZERO = 4, PIN_MANY = 8;

void PutDword(std::vector<BYTE>& out, DWORD v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}

void PutGuid(std::vector<BYTE>& out, const CLSID* p)
{
    GUID g = p ? *p : GUID_NULL;
    PutDword(out, g.Data1);
    PutDword(out, static_cast<DWORD>(g.Data2) | (static_cast<DWORD>(g.Data3) << 16));
    out.insert(out.end(), g.Data4, g.Data4 + 8);
}

class CReader {
public:
    explicit CReader(const std::vector<BYTE>& data) : m_data(data) {}
    bool Dword(DWORD& v)
    {
        if (m_data.size() - m_pos < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<DWORD>(m_data[m_pos++]) << (8 * i);
        return true;
    }
    bool Guid(GUID& g)
    {
        DWORD a, b;
        if (!Dword(a) || !Dword(b) || m_data.size() - m_pos < 8) return false;
        g.Data1 = a;
        g.Data2 = static_cast<std::uint16_t>(b);
        g.Data3 = static_cast<std::uint16_t>(b >> 16);
        std::memcpy(g.Data4, &m_data[m_pos], 8);
        m_pos += 8;
        return true;
    }
    bool Text(std::string& s, DWORD length)
    {
        if (m_data.size() - m_pos < length) return false;
        s.assign(reinterpret_cast<const char*>(&m_data[m_pos]), length);
        m_pos += length;
        return true;
    }
    bool AtEnd() const { return m_pos == m_data.size(); }

private:
    const std::vector<BYTE>& m_data;
    std::size_t m_pos = 0;
};

} // namespace

std::vector<BYTE> EncodeFilterData(const REGFILTER2& rf2)
{
    std::vector<BYTE> out;
    PutDword(out, 1);
    PutDword(out, rf2.dwMerit);
    PutDword(out, rf2.cPins);
    for (ULONG i = 0; i < rf2.cPins; ++i) {
        const REGFILTERPINS& pin = rf2.rgPins[i];
        DWORD flags = (pin.bRendered ? PIN_RENDERED : 0) | (pin.bOutput ? PIN_OUTPUT : 0) |
                      (pin.bZero ? PIN_ZERO : 0) | (pin.bMany ? PIN_MANY : 0);
        std::string name = Utf8FromWide(pin.strName);
        PutDword(out, flags);
        PutDword(out, static_cast<DWORD>(name.size()));
        out.insert(out.end(), name.begin(), name.end());
        PutGuid(out, pin.clsConnectsToFilter);
        PutDword(out, pin.nMediaTypes);
        for (UINT t = 0; t < pin.nMediaTypes; ++t) {
            PutGuid(out, pin.lpMediaType[t].clsMajorType);
            PutGuid(out, pin.lpMediaType[t].clsMinorType);
        }
    }
    return out;
}

std::optional<RegisteredFilter> DecodeFilterData(const std::vector<BYTE>& data)
{
    CReader in(data);
    DWORD version, cPins;
    RegisteredFilter filter;
    if (!in.Dword(version) || version != 1 || !in.Dword(filter.dwMerit) || !in.Dword(cPins)) return std::nullopt;
    for (DWORD i = 0; i < cPins; ++i) {
        RegisteredPin pin;
        DWORD flags, nameLength, nTypes;
        if (!in.Dword(flags) || !in.Dword(nameLength) || !in.Text(pin.strName, nameLength) ||
            !in.Guid(pin.clsConnectsToFilter) || !in.Dword(nTypes))
            return std::nullopt;
        pin.bRendered = (flags & PIN_RENDERED) != 0;
        pin.bOutput = (flags & PIN_OUTPUT) != 0;
        pin.bZero = (flags & PIN_ZERO) != 0;
        pin.bMany = (flags & PIN_MANY) != 0;
        for (DWORD t = 0; t < nTypes; ++t) {
            GUID major, minor;
            if (!in.Guid(major) || !in.Guid(minor)) return std::nullopt;
            pin.mediaTypes.emplace_back(major, minor);
        }
        filter.pins.push_back(std::move(pin));
    }
    if (!in.AtEnd()) return std::nullopt;
    return filter;
}

std::string FilterInstanceKey(const CLSID* pclsidCategory, LPCWSTR szInstance, REFCLSID Filter)
{
    const CLSID& category = pclsidCategory ? *pclsidCategory : CLSID_LegacyAmFilterCategory;
    std::string instance = szInstance ? Utf8FromWide(szInstance) : StringFromGUID(Filter);
    return "CLSID\\" + StringFromGUID(category) + "\\Instance\\" + instance;
}

HRESULT CFilterMapper2::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IFilterMapper2) return GetInterface(static_cast<IFilterMapper2*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CFilterMapper2::CreateCategory(REFCLSID clsidCategory, DWORD dwCategoryMerit, LPCWSTR Description)
{
    CRegKey key;
    std::string path = "CLSID\\" + StringFromGUID(CLSID_ActiveMovieCategories) + "\\Instance\\" +
                       StringFromGUID(clsidCategory);
    LONG rc = key.Create(HKEY_CLASSES_ROOT, path);
    if (rc == ERROR_SUCCESS) rc = key.SetStringValue("FriendlyName", Utf8FromWide(Description));
    if (rc == ERROR_SUCCESS) rc = key.SetStringValue("CLSID", StringFromGUID(clsidCategory));
    if (rc == ERROR_SUCCESS) rc = key.SetDWORDValue("Merit", dwCategoryMerit);
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(rc));
}

HRESULT CFilterMapper2::UnregisterFilter(const CLSID* pclsidCategory, LPCWSTR szInstance, REFCLSID Filter)
{
    LONG rc = RegDeleteTree(HKEY_CLASSES_ROOT, FilterInstanceKey(pclsidCategory, szInstance, Filter));
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(rc));
}

HRESULT CFilterMapper2::RegisterFilter(REFCLSID clsidFilter, LPCWSTR Name, IMoniker** ppMoniker,
                                       const CLSID* pclsidCategory, LPCWSTR szInstance, const REGFILTER2* prf2)
{
    if (!Name || !prf2) return E_POINTER;
    if (ppMoniker) return E_NOTIMPL;
    if (prf2->dwVersion != 1 || (prf2->cPins && !prf2->rgPins)) return E_INVALIDARG;
    CRegKey key;
    LONG rc = key.Create(HKEY_CLASSES_ROOT, FilterInstanceKey(pclsidCategory, szInstance, clsidFilter));
    if (rc == ERROR_SUCCESS) rc = key.SetStringValue("FriendlyName", Utf8FromWide(Name));
    if (rc == ERROR_SUCCESS) rc = key.SetStringValue("CLSID", StringFromGUID(clsidFilter));
    if (rc == ERROR_SUCCESS) {
        std::vector<BYTE> data = EncodeFilterData(*prf2);
        rc = key.SetBinaryValue("FilterData", data.data(), data.size());
    }
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(rc));
}

HRESULT CreateFilterMapper2(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    return CreateComObject<CFilterMapper2>(pUnkOuter, riid, ppv);
}
