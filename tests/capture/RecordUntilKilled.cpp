// A recording that only a signal ends, for the crash tests: the capture graph as the recording
// window builds it records a rectangle of the screen into FILE and the program waits.
//   record_until_killed FILE LEFT TOP WIDTH HEIGHT [SOUND_DEVICE INPUT_SOURCE VIDEO_COMPRESSOR]
// The capture filter module must be registered already (VANTOREL_REGISTRY). Prints "recording"
// once the graph runs; exits 1 if it could not be built.
#include "capture/CaptureGraph.h"
#include "platform/avi/AviClasses.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/com/ObjectCreation.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/pulse/SoundDevices.h"
#include "platform/ui/MessageBox.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 6 && argc != 9) {
        std::fprintf(stderr, "usage: record_until_killed FILE LEFT TOP WIDTH HEIGHT [DEVICE INPUT COMPRESSOR]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RegisterMediaGraphClasses();
    RegisterAviClasses();
    RegisterCompressorCategories();
    RegisterSoundDevices();
    platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& r) {
        std::fprintf(stderr, "record_until_killed: %s\n", r.text.c_str());
        return platform::IDOK;
    });

    const std::string file = argv[1];
    const int left = std::atoi(argv[2]), top = std::atoi(argv[3]);
    options::CVideoOptions o;
    o.m_strOutputPath = file.substr(0, file.rfind('/') + 1);
    o.m_bRecordSound = argc == 9;
    if (argc == 9) {
        o.m_strSoundDevice = argv[6];
        o.m_strInputSource = argv[7];
        o.m_nChannels = 0;
        o.m_nSampleBits = 1;
        o.m_nSampleRate = 1;
        o.m_bAudioCompress = 0;
        o.m_strVideoCompressor = argv[8];
    }
    o.m_bVideoCompress = !o.m_strVideoCompressor.empty();
    o.m_nCaptureMode = 0;
    o.m_nFrameRate = 15;
    CCaptureGraph graph(o);
    graph.SetCaptureFrame(0, RECT {left, top, left + std::atoi(argv[4]), top + std::atoi(argv[5])});
    if (!graph.StartBuild()) return 1;
    graph.SetFileName(file);
    graph.Run();
    std::printf("recording\n");
    std::fflush(stdout);
    for (;;) pause();
}
