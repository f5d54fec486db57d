#include "platform/com/ComBase.h"

#include <cstdio>

namespace {

struct ThreadInit {
    int count = 0;
    DWORD model = 0;
};
thread_local ThreadInit t_init;

} // namespace

std::string StringFromGUID(const GUID& g)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::optional<GUID> GUIDFromString(const std::string& text)
{
    // {8-4-4-4-12}
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    static constexpr int kDashes[] = {9, 14, 19, 24};
    std::string hex;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        bool dash = false;
        for (int d : kDashes)
            dash |= static_cast<int>(i) == d;
        char c = text[i];
        if (dash) {
            if (c != '-')
                return std::nullopt;
            continue;
        }
        bool isHex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!isHex)
            return std::nullopt;
        hex += c;
    }
    auto field = [&](size_t pos, size_t len) { return std::stoul(hex.substr(pos, len), nullptr, 16); };
    GUID g;
    g.Data1 = static_cast<std::uint32_t>(field(0, 8));
    g.Data2 = static_cast<std::uint16_t>(field(8, 4));
    g.Data3 = static_cast<std::uint16_t>(field(12, 4));
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<std::uint8_t>(field(16 + 2 * i, 2));
    return g;
}

HRESULT CoInitializeEx(void*, DWORD dwCoInit)
{
    if (t_init.count > 0) {
        if (t_init.model != dwCoInit)
            return RPC_E_CHANGED_MODE;
        ++t_init.count;
        return S_FALSE;
    }
    t_init.model = dwCoInit;
    t_init.count = 1;
    return S_OK;
}

void CoUninitialize()
{
    if (t_init.count > 0)
        --t_init.count;
}

int CoGetInitializeCount()
{
    return t_init.count;
}
