#include "platform/pulse/AudioCaptureFilter.h"

#include "platform/com/TaskMemory.h"
#include "platform/com/WideText.h"
#include "platform/pulse/AudioCaptureStream.h"

#include <new>

CAudioInputPin::CAudioInputPin(CAudioCaptureFilter* pFilter, CCritSec* pLock, int index, const std::wstring& name)
    : CBasePin(L"CAudioInputPin", pFilter, pLock, nullptr, name.c_str(), PINDIR_INPUT), m_pCapture(pFilter), m_index(index)
{
}

HRESULT CAudioInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IAMAudioInputMixer) return GetInterface(static_cast<IAMAudioInputMixer*>(this), ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAudioInputPin::put_Enable(BOOL fEnable)
{
    return m_pCapture->EnableInput(m_index, fEnable != FALSE);
}

HRESULT CAudioInputPin::get_Enable(BOOL* pfEnable)
{
    if (!pfEnable) return E_POINTER;
    *pfEnable = m_pCapture->EnabledInput() == m_index ? TRUE : FALSE;
    return S_OK;
}

HRESULT CAudioCaptureFilter::Create(const SoundDevice& device, IBaseFilter** ppFilter)
{
    if (!ppFilter) return E_POINTER;
    *ppFilter = nullptr;
    auto* filter = new (std::nothrow) CAudioCaptureFilter(device);
    if (!filter) return E_OUTOFMEMORY;
    if (!filter->m_pCapture || filter->m_inputs.size() != device.inputs.size()) {
        delete filter;
        return E_OUTOFMEMORY;
    }
    return filter->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(ppFilter));
}

CAudioCaptureFilter::CAudioCaptureFilter(const SoundDevice& device)
    : CSource(L"CAudioCaptureFilter", nullptr, CLSID_AudioCaptureFilter), m_device(device)
{
    HRESULT hr = S_OK;
    m_pCapture = new (std::nothrow) CAudioCaptureStream(this, &hr);
    if (m_pCapture && FAILED(hr)) {
        delete m_pCapture;
        m_pCapture = nullptr;
    }
    for (std::size_t i = 0; i < m_device.inputs.size(); ++i) {
        const SoundInput& in = m_device.inputs[i];
        m_inputs.push_back(std::make_unique<CAudioInputPin>(this, &m_cStateLock, static_cast<int>(i), WideFromUtf8(in.lineName)));
        if (in.isDefault && m_iEnabled < 0) m_iEnabled = static_cast<int>(i);
    }
}

CAudioCaptureFilter::~CAudioCaptureFilter() = default;

HRESULT CAudioCaptureFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    return CSource::NonDelegatingQueryInterface(riid, ppv);
}

int CAudioCaptureFilter::GetPinCount()
{
    CAutoLock lock(&m_cStateLock);
    return CSource::GetPinCount() + static_cast<int>(m_inputs.size());
}

CBasePin* CAudioCaptureFilter::GetPin(int n)
{
    CAutoLock lock(&m_cStateLock);
    int outputs = CSource::GetPinCount();
    if (n < outputs) return CSource::GetPin(n);
    n -= outputs;
    if (n < 0 || n >= static_cast<int>(m_inputs.size())) return nullptr;
    return m_inputs[static_cast<std::size_t>(n)].get();
}

HRESULT CAudioCaptureFilter::Stop()
{
    return CSource::Stop();
}

HRESULT CAudioCaptureFilter::Pause()
{
    CAutoLock lock(&m_cStateLock);
    if (m_State == State_Stopped && m_iEnabled < 0) return VFW_E_NO_CAPTURE_HARDWARE;
    if (m_State == State_Running) {
        HRESULT hr = m_pCapture->PauseFlow();
        if (FAILED(hr)) return hr;
    }
    return CSource::Pause();
}

HRESULT CAudioCaptureFilter::Run(REFERENCE_TIME tStart)
{
    CAutoLock lock(&m_cStateLock);
    bool wasRunning = m_State == State_Running;
    HRESULT hr = CSource::Run(tStart);  // from stopped this pauses first, which opens the stream
    if (FAILED(hr) || wasRunning) return hr;
    hr = m_pCapture->StartFlow();
    if (FAILED(hr)) {
        // The server refused to start: stay paused rather than run without sound.
        m_State = State_Paused;
        return hr;
    }
    return S_OK;
}

HRESULT CAudioCaptureFilter::GetPages(CAUUID* pPages)
{
    if (!pPages) return E_POINTER;
    pPages->cElems = 0;
    pPages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pPages->pElems) return E_OUTOFMEMORY;
    pPages->pElems[0] = CLSID_AudioCapturePropertyPage;
    pPages->cElems = 1;
    return S_OK;
}

int CAudioCaptureFilter::EnabledInput()
{
    CAutoLock lock(&m_cStateLock);
    return m_iEnabled;
}

HRESULT CAudioCaptureFilter::EnableInput(int index, bool bEnable)
{
    CAutoLock lock(&m_cStateLock);
    if (index < 0 || index >= static_cast<int>(m_inputs.size())) return E_INVALIDARG;
    if (bEnable)
        m_iEnabled = index;
    else if (m_iEnabled == index)
        m_iEnabled = -1;
    return S_OK;
}

std::string CAudioCaptureFilter::InputSourceName(int index)
{
    CAutoLock lock(&m_cStateLock);
    if (index < 0 || index >= static_cast<int>(m_device.inputs.size())) return {};
    return m_device.inputs[static_cast<std::size_t>(index)].sourceName;
}
