// ComPtr: the owner of one COM interface reference, so that no path through a chain of queries
// (browser, document, body) forgets a Release.
#pragma once

#include <unknwn.h>

namespace winfx {

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* Get() const { return m_p; }
    Interface* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For calls that hand out a new reference; whatever was held is released first.
    Interface** Receive()
    {
        Reset();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    // Takes over a reference the caller already owns.
    void Attach(Interface* p)
    {
        Reset();
        m_p = p;
    }
    // Hands the reference to the caller.
    Interface* Detach()
    {
        Interface* p = m_p;
        m_p = nullptr;
        return p;
    }
    void Reset()
    {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }

    template <typename Other>
    HRESULT QueryInto(REFIID iid, ComPtr<Other>& out) const
    {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(iid, out.ReceiveVoid());
    }

private:
    Interface* m_p = nullptr;
};

}  // namespace winfx
