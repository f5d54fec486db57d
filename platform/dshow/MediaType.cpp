#include "platform/dshow/MediaType.h"

#include "platform/com/TaskMemory.h"

#include <algorithm>
#include <cstring>

void FreeMediaType(AM_MEDIA_TYPE& mt)
{
    if (mt.cbFormat != 0 || mt.pbFormat) CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt) return;
    FreeMediaType(*pmt);
    CoTaskMemFree(pmt);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource)
{
    if (!pmtTarget || !pmtSource) return E_POINTER;
    *pmtTarget = *pmtSource;
    if (pmtSource->cbFormat != 0 && pmtSource->pbFormat) {
        pmtTarget->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(pmtSource->cbFormat));
        if (!pmtTarget->pbFormat) {
            pmtTarget->cbFormat = 0;
            pmtTarget->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(pmtTarget->pbFormat, pmtSource->pbFormat, pmtSource->cbFormat);
    } else {
        pmtTarget->pbFormat = nullptr;
        pmtTarget->cbFormat = 0;
    }
    if (pmtTarget->pUnk) pmtTarget->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc)
{
    auto* pmt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!pmt) return nullptr;
    if (FAILED(CopyMediaType(pmt, pSrc))) {
        CoTaskMemFree(pmt);
        return nullptr;
    }
    return pmt;
}

CMediaType::CMediaType()
{
    InitMediaType();
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type) : CMediaType()
{
    Set(type);
}

CMediaType::CMediaType(const CMediaType& type) : CMediaType()
{
    Set(type);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type)
{
    Set(type);
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& type)
{
    Set(type);
    return *this;
}

CMediaType::~CMediaType()
{
    FreeMediaType(*this);
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& type)
{
    if (&type == static_cast<AM_MEDIA_TYPE*>(this)) return S_OK;
    FreeMediaType(*this);
    HRESULT hr = CopyMediaType(this, &type);
    if (FAILED(hr)) InitMediaType();
    return hr;
}

bool CMediaType::operator==(const CMediaType& other) const
{
    return majortype == other.majortype && subtype == other.subtype && formattype == other.formattype &&
           cbFormat == other.cbFormat && (cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}

void CMediaType::SetSampleSize(ULONG sz)
{
    if (sz == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = sz;
    }
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length)
{
    ResetFormatBuffer();
    auto* p = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!p) return nullptr;
    std::memset(p, 0, length);
    pbFormat = p;
    cbFormat = length;
    return p;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length)
{
    auto* p = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!p) return nullptr;
    std::memset(p, 0, length);
    if (pbFormat) std::memcpy(p, pbFormat, std::min(length, cbFormat));
    CoTaskMemFree(pbFormat);
    pbFormat = p;
    cbFormat = length;
    return p;
}

bool CMediaType::SetFormat(const BYTE* p, ULONG length)
{
    if (!AllocFormatBuffer(length)) return false;
    std::memcpy(pbFormat, p, length);
    return true;
}

void CMediaType::ResetFormatBuffer()
{
    CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

void CMediaType::InitMediaType()
{
    majortype = GUID_NULL;
    subtype = GUID_NULL;
    formattype = GUID_NULL;
    bFixedSizeSamples = TRUE;
    bTemporalCompression = FALSE;
    lSampleSize = 1;
    pUnk = nullptr;
    pbFormat = nullptr;
    cbFormat = 0;
}

GUID GetBitmapSubtype(const BITMAPINFOHEADER* pHeader)
{
    if (!pHeader) return GUID_NULL;
    const auto* masks = reinterpret_cast<const DWORD*>(pHeader + 1);
    switch (pHeader->biBitCount) {
    case 8: return pHeader->biCompression == BI_RGB ? MEDIASUBTYPE_RGB8 : GUID_NULL;
    case 16:
        if (pHeader->biCompression == BI_RGB) return MEDIASUBTYPE_RGB555;
        if (pHeader->biCompression != BI_BITFIELDS) return GUID_NULL;
        if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) return MEDIASUBTYPE_RGB565;
        if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) return MEDIASUBTYPE_RGB555;
        return GUID_NULL;
    case 24: return pHeader->biCompression == BI_RGB ? MEDIASUBTYPE_RGB24 : GUID_NULL;
    case 32: return pHeader->biCompression == BI_RGB || pHeader->biCompression == BI_BITFIELDS ? MEDIASUBTYPE_RGB32
                                                                                                : GUID_NULL;
    default: return GUID_NULL;
    }
}

DWORD GetBitmapSize(const BITMAPINFOHEADER* pHeader)
{
    LONG height = pHeader->biHeight < 0 ? -pHeader->biHeight : pHeader->biHeight;
    return DibStride(pHeader->biWidth, pHeader->biBitCount) * static_cast<DWORD>(height);
}
