#include "options/SoundInputSelection.h"

#include "platform/pulse/Mixer.h"
#include "platform/ui/ComboBox.h"

#include <cstring>

namespace options {

namespace {

std::string LineName(const MIXERLINEA& line)
{
    return std::string(line.szName, strnlen(line.szName, sizeof(line.szName)));
}

} // namespace

bool FindMixerSourceLine(DWORD dwComponentType, std::string* pName)
{
    CMixerReadScope scope;  // the count and the open share one answer of the server
    if (mixerGetNumDevs() == 0)
        return false;
    HMIXER hMixer = nullptr;
    if (mixerOpen(&hMixer, 0, 0, 0, 0) != MMSYSERR_NOERROR)
        return false;
    auto* hObject = reinterpret_cast<HMIXEROBJ>(hMixer);

    MIXERCAPSA caps {};
    if (mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(hMixer), &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
        mixerClose(hMixer);
        return false;
    }

    bool bFound = false;
    for (DWORD d = 0; d < caps.cDestinations && !bFound; ++d) {
        MIXERLINEA destination {};
        destination.cbStruct = sizeof(destination);
        destination.dwDestination = d;
        mixerGetLineInfoA(hObject, &destination, MIXER_GETLINEINFOF_DESTINATION | MIXER_OBJECTF_HMIXER);
        if (destination.dwComponentType != MIXERLINE_COMPONENTTYPE_DST_WAVEIN)
            continue;
        const DWORD nConnections = destination.cConnections;
        for (DWORD s = 0; s < nConnections; ++s) {
            MIXERLINEA source {};
            source.cbStruct = sizeof(source);
            source.dwDestination = d;
            source.dwSource = s;
            mixerGetLineInfoA(hObject, &source, MIXER_GETLINEINFOF_SOURCE | MIXER_OBJECTF_HMIXER);
            if (source.dwComponentType == dwComponentType) {
                if (pName)
                    *pName = LineName(source);
                bFound = true;
                break;
            }
        }
    }
    mixerClose(hMixer);
    return bFound;
}

bool FindLoopBackLine(std::string* pName)
{
    CMixerReadScope scope;  // and the second line type the first one's
    return FindMixerSourceLine(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, pName) ||
           FindMixerSourceLine(MIXERLINE_COMPONENTTYPE_SRC_ANALOG, pName);
}

bool MarkDefaultInput(CVideoOptions& options, platform::CComboBox& inputSources)
{
    std::string strLine;
    options.m_bMixerLineFound = FindLoopBackLine(&strLine) ? 1 : 0;
    if (!options.m_bMixerLineFound)
        return false;
    options.m_strMixerLine = strLine;

    const int nIndex = inputSources.FindString(-1, QString::fromStdString(strLine));
    if (nIndex == platform::CB_ERR)
        return false;
    inputSources.DeleteString(nIndex);
    inputSources.InsertString(nIndex, QString::fromUtf8(kDefaultInput));
    return true;
}

std::string ResolveInputSource(const CVideoOptions& options)
{
    if (options.m_strInputSource != kDefaultInput)
        return options.m_strInputSource;
    std::string strLine;
    return FindLoopBackLine(&strLine) ? strLine : std::string(kDefaultInput);
}

} // namespace options
