#include "GraphDoubles.h"

#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"

#include <cstring>

namespace capturetest {

constexpr CLSID CLSID_FakeSoundDevice {0x7E57C0DE, 0x0C0D, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};

void CCallLog::Add(std::string text)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(text));
}

std::vector<std::string> CCallLog::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void CCallLog::Clear()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

// --- video source ---

double CFakeOravane::s_dActualFps = 0.0;
int CFakeOravane::s_nCreated = 0;
bool CFakeOravane::s_bEarlierModule = false;

CCallLog& CFakeOravane::Log()
{
    static CCallLog log;
    return log;
}

CFakeVideoStream::CFakeVideoStream(HRESULT* phr, CFakeOravane* pParent)
    : CSourceStream(L"fake video", phr, pParent, L"Capture")
{
}

HRESULT CFakeVideoStream::GetMediaType(CMediaType* pmt)
{
    auto* pvi = reinterpret_cast<VIDEOINFOHEADER*>(pmt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!pvi)
        return E_OUTOFMEMORY;
    pvi->AvgTimePerFrame = UNITS / 15;
    BITMAPINFOHEADER& bih = pvi->bmiHeader;
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = CFakeOravane::kWidth;
    bih.biHeight = CFakeOravane::kHeight;
    bih.biPlanes = 1;
    bih.biBitCount = 32;
    bih.biCompression = BI_RGB;
    bih.biSizeImage = GetBitmapSize(&bih);
    pmt->SetType(&MEDIATYPE_Video);
    pmt->SetSubtype(&MEDIASUBTYPE_RGB32);
    pmt->SetFormatType(&FORMAT_VideoInfo);
    pmt->SetTemporalCompression(FALSE);
    pmt->SetSampleSize(bih.biSizeImage);
    return S_OK;
}

HRESULT CFakeVideoStream::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp)
{
    pProp->cBuffers = 2;
    pProp->cbBuffer = CFakeOravane::kWidth * CFakeOravane::kHeight * 4;
    ALLOCATOR_PROPERTIES actual {};
    return pAlloc->SetProperties(pProp, &actual);
}

HRESULT CFakeVideoStream::FillBuffer(IMediaSample* pSample)
{
    TickClock().Sleep(20);
    BYTE* p = nullptr;
    pSample->GetPointer(&p);
    std::memset(p, m_nFrame & 0xFF, pSample->GetSize());
    REFERENCE_TIME start = m_nFrame * (UNITS / 15), stop = start + UNITS / 15;
    pSample->SetTime(&start, &stop);
    pSample->SetSyncPoint(TRUE);
    ++m_nFrame;
    return S_OK;
}

CFakeOravane::CFakeOravane() : CSource(L"fake Oravane", nullptr, CLSID_Oravane)
{
    HRESULT hr = S_OK;
    new CFakeVideoStream(&hr, this);  // the source owns its pins
    ++s_nCreated;
}

CFakeOravane::~CFakeOravane() = default;

HRESULT CFakeOravane::Create(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    auto* p = new CFakeOravane;
    p->NonDelegatingAddRef();
    HRESULT hr = p->NonDelegatingQueryInterface(riid, ppv);
    p->NonDelegatingRelease();
    return hr;
}

HRESULT CFakeOravane::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IOravane && m_bEarlier)
        return GetInterface(&m_earlier, ppv);
    if (riid == IID_IOravane)
        return GetInterface(static_cast<IOravane*>(this), ppv);
    if (riid == IID_IOravaneFrameRate && !m_bEarlier)
        return GetInterface(static_cast<IOravaneFrameRate*>(this), ppv);
    return CSource::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CFakeOravane::Stop()
{
    Log().Add("Stop");
    return CSource::Stop();
}

HRESULT CFakeOravane::SetCaptureRect(RECT rc)
{
    m_rc = rc;
    Log().Add("SetCaptureRect(" + std::to_string(rc.left) + "," + std::to_string(rc.top) + "," +
              std::to_string(rc.right) + "," + std::to_string(rc.bottom) + ")");
    return s_hrSetCaptureRect;
}

HRESULT CFakeOravane::GetCaptureRect(RECT* prc)
{
    *prc = m_rc;
    return S_OK;
}

HRESULT CFakeOravane::SetCaptureMode(HWND hWnd, CaptureMode nMode)
{
    Log().Add("SetCaptureMode(" + std::to_string(hWnd) + "," + std::to_string(static_cast<int>(nMode)) + ")");
    return S_OK;
}

HRESULT CFakeOravane::SetDrawCursor(BOOL b)
{
    m_bCursor = b;
    Log().Add("SetDrawCursor(" + std::to_string(b) + ")");
    return S_OK;
}

HRESULT CFakeOravane::GetDrawCursor(BOOL* pb)
{
    *pb = m_bCursor;
    return S_OK;
}

HRESULT CFakeOravane::SetPause(BOOL b)
{
    m_bPause = b;
    Log().Add("SetPause(" + std::to_string(b) + ")");
    return S_OK;
}

