#include "capture/CaptureGraph.h"

#include "capture/DeviceLookup.h"
#include "common/EventLog.h"
#include "options/SoundInputSelection.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/WideText.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/WaveFormat.h"
#include "platform/ui/MessageBox.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

constexpr DWORD kInproc = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

BOOL Fail(const char* text)
{
    platform::AfxMessageBox(text, platform::MB_OK);
    return FALSE;
}

} // namespace

CCaptureGraph::CCaptureGraph(const options::CVideoOptions& options) : m_options(options) {}

CCaptureGraph::~CCaptureGraph()
{
    ReleaseCaptureGraph();
}

void CCaptureGraph::SetCaptureFrame(HWND hWnd, const RECT& rcFrame)
{
    m_hWnd = hWnd;
    m_rcFrame = rcFrame;
}

BOOL CCaptureGraph::BuildCaptureGraph()
{
    try {
        return Build();
    } catch (...) {
        CEventLog log;
        log.Write("Build Graph Filter Failed!", true);
        return Fail("Build Graph Filter Failed!");
    }
}

BOOL CCaptureGraph::Build()
{
    if (m_bGraphBuilt)
        return TRUE;

    if (!m_pFg) {
        if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, kInproc, IID_IGraphBuilder,
                                    m_pFg.ReleaseAndGetVoidAddressOf())) ||
            !m_pFg)
            return Fail("CoCreateInstance( CLSID_FilterGraph... )  failed!");
    }
    if (!m_pBuilder) {
        if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, kInproc, IID_ICaptureGraphBuilder2,
                                    m_pBuilder.ReleaseAndGetVoidAddressOf())) ||
            !m_pBuilder)
            return Fail("CoCreateInstance( CLSID_CaptureGraphBuilder2... )  failed!");
        if (FAILED(m_pBuilder->SetFiltergraph(m_pFg.Get())))
            return Fail("SetFiltergraph( pFg )  failed!");
    }
    if (!m_pMC) {
        if (FAILED(m_pFg->QueryInterface(IID_IMediaControl, m_pMC.ReleaseAndGetVoidAddressOf())))
            return Fail("QueryInterface( IID_IMediaControl )  failed!");
    }

    if (FAILED(CoCreateInstance(CLSID_Oravane, nullptr, kInproc, IID_IBaseFilter,
                                m_pVSource.ReleaseAndGetVoidAddressOf())) ||
        !m_pVSource)
        return Fail("CoCreateInstance( CLSID_Oravane ) failed!");
    if (FAILED(m_pVSource->QueryInterface(IID_IOravane, m_pOravane.ReleaseAndGetVoidAddressOf())) || !m_pOravane)
        return Fail("QueryInterface( IID_IOravane )  failed!");

    if (FAILED(m_pOravane->SetCaptureRect(m_rcFrame)))
        return Fail("SetCaptureRect failed!");
    m_pOravane->SetDrawCursor(m_options.m_bMouseTrack ? TRUE : FALSE);
    m_pOravane->SetCaptureMode(m_hWnd, static_cast<CaptureMode>(m_options.m_nCaptureMode));
    // The ceiling is an addition of later modules: an earlier one records at its own pace.
    ComPtr<IOravaneFrameRate> pFrameRate;
    if (SUCCEEDED(m_pVSource->QueryInterface(IID_IOravaneFrameRate, pFrameRate.ReleaseAndGetVoidAddressOf())) &&
        pFrameRate)
        pFrameRate->SetMaxFrameRate(m_options.CaptureFrameRate());

    const bool bSound = m_options.m_bRecordSound != 0;
    const bool bAudioCompress = m_options.m_bAudioCompress != 0;
    const bool bVideoCompress = m_options.m_bVideoCompress != 0;
    if (bSound) {
        if (!CreateAudioCapFilter())
            return Fail("CreateAudioCapFilter failed!");
        if (m_pBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, m_pACap.Get(), IID_IAMStreamConfig,
                                      m_pASC.ReleaseAndGetVoidAddressOf()) != S_OK ||
            !m_pASC)
            return Fail("Get AudioStreamConfig failed!");
        if (!SetAudioProperties())
            return Fail("SetAudioProperties() failed!");
        if (bAudioCompress && !CreateAudioCompressor())
            return Fail("CreateAudioCompressor() failed!");
    }
    if (bVideoCompress && !CreateVideoCompressor())
        return Fail("CreateVideoCompressor() failed!");

    const std::wstring strTmp = WideFromUtf8(m_options.m_strOutputPath + "tmp.avi");
    if (m_pBuilder->SetOutputFileName(&MEDIASUBTYPE_Avi, strTmp.c_str(), m_pMux.ReleaseAndGetAddressOf(),
                                      m_pSink.ReleaseAndGetAddressOf()) != S_OK)
        return Fail("SetOutputFileName() failed!");

    if (m_pFg->AddFilter(m_pVSource.Get(), L"Oravane") != S_OK)
        return Fail("Add Oravane Filter Failed!");
    if (bVideoCompress) {
        if (m_pFg->AddFilter(m_pVComp.Get(), L"Video Compressor") != S_OK)
            return Fail("Add Video Compressor Filter Failed!");
        if (m_pBuilder->RenderStream(nullptr, nullptr, m_pVSource.Get(), m_pVComp.Get(), m_pMux.Get()) != S_OK)
            return Fail("RenderStream Video Compressor Failed!");
    } else if (m_pBuilder->RenderStream(nullptr, nullptr, m_pVSource.Get(), nullptr, m_pMux.Get()) != S_OK) {
        return Fail("RenderStream Video Failed!");
    }

    if (bSound) {
        if (m_pFg->AddFilter(m_pACap.Get(), L"Audio Capture") != S_OK)
            return Fail("Add Audio Capture Filter Failed!");
        if (bAudioCompress) {
            if (m_pFg->AddFilter(m_pAComp.Get(), L"Audio Compressor") != S_OK)
                return Fail("Add Audio Compressor Failed!");
            // The caller's message follows this one.
            if (m_pBuilder->RenderStream(nullptr, nullptr, m_pACap.Get(), m_pAComp.Get(), m_pMux.Get()) != S_OK)
                return FALSE;
        } else if (m_pBuilder->RenderStream(nullptr, nullptr, m_pACap.Get(), nullptr, m_pMux.Get()) != S_OK) {
            return Fail("RenderStream Audio Failed!");
        }
    }

    if (SUCCEEDED(m_pMux->QueryInterface(IID_IConfigAviMux, m_pConfigAviMux.ReleaseAndGetVoidAddressOf())) &&
        m_pConfigAviMux) {
        m_pConfigAviMux->SetOutputCompatibilityIndex(TRUE);
        // Stream 1 is the sound, rendered after the video.
        if (bSound && m_pConfigAviMux->SetMasterStream(1) != S_OK)
            return Fail("SetMasterStream failed!");
    }

    if (bSound) {
        ComPtr<IMediaFilter> pMediaFilter;
        if (SUCCEEDED(m_pFg->QueryInterface(IID_IMediaFilter, pMediaFilter.ReleaseAndGetVoidAddressOf())))
            pMediaFilter->SetSyncSource(nullptr);
    }

    m_bGraphBuilt = TRUE;
    return TRUE;
}

