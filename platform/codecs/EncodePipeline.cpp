#include "platform/codecs/EncodePipeline.h"

#include <system_error>

HRESULT CEncodePipeline::Start(std::vector<EncodeSlot> slots, Coder coder)
{
    Stop();
    if (slots.empty() || !coder) return E_INVALIDARG;
    m_slots = std::move(slots);
    m_free.clear();
    for (EncodeSlot& slot : m_slots) m_free.push_back(&slot);
    m_submitted.clear();
    m_bBusy = false;
    m_hrError = S_OK;
    m_coder = std::move(coder);
    m_bRunning = true;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        m_bRunning = false;
        m_slots.clear();
        m_free.clear();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

EncodeSlot* CEncodePipeline::Acquire(HRESULT* phr)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_free.empty() || FAILED(m_hrError) || !m_bRunning; });
    if (FAILED(m_hrError) || !m_bRunning) {
        if (phr) *phr = FAILED(m_hrError) ? m_hrError : VFW_E_WRONG_STATE;
        return nullptr;
    }
    EncodeSlot* slot = m_free.back();
    m_free.pop_back();
    if (phr) *phr = S_OK;
    return slot;
}

void CEncodePipeline::Submit(EncodeSlot* slot)
{
    {
        std::lock_guard lock(m_mutex);
        if (FAILED(m_hrError) || !m_bRunning) m_free.push_back(slot);
        else m_submitted.push_back(slot);
    }
    m_changed.notify_all();
}

void CEncodePipeline::Release(EncodeSlot* slot)
{
    {
        std::lock_guard lock(m_mutex);
        m_free.push_back(slot);
    }
    m_changed.notify_all();
}

HRESULT CEncodePipeline::WaitIdle()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return (m_submitted.empty() && !m_bBusy) || !m_bRunning; });
    return m_hrError;
}

void CEncodePipeline::Discard()
{
    {
        std::lock_guard lock(m_mutex);
        for (EncodeSlot* slot : m_submitted) m_free.push_back(slot);
        m_submitted.clear();
    }
    m_changed.notify_all();
}

void CEncodePipeline::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_bRunning = false;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
    m_submitted.clear();
    m_free.clear();
    m_slots.clear();
    m_coder = nullptr;
}

void CEncodePipeline::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_submitted.empty() || !m_bRunning; });
        if (!m_bRunning) break;
        EncodeSlot* slot = m_submitted.front();
        m_submitted.pop_front();
        m_bBusy = true;
        lock.unlock();
        HRESULT hr = m_coder(*slot);
        lock.lock();
        m_bBusy = false;
        m_free.push_back(slot);
        if (FAILED(hr) && SUCCEEDED(m_hrError)) {
            m_hrError = hr;
            for (EncodeSlot* dropped : m_submitted) m_free.push_back(dropped);
            m_submitted.clear();
        }
        m_changed.notify_all();
    }
    m_changed.notify_all();
}
