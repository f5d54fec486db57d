#include "platform/pulse/Mixer.h"

#include "platform/pulse/PulseContext.h"
#include "platform/pulse/ServerInventory.h"
#include "platform/pulse/SoundLines.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>

namespace {

constexpr DWORD MIXERLINE_LINEF_ACTIVE = 0x00000001;
constexpr DWORD MIXERLINE_LINEF_SOURCE = 0x80000000;
constexpr DWORD MIXERLINE_TARGETTYPE_UNDEFINED = 0;
constexpr DWORD MIXERLINE_TARGETTYPE_WAVEIN = 2;
constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
constexpr DWORD MIXER_OBJECTF_TYPEMASK = 0xF0000000;
constexpr DWORD MIXER_GETLINEINFOF_QUERYMASK = 0x0000000F;
// The structure as the platform's 32-bit callers size it; the rest of ours is the pointer-sized
// dwUser's padding.
constexpr DWORD kMinLineStruct = 168;

// The server's answer shared by the calls inside the thread's read scopes.
struct ReadScopeState {
    int depth = 0;
    bool read = false;
    std::optional<PulseServerInventory> inventory;
};
thread_local ReadScopeState t_readScope;

// The sound server's mixer: one device while the server answers.
class CPulseMixerSystem final : public IMixerSystem {
public:
    UINT CountDevices() override { return Read() ? 1 : 0; }
    std::optional<MixerDeviceData> OpenDevice(UINT uMxId) override
    {
        if (uMxId != 0) return std::nullopt;
        std::optional<PulseServerInventory> inv = Read();
        if (!inv) return std::nullopt;
        return MixerDataFromInventory(*inv);
    }

private:
    static std::optional<PulseServerInventory> Read()
    {
        ReadScopeState& scope = t_readScope;
        if (scope.depth > 0 && scope.read) return scope.inventory;
        std::optional<PulseServerInventory> inv = ReadServer();
        if (scope.depth > 0) {
            scope.read = true;
            scope.inventory = inv;
        }
        return inv;
    }
    static std::optional<PulseServerInventory> ReadServer()
    {
        CPulseContext ctx;
        if (FAILED(ctx.Connect("Vantorel mixer"))) return std::nullopt;
        PulseServerInventory inv;
        if (FAILED(QueryServerInventory(ctx, &inv))) return std::nullopt;
        return inv;
    }
};

struct MixerHandle {
    MixerDeviceData data;
};

// The mixer facility's own state: the chosen system and the open handles.
struct MixerState {
    std::mutex mutex;
    IMixerSystem* system = nullptr;
    std::set<MixerHandle*> handles;
};

MixerState& State()
{
    static MixerState state;
    return state;
}

IMixerSystem& System()
{
    static CPulseMixerSystem pulse;
    IMixerSystem* s = State().system;
    return s ? *s : pulse;
}

IMixerSystem* CurrentSystem()
{
    std::lock_guard lock(State().mutex);
    return &System();
}

// A copy of an open handle's snapshot; nothing when h is not one.
std::optional<MixerDeviceData> HandleData(const void* h)
{
    std::lock_guard lock(State().mutex);
    auto* p = static_cast<MixerHandle*>(const_cast<void*>(h));
    if (!State().handles.count(p)) return std::nullopt;
    return p->data;
}

void CopyName(char* dest, std::size_t size, const std::string& text)
{
    std::string cut = CutUtf8(text, size - 1);
    std::memcpy(dest, cut.data(), cut.size());
    dest[cut.size()] = '\0';
}

}  // namespace

CMixerReadScope::CMixerReadScope()
{
    ++t_readScope.depth;
}

CMixerReadScope::~CMixerReadScope()
{
    if (--t_readScope.depth == 0) t_readScope = ReadScopeState {};
}

void SetMixerSystem(IMixerSystem* pSystem)
{
    std::lock_guard lock(State().mutex);
    State().system = pSystem;
}

UINT mixerGetNumDevs()
{
    return CurrentSystem()->CountDevices();
}

