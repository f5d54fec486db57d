#pragma once
// Media graph data types and GUID values with the platform's layouts and numbers.
#include "platform/base/WinGdiTypes.h"
#include "platform/com/Unknown.h"

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;  // CoTaskMemAlloc'd
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

// The header followed by room for 256 colour entries (or the three masks).
struct VIDEOINFO {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
    union {
        RGBQUAD bmiColors[256];
        DWORD dwBitMasks[3];
    };
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(sizeof(VIDEOINFO) == 1112 || sizeof(VIDEOINFO) == 1128);
constexpr ULONG SIZE_VIDEOINFO = 1128;  // the platform's sizeof(VIDEOINFO), with its trailing room

struct ALLOCATOR_PROPERTIES {
    LONG cBuffers;
    LONG cbBuffer;
    LONG cbAlign;
    LONG cbPrefix;
};

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

constexpr LONGLONG UNITS = 10000000;  // 100 ns units per second
constexpr ULONG MAX_PIN_NAME = 128;
constexpr ULONG MAX_FILTER_NAME = 128;

constexpr DWORD MERIT_PREFERRED = 0x800000;
constexpr DWORD MERIT_NORMAL = 0x600000;
constexpr DWORD MERIT_UNLIKELY = 0x400000;
constexpr DWORD MERIT_DO_NOT_USE = 0x200000;

// Result codes of the media graph.
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT VFW_E_NEED_OWNER = static_cast<HRESULT>(0x80040202u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT VFW_E_FILTER_ACTIVE = static_cast<HRESULT>(0x80040205u);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = static_cast<HRESULT>(0x80040207u);
constexpr HRESULT VFW_E_INVALID_DIRECTION = static_cast<HRESULT>(0x80040208u);
constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
constexpr HRESULT VFW_E_NO_ALLOCATOR = static_cast<HRESULT>(0x8004020Au);
constexpr HRESULT VFW_E_BUFFER_NOTSET = static_cast<HRESULT>(0x8004020Cu);
constexpr HRESULT VFW_E_BUFFER_OVERFLOW = static_cast<HRESULT>(0x8004020Du);
constexpr HRESULT VFW_E_BADALIGN = static_cast<HRESULT>(0x8004020Eu);
constexpr HRESULT VFW_E_ALREADY_COMMITTED = static_cast<HRESULT>(0x8004020Fu);
constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = static_cast<HRESULT>(0x80040210u);
constexpr HRESULT VFW_E_NOT_COMMITTED = static_cast<HRESULT>(0x80040211u);
constexpr HRESULT VFW_E_SIZENOTSET = static_cast<HRESULT>(0x80040212u);
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);
constexpr HRESULT VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217u);
constexpr HRESULT VFW_E_NOT_STOPPED = static_cast<HRESULT>(0x80040224u);
constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);
constexpr HRESULT VFW_E_START_TIME_AFTER_END = static_cast<HRESULT>(0x80040228u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022Au);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = static_cast<HRESULT>(0x8004025Fu);
constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = static_cast<HRESULT>(0x80040249u);
constexpr HRESULT VFW_S_DUPLICATE_NAME = 0x0004022D;

constexpr GUID MEDIATYPE_Video {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID MEDIATYPE_Audio {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID MEDIATYPE_Stream {0xE436EB83, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIASUBTYPE_NULL = GUID_NULL;
constexpr GUID MEDIASUBTYPE_RGB8 {0xE436EB7A, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIASUBTYPE_RGB565 {0xE436EB7B, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIASUBTYPE_RGB555 {0xE436EB7C, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIASUBTYPE_RGB24 {0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIASUBTYPE_RGB32 {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIASUBTYPE_Avi {0xE436EB88, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr GUID MEDIASUBTYPE_PCM {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID FORMAT_VideoInfo {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr GUID FORMAT_WaveFormatEx {0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// The standard rule: the subtype that a bitmap header describes (GUID_NULL when none fits).
GUID GetBitmapSubtype(const BITMAPINFOHEADER* pHeader);
// Image bytes of a bottom-up DIB with the header's size and depth.
DWORD GetBitmapSize(const BITMAPINFOHEADER* pHeader);

constexpr HRESULT VFW_S_NO_STOP_TIME = 0x00040270;
constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = static_cast<HRESULT>(0x80040251u);
constexpr HRESULT VFW_E_TIMEOUT = static_cast<HRESULT>(0x8004022Eu);
constexpr HRESULT VFW_E_RUNTIME_ERROR = static_cast<HRESULT>(0x8004020Bu);
constexpr HRESULT VFW_E_DUPLICATE_NAME_FILTER = static_cast<HRESULT>(0x80040201u);  // the filter is in the graph already
