// The two small bases of the module's COM objects and their one-line QueryInterface.
#pragma once

#include "../platform/VxOwners.h"
#include "contracts/VxInterfaces.h"
#include "contracts/VxResults.h"

#include <atomic>
#include <new>

// Objects live in zero-filled global memory. operator new answers null when memory is out,
// so `new` gives null and runs no constructor. Members still get initializers: the zero fill
// is how memory is allocated, not how members are initialised.
class CVxGlobalObject {
public:
    static void* operator new(size_t bytes) noexcept { return VxGlobal_Alloc(bytes); }
    static void operator delete(void* pointer) noexcept { VxGlobal_Free(pointer); }
};

// Answers iid with the first listed interface whose IID matches; IUnknown gives the first
// table. Null out: E_POINTER; *out is cleared first; the result is add-referenced.
template <class First, class... Rest, class Object>
HRESULT VxQueryInterface(Object* object, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    IUnknown* found = nullptr;
    if (iid == IID_IUnknown || iid == VxIidOf<First>())
        found = static_cast<First*>(object);
    else
        ((found == nullptr && iid == VxIidOf<Rest>() ? (found = static_cast<Rest*>(object), 0) : 0), ...);
    if (!found)
        return E_NOINTERFACE;
    found->AddRef();
    *out = found;
    return S_OK;
}

template <class... Interfaces>
class CVxComObject : public Interfaces..., public CVxGlobalObject {
public:
    ULONG VXAPI AddRef() override { return ULONG(++m_refCount); }
    ULONG VXAPI Release() override
    {
        const int32_t count = --m_refCount;
        if (count == 0)
            delete this;
        return ULONG(count);
    }
    virtual ~CVxComObject() = default;  // the deleting destructor follows the interface slots

protected:
    std::atomic<int32_t> m_refCount = 0;  // QueryInterface gives the first reference
};

// Streams and metadata objects belong to their open file: references go to the file too.
template <class Owner, class... Interfaces>
class CVxComChild : public CVxComObject<Interfaces...> {
public:
    ULONG VXAPI AddRef() override
    {
        m_owner->AddRef();
        return ULONG(++this->m_refCount);
    }
    ULONG VXAPI Release() override
    {
        const int32_t count = --this->m_refCount;
        m_owner->Release();  // may destroy the owner, and this object with it
        return ULONG(count);
    }

protected:
    explicit CVxComChild(Owner* owner) : m_owner(owner) {}
    Owner* m_owner;  // no reference of its own
};