BOOL CCaptureGraph::CreateAudioCapFilter()
{
    return FindFilterByFriendlyName(CLSID_AudioInputDeviceCategory, m_options.m_strSoundDevice,
                                    m_pACap.ReleaseAndGetAddressOf()) &&
           SelectInputLine();
}

BOOL CCaptureGraph::CreateAudioCompressor()
{
    return FindFilterByFriendlyName(CLSID_AudioCompressorCategory, m_options.m_strAudioCompressor,
                                    m_pAComp.ReleaseAndGetAddressOf());
}

BOOL CCaptureGraph::CreateVideoCompressor()
{
    return FindFilterByFriendlyName(CLSID_VideoCompressorCategory, m_options.m_strVideoCompressor,
                                    m_pVComp.ReleaseAndGetAddressOf());
}

BOOL CCaptureGraph::SelectInputLine()
{
    if (!m_pACap)
        return FALSE;
    ComPtr<IEnumPins> pEnum;
    if (FAILED(m_pACap->EnumPins(pEnum.ReleaseAndGetAddressOf())) || !pEnum)
        return FALSE;
    pEnum->Reset();

    const std::string strWanted = options::ResolveInputSource(m_options);
    BOOL bFound = FALSE;
    ComPtr<IPin> pPin;
    while (pEnum->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION dir;
        if (FAILED(pPin->QueryDirection(&dir)) || dir != PINDIR_INPUT)
            continue;
        PIN_INFO info {};
        ComPtr<IAMAudioInputMixer> pMixer;
        const bool bInfo = SUCCEEDED(pPin->QueryPinInfo(&info));
        if (bInfo && SUCCEEDED(pPin->QueryInterface(IID_IAMAudioInputMixer, pMixer.ReleaseAndGetVoidAddressOf())) &&
            pMixer) {
            if (Utf8FromWide(info.achName) == strWanted) {
                pMixer->put_Enable(TRUE);
                bFound = TRUE;
            } else {
                pMixer->put_Enable(FALSE);
            }
        }
        if (bInfo && info.pFilter)
            info.pFilter->Release();
    }
    return bFound;
}

