#pragma once
// The multimedia mixer over the sound server. Device 0 is the sound server itself; its one
// destination is the recording destination (MIXERLINE_COMPONENTTYPE_DST_WAVEIN) and its sources
// are the server's sources: the monitor of the default output first, typed SRC_WAVEOUT like every
// monitor, then the inputs typed by what they are (microphone, line, else analog). Line names are
// the sources' descriptions, as the capture device's input pins are named. A handle holds a
// snapshot taken when it was opened.
#include "platform/base/WinTypes.h"

#include <optional>
#include <string>
#include <vector>

using MMRESULT = UINT;
using HMIXER = struct HMIXER__*;
using HMIXEROBJ = struct HMIXEROBJ__*;
using LPHMIXER = HMIXER*;
using DWORD_PTR = unsigned long;
using UINT_PTR = unsigned long;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MIXERR_INVALLINE = 1024;

constexpr DWORD MIXER_GETLINEINFOF_DESTINATION = 0x00000000;
constexpr DWORD MIXER_GETLINEINFOF_SOURCE = 0x00000001;
// MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIXER, as the platform defines it.
constexpr DWORD MIXER_OBJECTF_HMIXER = 0x80000000;

constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A;

constexpr int MAXPNAMELEN = 32;
constexpr int MIXER_SHORT_NAME_CHARS = 16;
constexpr int MIXER_LONG_NAME_CHARS = 64;

struct MIXERCAPSA {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD fdwSupport;
    DWORD cDestinations;
};

struct MIXERLINEA {
    DWORD cbStruct;
    DWORD dwDestination;
    DWORD dwSource;
    DWORD dwLineID;
    DWORD fdwLine;
    DWORD_PTR dwUser;
    DWORD dwComponentType;
    DWORD cChannels;
    DWORD cConnections;
    DWORD cControls;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        DWORD dwType;
        DWORD dwDeviceID;
        WORD wMid;
        WORD wPid;
        UINT vDriverVersion;
        char szPname[MAXPNAMELEN];
    } Target;
};

UINT mixerGetNumDevs();
MMRESULT mixerOpen(LPHMIXER phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT mixerGetDevCapsA(UINT_PTR uMxId, MIXERCAPSA* pmxcaps, UINT cbmxcaps);  // an open HMIXER cast works too
MMRESULT mixerGetLineInfoA(HMIXEROBJ hmxobj, MIXERLINEA* pmxl, DWORD fdwInfo);
MMRESULT mixerClose(HMIXER hmx);

// What a mixer handle is a snapshot of. Names longer than the structures hold are cut there.
struct MixerLineData {
    DWORD componentType = 0;
    std::string name;
    std::vector<MixerLineData> sources;  // of a destination
};
struct MixerDeviceData {
    std::string name;
    std::vector<MixerLineData> destinations;
};

// While one lives on a thread, the mixer functions of that thread read the sound server at most
// once: the first answer (its sources, or that it did not answer within the connection's
// deadline) serves every call until the outermost scope ends. A lookup makes several calls
// (count, open, capabilities, lines, and again for a second line type), so it opens one around
// them: a server that hangs costs one deadline a lookup, not one a call.
class CMixerReadScope {
public:
    CMixerReadScope();
    ~CMixerReadScope();
    CMixerReadScope(const CMixerReadScope&) = delete;
    CMixerReadScope& operator=(const CMixerReadScope&) = delete;
};

// Where the mixer functions read their devices: the sound server, or a test's double.
class IMixerSystem {
public:
    virtual ~IMixerSystem() = default;
    virtual UINT CountDevices() = 0;
    // Nothing when the device cannot be opened.
    virtual std::optional<MixerDeviceData> OpenDevice(UINT uMxId) = 0;
};
// nullptr restores the sound server.
void SetMixerSystem(IMixerSystem* pSystem);
