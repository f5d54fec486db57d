// The burn worker: runs the job's burn, ejects when asked and hands control back to the window.
#include "burner/BurnJob.h"
#include "burner/Device.h"

BurnJob& ProgramBurnJob()
{
    static BurnJob job;
    return job;
}

UINT RunBurn(BurnJob* job)
{
    if (job == nullptr) {
        return 1;
    }
    CDevice* device = job->m_pDevice;
    if (device != nullptr) {
        const char* source = job->m_strSourcePath.c_str();
        switch (job->m_lBurnKind) {
        case BURN_KIND_VIDEO_CD:
            device->BurnVideoCD(*job, source);
            break;
        case BURN_KIND_SUPER_VIDEO_CD:
            device->BurnSuperVideoCD(*job, source);
            break;
        case BURN_KIND_DVD_VIDEO:
            device->BurnDVDVideo(*job, source);
            break;
        default:
            break;
        }
        if (job->m_bEject) {
            device->Eject();
        }
    }
    if (job->m_pWindow != nullptr) {
        job->m_pWindow->HideBurnProgress();
        job->m_pWindow->PostMessage(WM_BURN_STAGE, 3, 0);
    }
    return 1;
}
