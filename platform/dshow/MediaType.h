#pragma once
// CMediaType: an AM_MEDIA_TYPE that owns its format block (and pUnk reference).
#include "platform/dshow/MediaTypes.h"

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    CMediaType(const AM_MEDIA_TYPE& type);  // copies; an allocation failure leaves no format
    CMediaType(const CMediaType& type);
    CMediaType& operator=(const AM_MEDIA_TYPE& type);
    CMediaType& operator=(const CMediaType& type);
    ~CMediaType();

    // Same major, sub and format type and byte-equal format blocks.
    bool operator==(const CMediaType& other) const;
    bool operator!=(const CMediaType& other) const { return !(*this == other); }

    HRESULT Set(const AM_MEDIA_TYPE& type);
    bool IsValid() const { return majortype != GUID_NULL; }
    const GUID* Type() const { return &majortype; }
    const GUID* Subtype() const { return &subtype; }
    const GUID* FormatType() const { return &formattype; }
    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    bool IsFixedSize() const { return bFixedSizeSamples != FALSE; }
    bool IsTemporalCompressed() const { return bTemporalCompression != FALSE; }
    ULONG GetSampleSize() const { return bFixedSizeSamples ? lSampleSize : 0; }

    void SetType(const GUID* p) { majortype = *p; }
    void SetSubtype(const GUID* p) { subtype = *p; }
    void SetFormatType(const GUID* p) { formattype = *p; }
    void SetTemporalCompression(BOOL b) { bTemporalCompression = b; }
    void SetSampleSize(ULONG sz);
    void SetVariableSize() { bFixedSizeSamples = FALSE; }
    // Replaces the format block with a zeroed one of length bytes; nullptr when out of memory.
    BYTE* AllocFormatBuffer(ULONG length);
    BYTE* ReallocFormatBuffer(ULONG length);
    bool SetFormat(const BYTE* p, ULONG length);
    void ResetFormatBuffer();
    void InitMediaType();
};

// Frees the format block and the pUnk reference of a type (not the struct itself).
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Frees a type CoTaskMemAlloc'd whole (as IEnumMediaTypes hands them out).
void DeleteMediaType(AM_MEDIA_TYPE* pmt);
HRESULT CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource);
// A CoTaskMemAlloc'd copy; nullptr when out of memory.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc);