BOOL CCaptureGraph::SetAudioProperties()
{
    if (!m_pASC)
        return FALSE;
    AM_MEDIA_TYPE* pmt = nullptr;
    if (FAILED(m_pASC->GetFormat(&pmt)) || !pmt)
        return FALSE;
    if (pmt->cbFormat < sizeof(WAVEFORMATEX) || !pmt->pbFormat) {
        DeleteMediaType(pmt);
        return FALSE;
    }

    const WORD nChannels = m_options.m_nChannels != 0 ? 2 : 1;
    const WORD nBytes = m_options.m_nSampleBits != 0 ? 2 : 1;
    const DWORD nRate = m_options.m_nSampleRate == 0 ? 11025 : m_options.m_nSampleRate == 1 ? 22050 : 44100;

    auto* pwfx = reinterpret_cast<WAVEFORMATEX*>(pmt->pbFormat);
    pwfx->nChannels = nChannels;
    pwfx->nSamplesPerSec = nRate;
    pwfx->nAvgBytesPerSec = nRate * nBytes * nChannels;
    pwfx->nBlockAlign = static_cast<WORD>(nBytes * nChannels);
    pwfx->wBitsPerSample = static_cast<WORD>(8 * nBytes);

    const HRESULT hr = m_pASC->SetFormat(pmt);
    DeleteMediaType(pmt);
    return SUCCEEDED(hr);
}

BOOL CCaptureGraph::ReleaseCaptureGraph()
{
    // A graph still running (a window closed mid-recording) stops before its parts go.
    if (m_pMC && m_bRunning)
        m_pMC->Stop();
    m_pSink.Reset();
    m_pConfigAviMux.Reset();
    m_pMux.Reset();
    m_pASC.Reset();
    m_pMC.Reset();
    m_pOravane.Reset();

    if (m_pVSource)
        RemoveDownstream(m_pVSource.Get());
    if (m_pACap)
        RemoveDownstream(m_pACap.Get());

    m_pAComp.Reset();
    m_pVComp.Reset();
    m_pVSource.Reset();
    m_pACap.Reset();
    m_pFg.Reset();
    m_pBuilder.Reset();

    m_bGraphBuilt = FALSE;
    m_bRunning = false;
    m_bPaused = false;
    return TRUE;
}

