#pragma once
// The media graph of one recording: the Oravane source, an optional video compressor, an
// optional sound capture device with an optional compressor, the AVI multiplexer and its file
// writer. Built anew for every recording start, run, paused, resumed, stopped and released. The
// recording window owns it and supplies its capture frame and window handle; the options record
// shapes the graph.
#include "capture/AviFrameRate.h"
#include "common/Oravane.h"
#include "options/VideoOptions.h"
#include "platform/com/ComPtr.h"
#include "platform/dshow/CaptureInterfaces.h"

#include <string>

class CCaptureGraph {
public:
    explicit CCaptureGraph(const options::CVideoOptions& options);
    ~CCaptureGraph();
    CCaptureGraph(const CCaptureGraph&) = delete;
    CCaptureGraph& operator=(const CCaptureGraph&) = delete;

    // The recording window's handle and its capture frame's screen rectangle, used at each build.
    void SetCaptureFrame(HWND hWnd, const RECT& rcFrame);

    // Shows one message and returns FALSE on failure, leaving what it made for the release.
    BOOL BuildCaptureGraph();
    BOOL ReleaseCaptureGraph();
    void RemoveDownstream(IBaseFilter* pFilter);
    BOOL SelectInputLine();
    BOOL SetAudioProperties();
    BOOL CreateAudioCapFilter();
    BOOL CreateAudioCompressor();
    BOOL CreateVideoCompressor();

    // Run control, in the recording window's order: StartBuild, SetFileName, (the show starts),
    // Run; Pause and Resume; Stop, then ReleaseCaptureGraph. StartBuild releases a built graph
    // and builds a new one; the caller handles a failure (it may change the options and call
    // BuildCaptureGraph once more). Each does nothing on a graph that is not built, and none
    // touches a source a failed build left unset.
    BOOL StartBuild();
    // The file the next run writes.
    void SetFileName(const std::string& strFileName);
    void Run();
    void Pause();
    void Resume();
    // Stops the graph and patches the measured frame rate into a silent recording; the graph
    // stays built until ReleaseCaptureGraph. FALSE when the multiplexer could not write the
    // file (the event log says so).
    BOOL Stop();

    bool IsBuilt() const { return m_bGraphBuilt != FALSE; }
    // The source's measured rate at the last stop (0.0 before one).
    double GetLastFrameRate() const { return m_dLastFrameRate; }
    bool IsPaused() const { return m_bPaused; }
    // A multiplexer that could not write has stopped the recording.
    bool HasWriteFailed();

    IGraphBuilder* GetFilterGraph() const { return m_pFg.Get(); }
    IBaseFilter* GetVideoSource() const { return m_pVSource.Get(); }
    IBaseFilter* GetAudioCaptureFilter() const { return m_pACap.Get(); }
    IBaseFilter* GetMultiplexer() const { return m_pMux.Get(); }

private:
    BOOL Build();

    const options::CVideoOptions& m_options;
    HWND m_hWnd = 0;
    RECT m_rcFrame {};
    std::string m_strFileName;  // of the next or running recording
    bool m_bRunning = false;    // run and not yet stopped
    bool m_bPaused = false;
    bool m_bWriteFailed = false;
    double m_dLastFrameRate = 0.0;

    ComPtr<IGraphBuilder> m_pFg;
    ComPtr<ICaptureGraphBuilder2> m_pBuilder;
    ComPtr<IMediaControl> m_pMC;
    ComPtr<IBaseFilter> m_pVSource;
    ComPtr<IOravane> m_pOravane;
    ComPtr<IBaseFilter> m_pVComp;
    ComPtr<IBaseFilter> m_pACap;
    ComPtr<IBaseFilter> m_pAComp;
    ComPtr<IAMStreamConfig> m_pASC;
    ComPtr<IBaseFilter> m_pMux;
    ComPtr<IFileSinkFilter> m_pSink;
    ComPtr<IConfigAviMux> m_pConfigAviMux;
    BOOL m_bGraphBuilt = FALSE;
};
