// record_probe FILE.avi: records a second of the screen's top-left corner into FILE.avi through
// the capture filter the registry names ($VANTOREL_REGISTRY), as a recording of the program does.
#include "capture/CaptureGraph.h"
#include "platform/avi/AviClasses.h"
#include "platform/codecs/CompressorCategories.h"
#include "platform/dshow/MediaGraphClasses.h"
#include "platform/ui/MessageBox.h"

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: record_probe FILE.avi\n");
        return 2;
    }
    platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& r) {
        std::fprintf(stderr, "record_probe: %s\n", r.text.c_str());
        return platform::IDOK;
    });
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RegisterMediaGraphClasses();
    RegisterAviClasses();
    RegisterCompressorCategories();

    options::CVideoOptions options;
    options.m_bRecordSound = 0;
    options.m_bVideoCompress = 0;
    options.m_nCaptureMode = 0;
    int status = 1;
    {
        CCaptureGraph graph(options);
        graph.SetCaptureFrame(0, RECT {0, 0, 160, 120});
        if (graph.StartBuild()) {
            graph.SetFileName(argv[1]);
            graph.Run();
            std::this_thread::sleep_for(std::chrono::seconds(1));
            status = graph.Stop() ? 0 : 1;
        }
    }
    CoUninitialize();
    return status;
}