HRESULT CFakeOravane::GetPause(BOOL* pb)
{
    *pb = m_bPause;
    return S_OK;
}

HRESULT CFakeOravane::GetActualFrameRate(double* pdFps)
{
    *pdFps = s_dActualFps;
    return S_OK;
}

HRESULT CFakeOravane::SetMaxFrameRate(double dFps)
{
    Log().Add("SetMaxFrameRate(" + std::to_string(static_cast<int>(dFps)) + ")");
    return S_OK;
}

// --- sound device ---

CFakeLinePin::CFakeLinePin(CFakeSoundDevice* pFilter, CCritSec* pLock, HRESULT* phr, const std::wstring& name)
    : CBaseInputPin(L"fake line", pFilter, pLock, phr, name.c_str())
{
}

HRESULT CFakeLinePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IAMAudioInputMixer)
        return GetInterface(static_cast<IAMAudioInputMixer*>(this), ppv);
    return CBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CFakeLinePin::put_Enable(BOOL f)
{
    m_bEnabled = f;
    ++m_nSwitches;
    return S_OK;
}

HRESULT CFakeLinePin::get_Enable(BOOL* pf)
{
    *pf = m_bEnabled;
    return S_OK;
}

CFakeCapturePin::CFakeCapturePin(HRESULT* phr, CFakeSoundDevice* pParent)
    : CSourceStream(L"fake capture", phr, pParent, L"Capture")
{
}

HRESULT CFakeCapturePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IAMStreamConfig)
        return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    return CSourceStream::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CFakeCapturePin::GetMediaType(CMediaType* pmt)
{
    auto* p = reinterpret_cast<WAVEFORMATEX*>(pmt->AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (!p)
        return E_OUTOFMEMORY;
    *p = m_wfx;
    pmt->SetType(&MEDIATYPE_Audio);
    pmt->SetSubtype(&MEDIASUBTYPE_PCM);
    pmt->SetFormatType(&FORMAT_WaveFormatEx);
    pmt->SetTemporalCompression(FALSE);
    pmt->SetSampleSize(m_wfx.nBlockAlign);
    return S_OK;
}

HRESULT CFakeCapturePin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp)
{
    pProp->cBuffers = 4;
    pProp->cbBuffer = static_cast<LONG>(m_wfx.nAvgBytesPerSec / 10);
    ALLOCATOR_PROPERTIES actual {};
    return pAlloc->SetProperties(pProp, &actual);
}

HRESULT CFakeCapturePin::FillBuffer(IMediaSample* pSample)
{
    TickClock().Sleep(100);
    BYTE* p = nullptr;
    pSample->GetPointer(&p);
    const LONG n = static_cast<LONG>(m_wfx.nAvgBytesPerSec / 10);
    std::memset(p, m_wfx.wBitsPerSample == 8 ? 0x80 : 0, n);
    pSample->SetActualDataLength(n);
    const LONGLONG frames = n / m_wfx.nBlockAlign;
    REFERENCE_TIME start = m_nSamples * UNITS / m_wfx.nSamplesPerSec;
    m_nSamples += frames;
    REFERENCE_TIME stop = m_nSamples * UNITS / m_wfx.nSamplesPerSec;
    pSample->SetTime(&start, &stop);
    pSample->SetSyncPoint(TRUE);
    return S_OK;
}

HRESULT CFakeCapturePin::SetFormat(AM_MEDIA_TYPE* pmt)
{
    ++m_nSetFormat;
    if (FAILED(s_hrSetFormat))
        return s_hrSetFormat;
    if (!pmt || pmt->cbFormat < sizeof(WAVEFORMATEX))
        return E_INVALIDARG;
    std::memcpy(&m_wfx, pmt->pbFormat, sizeof(WAVEFORMATEX));
    return S_OK;
}

HRESULT CFakeCapturePin::GetFormat(AM_MEDIA_TYPE** ppmt)
{
    CMediaType mt;
    GetMediaType(&mt);
    *ppmt = CreateMediaType(&mt);
    return *ppmt ? S_OK : E_OUTOFMEMORY;
}

HRESULT CFakeCapturePin::GetNumberOfCapabilities(int* piCount, int* piSize)
{
    *piCount = 0;
    *piSize = 0;
    return S_OK;
}

CFakeSoundDevice::CFakeSoundDevice(const std::vector<std::wstring>& lines)
    : CSource(L"fake sound device", nullptr, CLSID_FakeSoundDevice)
{
    HRESULT hr = S_OK;
    for (const auto& name : lines)
        m_lines.push_back(std::make_unique<CFakeLinePin>(this, pStateLock(), &hr, name));
    m_pCapture = new CFakeCapturePin(&hr, this);
}

CFakeSoundDevice::~CFakeSoundDevice() = default;

int CFakeSoundDevice::GetPinCount()
{
    return static_cast<int>(m_lines.size()) + CSource::GetPinCount();
}

