#pragma once
// Owns one reference to an interface; copying adds one, destruction releases it.
#include "platform/com/Unknown.h"

#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference (AddRef); use Attach to adopt one already owned.
    explicit ComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr other) noexcept { std::swap(m_p, other.m_p); return *this; }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    void Reset() { if (T* p = std::exchange(m_p, nullptr)) p->Release(); }
    void Attach(T* p) { Reset(); m_p = p; }
    T* Detach() { return std::exchange(m_p, nullptr); }
    // For out parameters: releases what is held and hands out the slot.
    T** ReleaseAndGetAddressOf() { Reset(); return &m_p; }
    void** ReleaseAndGetVoidAddressOf() { return reinterpret_cast<void**>(ReleaseAndGetAddressOf()); }

    HRESULT CopyTo(T** pp) const
    {
        if (!pp) return E_POINTER;
        *pp = m_p;
        if (m_p) m_p->AddRef();
        return S_OK;
    }

    template <class U>
    HRESULT As(ComPtr<U>& out, REFIID riid) const
    {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(riid, out.ReleaseAndGetVoidAddressOf());
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.m_p == b.m_p; }

private:
    T* m_p = nullptr;
};
