#pragma once
// Hands converted pictures to a coding thread of their own, so that the streaming thread can
// capture and convert the next frame while this one is coded. A fixed set of slots goes round:
// the streaming thread fills a free one and submits it; the coding thread codes the submitted
// ones in order and frees them. The first failure of the coding stops it: what is still
// submitted is dropped, and the streaming thread gets the failure instead of a free slot.
#include "platform/codecs/AvHandles.h"
#include "platform/dshow/Interfaces.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct EncodeSlot {
    AvFramePtr picture;
    REFERENCE_TIME tStart = 0, tStop = 0;
    bool bTimed = false;
    bool bDiscontinuity = false;
};

class CEncodePipeline {
public:
    using Coder = std::function<HRESULT(EncodeSlot&)>;

    CEncodePipeline() = default;
    ~CEncodePipeline() { Stop(); }
    CEncodePipeline(const CEncodePipeline&) = delete;
    CEncodePipeline& operator=(const CEncodePipeline&) = delete;

    // Starts the coding thread over these slots (at least one).
    HRESULT Start(std::vector<EncodeSlot> slots, Coder coder);
    // Waits for a free slot; null with *phr set once the coding failed or the pipeline stopped.
    EncodeSlot* Acquire(HRESULT* phr);
    void Submit(EncodeSlot* slot);
    // Gives back an acquired slot that will not be submitted.
    void Release(EncodeSlot* slot);
    // Waits until every submitted slot is coded; the first failure, if any.
    HRESULT WaitIdle();
    // Drops what is submitted and not yet being coded.
    void Discard();
    // Drops what is left, ends the thread and frees the slots.
    void Stop();

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<EncodeSlot> m_slots;
    std::vector<EncodeSlot*> m_free;
    std::deque<EncodeSlot*> m_submitted;
    bool m_bBusy = false;  // the coding thread holds a slot
    bool m_bRunning = false;  // started and not stopped
    HRESULT m_hrError = S_OK;
    Coder m_coder;
    std::thread m_thread;
};
