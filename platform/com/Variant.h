#pragma once
// Automation strings and variants, as far as property bags use them: a BSTR is a wide string
// from SysAllocString (freed with SysFreeString), a VARIANT holds an empty value, a 32-bit
// integer or a BSTR.
#include "platform/com/Unknown.h"

using OLECHAR = wchar_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;

BSTR SysAllocString(LPCOLESTR psz);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);

using VARTYPE = unsigned short;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;

struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    union {
        LONG lVal;
        BSTR bstrVal;
    };
};

void VariantInit(VARIANT* pvarg);
// Frees what the variant owns (its BSTR) and leaves it empty.
HRESULT VariantClear(VARIANT* pvarg);
