#pragma once
// Doubles for capture graph tests: a video source that answers IOravane and records its calls,
// a sound capture device with named input lines and a configurable capture pin, a mixer with
// scripted lines, and device categories filled with them. They implement the interfaces the
// real filters implement; the graph itself, the builder and the multiplexer are the real ones.
#include "common/Oravane.h"
#include "platform/dshow/CaptureInterfaces.h"
#include "platform/dshow/DeviceEnum.h"
#include "platform/dshow/Source.h"
#include "platform/dshow/WaveFormat.h"
#include "platform/pulse/Mixer.h"
#include "platform/ui/MessageBox.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace capturetest {

// What the doubles saw, in order: "SetCaptureRect", "SetPause(1)", "Stop" ...
class CCallLog {
public:
    void Add(std::string text);
    std::vector<std::string> Calls() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

class CFakeOravane;

class CFakeVideoStream final : public CSourceStream {
public:
    CFakeVideoStream(HRESULT* phr, CFakeOravane* pParent);
    HRESULT GetMediaType(CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;

protected:
    HRESULT FillBuffer(IMediaSample* pSample) override;

private:
    int m_nFrame = 0;
};

// The control interface as the first modules built it: its eight methods and nothing past them,
// so a program that calls beyond them fails against it as it would against such a module.
struct IOravaneAsFirstBuilt : IUnknown {
    virtual HRESULT SetCaptureRect(RECT rc) = 0;
    virtual HRESULT GetCaptureRect(RECT* prc) = 0;
    virtual HRESULT SetCaptureMode(HWND hWnd, CaptureMode nMode) = 0;
    virtual HRESULT SetDrawCursor(BOOL bDrawCursor) = 0;
    virtual HRESULT GetDrawCursor(BOOL* pbDrawCursor) = 0;
    virtual HRESULT SetPause(BOOL bPause) = 0;
    virtual HRESULT GetPause(BOOL* pbPause) = 0;
    virtual HRESULT GetActualFrameRate(double* pdFps) = 0;
};

class CFakeOravane final : public CSource, public IOravane, public IOravaneFrameRate {
public:
    static constexpr LONG kWidth = 64, kHeight = 48;
    CFakeOravane();
    ~CFakeOravane() override;
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT Stop() override;

    HRESULT SetCaptureRect(RECT rc) override;
    HRESULT GetCaptureRect(RECT* prc) override;
    HRESULT SetCaptureMode(HWND hWnd, CaptureMode nMode) override;
    HRESULT SetDrawCursor(BOOL bDrawCursor) override;
    HRESULT GetDrawCursor(BOOL* pb) override;
    HRESULT SetPause(BOOL bPause) override;
    HRESULT GetPause(BOOL* pb) override;
    HRESULT GetActualFrameRate(double* pdFps) override;
    HRESULT SetMaxFrameRate(double dFps) override;

    // Every instance's calls go to one log; the rate the next stop reports.
    static CCallLog& Log();
    static double s_dActualFps;
    static int s_nCreated;
    // Made while set, the source answers as a module of an earlier build: IOravane as first
    // built, and no IOravaneFrameRate.
    static bool s_bEarlierModule;
    static inline HRESULT s_hrSetCaptureRect = S_OK;  // what SetCaptureRect answers
    static HRESULT Create(IUnknown* pUnkOuter, REFIID riid, void** ppv);

private:
    // IOravane of an earlier module, on the same object.
    class CEarlierControl final : public IOravaneAsFirstBuilt {
    public:
        explicit CEarlierControl(CFakeOravane* pOwner) : m_pOwner(pOwner) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override { return m_pOwner->QueryInterface(riid, ppv); }
        ULONG AddRef() override { return m_pOwner->AddRef(); }
        ULONG Release() override { return m_pOwner->Release(); }
        HRESULT SetCaptureRect(RECT rc) override { return m_pOwner->SetCaptureRect(rc); }
        HRESULT GetCaptureRect(RECT* prc) override { return m_pOwner->GetCaptureRect(prc); }
        HRESULT SetCaptureMode(HWND hWnd, CaptureMode nMode) override { return m_pOwner->SetCaptureMode(hWnd, nMode); }
        HRESULT SetDrawCursor(BOOL b) override { return m_pOwner->SetDrawCursor(b); }
        HRESULT GetDrawCursor(BOOL* pb) override { return m_pOwner->GetDrawCursor(pb); }
        HRESULT SetPause(BOOL b) override { return m_pOwner->SetPause(b); }
        HRESULT GetPause(BOOL* pb) override { return m_pOwner->GetPause(pb); }
        HRESULT GetActualFrameRate(double* pdFps) override { return m_pOwner->GetActualFrameRate(pdFps); }