void CCaptureGraph::RemoveDownstream(IBaseFilter* pFilter)
{
    if (!pFilter || !m_pFg)
        return;
    ComPtr<IEnumPins> pEnum;
    if (FAILED(pFilter->EnumPins(pEnum.ReleaseAndGetAddressOf())) || !pEnum)
        return;
    pEnum->Reset();

    ComPtr<IPin> pPin;
    while (pEnum->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPin> pTo;
        if (FAILED(pPin->ConnectedTo(pTo.ReleaseAndGetAddressOf())) || !pTo)
            continue;
        PIN_INFO info {};
        if (FAILED(pTo->QueryPinInfo(&info)))
            break;
        if (info.dir == PINDIR_INPUT) {
            RemoveDownstream(info.pFilter);
            m_pFg->Disconnect(pTo.Get());
            m_pFg->Disconnect(pPin.Get());
            m_pFg->RemoveFilter(info.pFilter);
        }
        if (info.pFilter)
            info.pFilter->Release();
    }
}

BOOL CCaptureGraph::StartBuild()
{
    if (m_bGraphBuilt)
        ReleaseCaptureGraph();
    return BuildCaptureGraph();
}

void CCaptureGraph::SetFileName(const std::string& strFileName)
{
    if (!m_bGraphBuilt)
        return;
    m_strFileName = strFileName;
    const std::wstring strWide = WideFromUtf8(strFileName);
    m_pSink->SetFileName(strWide.c_str(), nullptr);
}

void CCaptureGraph::Run()
{
    if (!m_bGraphBuilt)
        return;
    m_bWriteFailed = false;
    m_pMC->Run();
    m_bRunning = true;
    m_bPaused = false;
}

void CCaptureGraph::Pause()
{
    if (!m_bRunning)
        return;
    m_pMC->Pause();
    m_pOravane->SetPause(TRUE);
    m_bPaused = true;
}

void CCaptureGraph::Resume()
{
    if (!m_bRunning)
        return;
    m_pMC->Run();
    m_pOravane->SetPause(FALSE);
    m_bPaused = false;
}

bool CCaptureGraph::HasWriteFailed()
{
    ComPtr<IMediaEvent> pEvent;
    if (!m_bWriteFailed && m_pFg &&
        SUCCEEDED(m_pFg->QueryInterface(IID_IMediaEvent, pEvent.ReleaseAndGetVoidAddressOf())) && pEvent) {
        long lCode = 0;
        LONG_PTR lParam1 = 0, lParam2 = 0;
        while (pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0) == S_OK) {
            if (lCode == EC_ERRORABORT || lCode == EC_STREAM_ERROR_STOPPED)
                m_bWriteFailed = true;
            pEvent->FreeEventParams(lCode, lParam1, lParam2);
        }
    }
    return m_bWriteFailed;
}

BOOL CCaptureGraph::Stop()
{
    if (!m_bRunning)
        return TRUE;
    if (m_bPaused)
        m_pOravane->SetPause(FALSE);
    m_pMC->Stop();
    m_bRunning = false;
    m_bPaused = false;
    const bool bFailed = HasWriteFailed();
    if (bFailed) {
        CEventLog log;
        log.Write(("Writing " + m_strFileName + " failed!").c_str(), true);
    }
    double dFps = 0.0;
    m_pOravane->GetActualFrameRate(&dFps);
    m_dLastFrameRate = dFps;
    if (!m_options.m_bRecordSound) {
        // After a write failure that failure is the one told (the event log, the recording
        // window): a file that never came to be has no rate to patch.
        if (!UpdateAviFrameRate(m_strFileName, dFps) && !bFailed)
            platform::AfxMessageBox("Update Video Stream FrameRate Failed!", platform::MB_OK);
    }
    return bFailed ? FALSE : TRUE;
}
