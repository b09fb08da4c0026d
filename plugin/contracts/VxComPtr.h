// Owner of one interface reference: released at scope exit; &ptr is an out-pointer.
#pragma once

#include "VxInterfaces.h"

#include <memory>
#include <utility>

template <class Interface>
class CVxComPtr {
public:
    CVxComPtr() = default;
    explicit CVxComPtr(Interface* p) : m_p(p) {}  // takes over a reference
    CVxComPtr(CVxComPtr&& other) noexcept : m_p(other.Detach()) {}
    CVxComPtr& operator=(CVxComPtr&& other) noexcept
    {
        if (this != std::addressof(other))  // operator& is the out-pointer form
            Reset(other.Detach());
        return *this;
    }
    CVxComPtr(const CVxComPtr&) = delete;
    CVxComPtr& operator=(const CVxComPtr&) = delete;
    ~CVxComPtr() { Reset(); }

    Interface* Get() const { return m_p; }
    Interface* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // The out-pointer form releases what was held first.
    Interface** operator&()
    {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(&*this); }
    Interface* Detach() { return std::exchange(m_p, nullptr); }
    void Reset(Interface* p = nullptr)
    {
        if (m_p)
            m_p->Release();
        m_p = p;
    }
    // Asks the held object for another interface.
    template <class Other>
    HRESULT As(CVxComPtr<Other>& out) const
    {
        return m_p ? m_p->QueryInterface(VxIidOf<Other>(), out.OutVoid()) : HRESULT(0x80004003u);
    }

private:
    Interface* m_p = nullptr;
};