    private:
        CFakeOravane* m_pOwner;
    };
    const bool m_bEarlier = s_bEarlierModule;
    CEarlierControl m_earlier {this};

    RECT m_rc {};
    BOOL m_bPause = FALSE;
    BOOL m_bCursor = FALSE;
};

class CFakeSoundDevice;

class CFakeLinePin final : public CBaseInputPin, public IAMAudioInputMixer {
public:
    CFakeLinePin(CFakeSoundDevice* pFilter, CCritSec* pLock, HRESULT* phr, const std::wstring& name);
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CBaseInputPin::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CBaseInputPin::AddRef(); }
    ULONG Release() override { return CBaseInputPin::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT CheckMediaType(const CMediaType*) override { return E_FAIL; }

    HRESULT put_Enable(BOOL f) override;
    HRESULT get_Enable(BOOL* pf) override;
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

    BOOL m_bEnabled = FALSE;
    int m_nSwitches = 0;
};

class CFakeCapturePin final : public CSourceStream, public IAMStreamConfig {
public:
    CFakeCapturePin(HRESULT* phr, CFakeSoundDevice* pParent);
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return CSourceStream::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return CSourceStream::AddRef(); }
    ULONG Release() override { return CSourceStream::Release(); }
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT GetMediaType(CMediaType* pmt) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;

    HRESULT SetFormat(AM_MEDIA_TYPE* pmt) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** ppmt) override;
    HRESULT GetNumberOfCapabilities(int* piCount, int* piSize) override;
    HRESULT GetStreamCaps(int, AM_MEDIA_TYPE**, BYTE*) override { return E_NOTIMPL; }

    WAVEFORMATEX m_wfx {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    int m_nSetFormat = 0;
    static inline HRESULT s_hrSetFormat = S_OK;  // what every capture pin's SetFormat answers

protected:
    HRESULT FillBuffer(IMediaSample* pSample) override;

private:
    LONGLONG m_nSamples = 0;
};

class CFakeSoundDevice final : public CSource {
public:
    explicit CFakeSoundDevice(const std::vector<std::wstring>& lines);
    ~CFakeSoundDevice() override;
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    CFakeLinePin* Line(const std::wstring& name);
    CFakeCapturePin* Capture() { return m_pCapture; }

private:
    CFakeCapturePin* m_pCapture;  // owned by the source's pin list
    std::vector<std::unique_ptr<CFakeLinePin>> m_lines;
};

// A device category entry for a test: a name and what binding it makes. The created objects are
// kept so a test can look at them.
struct FakeDevice {
    std::wstring name;
    std::vector<std::wstring> lines {};  // a sound device's inputs; empty: bind fails if failBind
    bool failBind = false;
};

// Fills the three categories with devices for the time of a test (revoked in the destructor).
class CFakeDevices {
public:
    CFakeDevices();
    ~CFakeDevices();
    void SetSoundDevices(std::vector<FakeDevice> devices);
    void SetAudioCompressors(std::vector<FakeDevice> devices);
    void SetVideoCompressors(std::vector<FakeDevice> devices);
    // The sound devices made by binding, in order (referenced).
    std::vector<CFakeSoundDevice*> BoundSoundDevices() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

// A mixer with scripted devices.
class CFakeMixer final : public IMixerSystem {
public:
    CFakeMixer();
    ~CFakeMixer() override;
    UINT CountDevices() override;
    std::optional<MixerDeviceData> OpenDevice(UINT uMxId) override;

    std::vector<MixerDeviceData> m_devices;
    bool m_bOpenFails = false;
    int m_nOpens = 0;
};

MixerLineData WaveIn(std::vector<MixerLineData> sources);
MixerLineData Line(DWORD type, std::string name);

// Installs the doubles of the video source and registers the media graph's classes.
void InstallGraphClasses();

// A test on a COM thread with the graph's classes and the device doubles installed; every
// message box is answered with OK and its text kept in m_messages.
class GraphDoublesTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    CFakeDevices m_devices;
    std::vector<std::string> m_messages;

private:
    platform::MessageBoxHandler m_previous;
};

} // namespace capturetest
