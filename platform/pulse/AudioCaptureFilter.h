#pragma once
// The sound capture filter of one capture device: an input pin per source of the device, named
// as the mixer names the line, with IAMAudioInputMixer to choose the one that records, and the
// output pin "Capture". Pausing or running needs an enabled input; the record stream is opened
// when the filter leaves stopped and corked whenever the graph is not running.
#include "platform/dshow/CaptureInterfaces.h"
#include "platform/dshow/Source.h"
#include "platform/pulse/SoundLines.h"

#include <memory>
#include <string>
#include <vector>

constexpr CLSID CLSID_AudioCaptureFilter {0x5C2F4D3A, 0x8E61, 0x4B7D, {0x9A, 0x13, 0x2F, 0x6E, 0x40, 0xC1, 0x7B, 0x58}};
constexpr CLSID CLSID_AudioCapturePropertyPage {0x5C2F4D3B, 0x8E61, 0x4B7D, {0x9A, 0x13, 0x2F, 0x6E, 0x40, 0xC1, 0x7B, 0x58}};
// Pause or run without an enabled input.
constexpr HRESULT VFW_E_NO_CAPTURE_HARDWARE = static_cast<HRESULT>(0x80040218u);

class CAudioCaptureFilter;
class CAudioCaptureStream;

class CAudioInputPin final : public CBasePin, public IAMAudioInputMixer {
public:
    CAudioInputPin(CAudioCaptureFilter* pFilter, CCritSec* pLock, int index, const std::wstring& name);

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CBasePin::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CBasePin::AddRef(); }
    ULONG Release() override { return CBasePin::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Nothing connects here: the pin stands for a line of the device.
    HRESULT CheckMediaType(const CMediaType*) override { return VFW_E_TYPE_NOT_ACCEPTED; }
    HRESULT BeginFlush() override { return E_UNEXPECTED; }
    HRESULT EndFlush() override { return E_UNEXPECTED; }

    // IAMAudioInputMixer: enabling one input disables the others. The levels are the source's
    // business on the server (its own mixer), not ours: E_NOTIMPL.
    HRESULT put_Enable(BOOL fEnable) override;
    HRESULT get_Enable(BOOL* pfEnable) override;
    HRESULT put_Mono(BOOL) override { return E_NOTIMPL; }
    HRESULT get_Mono(BOOL*) override { return E_NOTIMPL; }
    HRESULT put_Loudness(BOOL) override { return E_NOTIMPL; }
    HRESULT get_Loudness(BOOL*) override { return E_NOTIMPL; }
    HRESULT put_MixLevel(double) override { return E_NOTIMPL; }
    HRESULT get_MixLevel(double*) override { return E_NOTIMPL; }
    HRESULT put_Pan(double) override { return E_NOTIMPL; }
    HRESULT get_Pan(double*) override { return E_NOTIMPL; }
    HRESULT put_Treble(double) override { return E_NOTIMPL; }
    HRESULT get_Treble(double*) override { return E_NOTIMPL; }
    HRESULT get_TrebleRange(double*) override { return E_NOTIMPL; }
    HRESULT put_Bass(double) override { return E_NOTIMPL; }
    HRESULT get_Bass(double*) override { return E_NOTIMPL; }
    HRESULT get_BassRange(double*) override { return E_NOTIMPL; }

private:
    CAudioCaptureFilter* m_pCapture;
    int m_index;
};

class CAudioCaptureFilter final : public CSource, public ISpecifyPropertyPages {
public:
    // A new filter for the device, one reference for the caller.
    static HRESULT Create(const SoundDevice& device, IBaseFilter** ppFilter);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // The output pin first, then the inputs in the device's order.
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

    // ISpecifyPropertyPages: CLSID_AudioCapturePropertyPage.
    HRESULT GetPages(CAUUID* pPages) override;

    const std::string& DeviceName() const { return m_device.name; }
    // The input that records, -1 for none. An enabled input of a running filter records from
    // the next start on.
    int EnabledInput();
    HRESULT EnableInput(int index, bool bEnable);
    std::string InputSourceName(int index);

private:
    explicit CAudioCaptureFilter(const SoundDevice& device);
    ~CAudioCaptureFilter() override;

    SoundDevice m_device;
    CAudioCaptureStream* m_pCapture = nullptr;  // owned by CSource
    std::vector<std::unique_ptr<CAudioInputPin>> m_inputs;
    int m_iEnabled = -1;
};