MMRESULT mixerOpen(LPHMIXER phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR, DWORD fdwOpen)
{
    if (!phmx) return MMSYSERR_INVALPARAM;
    *phmx = nullptr;
    // No callbacks: nothing here changes while a handle is open.
    if (dwCallback != 0 || fdwOpen != MIXER_OBJECTF_MIXER) return MMSYSERR_INVALPARAM;
    IMixerSystem* system = CurrentSystem();
    if (uMxId >= system->CountDevices()) return MMSYSERR_BADDEVICEID;
    std::optional<MixerDeviceData> data = system->OpenDevice(uMxId);
    if (!data) return MMSYSERR_NODRIVER;
    auto handle = std::make_unique<MixerHandle>();
    handle->data = std::move(*data);
    std::lock_guard lock(State().mutex);
    State().handles.insert(handle.get());
    *phmx = reinterpret_cast<HMIXER>(handle.release());
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER hmx)
{
    std::lock_guard lock(State().mutex);
    auto* p = reinterpret_cast<MixerHandle*>(hmx);
    if (!State().handles.erase(p)) return MMSYSERR_INVALHANDLE;
    delete p;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetDevCapsA(UINT_PTR uMxId, MIXERCAPSA* pmxcaps, UINT cbmxcaps)
{
    if (!pmxcaps || cbmxcaps == 0) return MMSYSERR_INVALPARAM;
    std::optional<MixerDeviceData> data = HandleData(reinterpret_cast<const void*>(uMxId));
    if (!data) {
        IMixerSystem* system = CurrentSystem();
        if (uMxId >= system->CountDevices()) return MMSYSERR_BADDEVICEID;
        data = system->OpenDevice(static_cast<UINT>(uMxId));
        if (!data) return MMSYSERR_NODRIVER;
    }
    MIXERCAPSA caps {};
    caps.vDriverVersion = 0x0100;
    CopyName(caps.szPname, sizeof(caps.szPname), data->name);
    caps.cDestinations = static_cast<DWORD>(data->destinations.size());
    std::memcpy(pmxcaps, &caps, std::min<std::size_t>(cbmxcaps, sizeof(caps)));
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ hmxobj, MIXERLINEA* pmxl, DWORD fdwInfo)
{
    if (!pmxl || pmxl->cbStruct < kMinLineStruct) return MMSYSERR_INVALPARAM;
    std::optional<MixerDeviceData> data;
    DWORD object = fdwInfo & MIXER_OBJECTF_TYPEMASK;
    if (object == MIXER_OBJECTF_HMIXER) {
        data = HandleData(hmxobj);
        if (!data) return MMSYSERR_INVALHANDLE;
    } else if (object == MIXER_OBJECTF_MIXER) {
        IMixerSystem* system = CurrentSystem();
        auto id = reinterpret_cast<UINT_PTR>(hmxobj);
        if (id >= system->CountDevices()) return MMSYSERR_BADDEVICEID;
        data = system->OpenDevice(static_cast<UINT>(id));
        if (!data) return MMSYSERR_NODRIVER;
    } else {
        return MMSYSERR_INVALPARAM;
    }

    DWORD query = fdwInfo & MIXER_GETLINEINFOF_QUERYMASK;
    if (query != MIXER_GETLINEINFOF_DESTINATION && query != MIXER_GETLINEINFOF_SOURCE) return MMSYSERR_INVALPARAM;
    DWORD dst = pmxl->dwDestination;
    if (dst >= data->destinations.size()) return MIXERR_INVALLINE;
    const MixerLineData& dest = data->destinations[dst];

    MIXERLINEA line {};
    line.cbStruct = pmxl->cbStruct;
    line.dwDestination = dst;
    line.cChannels = 2;
    // A caller's smaller structure ends inside Target.szPname: the name ends within it.
    const std::size_t pnameRoom = std::min<std::size_t>(sizeof(line.Target.szPname),
                                                        pmxl->cbStruct - offsetof(MIXERLINEA, Target.szPname));
    CopyName(line.Target.szPname, pnameRoom, data->name);
    line.Target.vDriverVersion = 0x0100;
    const MixerLineData* shown = &dest;
    if (query == MIXER_GETLINEINFOF_DESTINATION) {
        line.dwLineID = dst;
        line.fdwLine = MIXERLINE_LINEF_ACTIVE;
        line.cConnections = static_cast<DWORD>(dest.sources.size());
        line.Target.dwType = MIXERLINE_TARGETTYPE_WAVEIN;
    } else {
        DWORD src = pmxl->dwSource;
        if (src >= dest.sources.size()) return MIXERR_INVALLINE;
        shown = &dest.sources[src];
        line.dwSource = src;
        line.dwLineID = (src + 1) << 16 | dst;
        line.fdwLine = MIXERLINE_LINEF_ACTIVE | MIXERLINE_LINEF_SOURCE;
        line.Target.dwType = MIXERLINE_TARGETTYPE_UNDEFINED;
    }
    line.dwComponentType = shown->componentType;
    // The destination's short name is ours; a source's is its name cut short.
    const std::string& shortName =
        query == MIXER_GETLINEINFOF_DESTINATION && shown->name == kRecordingLineName ? std::string(kRecordingShortName)
                                                                                     : shown->name;
    CopyName(line.szShortName, sizeof(line.szShortName), shortName);
    CopyName(line.szName, sizeof(line.szName), shown->name);
    std::memcpy(pmxl, &line, std::min<std::size_t>(pmxl->cbStruct, sizeof(line)));
    return MMSYSERR_NOERROR;
}