CBasePin* CFakeSoundDevice::GetPin(int n)
{
    if (n >= 0 && n < static_cast<int>(m_lines.size()))
        return m_lines[n].get();
    return CSource::GetPin(n - static_cast<int>(m_lines.size()));
}

CFakeLinePin* CFakeSoundDevice::Line(const std::wstring& name)
{
    for (auto& line : m_lines)
        if (line->Name() == name)
            return line.get();
    return nullptr;
}

// --- device categories ---

struct CFakeDevices::State {
    std::mutex mutex;
    std::vector<FakeDevice> sound, audioCompressors, videoCompressors;
    std::vector<ComPtr<IBaseFilter>> bound;
    std::vector<CFakeSoundDevice*> boundSound;
};

namespace {

std::vector<DeviceEntry> Entries(const std::shared_ptr<CFakeDevices::State>& state,
                                 std::vector<FakeDevice> CFakeDevices::State::*list, bool bSound)
{
    std::lock_guard lock(state->mutex);
    std::vector<DeviceEntry> entries;
    for (const FakeDevice& device : (*state).*list) {
        std::weak_ptr<CFakeDevices::State> weak = state;
        entries.push_back({device.name, [weak, device, bSound](IBaseFilter** ppFilter) -> HRESULT {
                               auto locked = weak.lock();
                               if (!locked || device.failBind)
                                   return E_FAIL;
                               auto* pDevice = new CFakeSoundDevice(device.lines);
                               pDevice->NonDelegatingAddRef();
                               *ppFilter = pDevice;
                               std::lock_guard lock(locked->mutex);
                               locked->bound.emplace_back(pDevice);
                               if (bSound)
                                   locked->boundSound.push_back(pDevice);
                               return S_OK;
                           }});
    }
    return entries;
}

} // namespace

CFakeDevices::CFakeDevices() : m_state(std::make_shared<State>())
{
    std::weak_ptr<State> weak = m_state;
    auto lister = [weak](std::vector<FakeDevice> State::*list, bool bSound) {
        return [weak, list, bSound]() {
            auto state = weak.lock();
            return state ? Entries(state, list, bSound) : std::vector<DeviceEntry> {};
        };
    };
    RevokeDeviceCategory(CLSID_AudioInputDeviceCategory);
    RevokeDeviceCategory(CLSID_AudioCompressorCategory);
    RevokeDeviceCategory(CLSID_VideoCompressorCategory);
    RegisterDeviceCategory(CLSID_AudioInputDeviceCategory, lister(&State::sound, true));
    RegisterDeviceCategory(CLSID_AudioCompressorCategory, lister(&State::audioCompressors, false));
    RegisterDeviceCategory(CLSID_VideoCompressorCategory, lister(&State::videoCompressors, false));
}

CFakeDevices::~CFakeDevices()
{
    RevokeDeviceCategory(CLSID_AudioInputDeviceCategory);
    RevokeDeviceCategory(CLSID_AudioCompressorCategory);
    RevokeDeviceCategory(CLSID_VideoCompressorCategory);
}

void CFakeDevices::SetSoundDevices(std::vector<FakeDevice> devices)
{
    std::lock_guard lock(m_state->mutex);
    m_state->sound = std::move(devices);
}

void CFakeDevices::SetAudioCompressors(std::vector<FakeDevice> devices)
{
    std::lock_guard lock(m_state->mutex);
    m_state->audioCompressors = std::move(devices);
}

void CFakeDevices::SetVideoCompressors(std::vector<FakeDevice> devices)
{
    std::lock_guard lock(m_state->mutex);
    m_state->videoCompressors = std::move(devices);
}

std::vector<CFakeSoundDevice*> CFakeDevices::BoundSoundDevices() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->boundSound;
}

// --- mixer ---

CFakeMixer::CFakeMixer()
{
    SetMixerSystem(this);
}

CFakeMixer::~CFakeMixer()
{
    SetMixerSystem(nullptr);
}

UINT CFakeMixer::CountDevices()
{
    return static_cast<UINT>(m_devices.size());
}

std::optional<MixerDeviceData> CFakeMixer::OpenDevice(UINT uMxId)
{
    ++m_nOpens;
    if (m_bOpenFails || uMxId >= m_devices.size())
        return std::nullopt;
    return m_devices[uMxId];
}

MixerLineData WaveIn(std::vector<MixerLineData> sources)
{
    return MixerLineData {MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control", std::move(sources)};
}

MixerLineData Line(DWORD type, std::string name)
{
    return MixerLineData {type, std::move(name), {}};
}

void InstallGraphClasses()
{
    RegisterMediaGraphClasses();
    CoRegisterBuiltInClass(CLSID_Oravane, &CFakeOravane::Create);
}

void GraphDoublesTest::SetUp()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InstallGraphClasses();
    m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
        m_messages.push_back(r.text);
        return platform::IDOK;
    });
}

void GraphDoublesTest::TearDown()
{
    platform::SetMessageBoxHandler(m_previous);
    CoUninitialize();
}

} // namespace capturetest
