// The frame buffer pool: an aggregatable factory of buffer-access objects.
#include "BufferPool.h"

CVxStillsBufferPool::CVxStillsBufferPool(IUnknown* outer)
    : CVxDelegatingBufferPool(outer ? outer : static_cast<INonDelegatingUnknown*>(this))
{
}

HRESULT VXAPI CVxStillsBufferPool::CreateBufferAccess(IVxBufferAccess** access)
{
    if (!access)
        return E_INVALIDARG;
    CVxStillsBufferAccess* created = new CVxStillsBufferAccess;
    if (!created) {
        *access = nullptr;
        return E_OUTOFMEMORY;
    }
    created->AddRef();  // the caller's reference
    *access = created;
    return S_OK;
}

HRESULT VXAPI CVxStillsBufferPool::ReservedPool4(uint32_t, uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillsBufferPool::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    IUnknown* found = nullptr;
    if (iid == IID_IVxBufferPool)
        found = static_cast<IVxBufferPool*>(this);
    else if (iid == IID_IUnknown)
        found = static_cast<INonDelegatingUnknown*>(this);
    if (!found) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    found->AddRef();  // the pool's own AddRef goes to the outer object when aggregated
    *out = found;
    return S_OK;
}

ULONG VXAPI CVxStillsBufferPool::NonDelegatingAddRef()
{
    return ULONG(++m_refCount);
}

ULONG VXAPI CVxStillsBufferPool::NonDelegatingRelease()
{
    const int32_t count = --m_refCount;
    if (count == 0)
        delete this;
    return ULONG(count);
}

HRESULT VXAPI CVxStillsBufferAccess::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IVxBufferAccess>(this, iid, out);
}

HRESULT VXAPI CVxStillsBufferAccess::ReservedAccess3(uint32_t, uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillsBufferAccess::ReservedAccess4(uint32_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxStillsBufferAccess::AllocBuffer(uint32_t, uint32_t, uint32_t, uint32_t bytes,
                                                 uint32_t, uint32_t, void** buffer)
{
    if (!buffer)
        return E_INVALIDARG;
    *buffer = VxGlobal_Alloc(bytes);
    return *buffer ? S_FALSE : E_OUTOFMEMORY;  // a fresh block: the caller decodes into it
}

HRESULT VXAPI CVxStillsBufferAccess::FreeBuffer(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                                void* buffer)
{
    VxGlobal_Free(buffer);
    return S_OK;
}

HRESULT VXAPI CVxStillsBufferAccess::ReservedAccess7()
{
    return E_NOTIMPL;
}

extern "C" VX_EXPORT HRESULT VXAPI StillsBufferPool_Create(IUnknown* outer, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (outer && !(riid == IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    CVxStillsBufferPool* pool = new CVxStillsBufferPool(outer);
    if (!pool)
        return E_OUTOFMEMORY;
    // The query adds the caller's reference; dropping the creation reference frees the pool
    // again when the query failed.
    const HRESULT hr = pool->NonDelegatingQueryInterface(riid, ppv);
    pool->NonDelegatingRelease();
    return hr;
}

HRESULT VxBufferPool_Start(IUnknown** unknown, IVxBufferPool** pool)
{
    *unknown = nullptr;
    *pool = nullptr;
    VX_RETURN_IF_FAILED(StillsBufferPool_Create(nullptr, IID_IUnknown, reinterpret_cast<void**>(unknown)));
    return (*unknown)->QueryInterface(IID_IVxBufferPool, reinterpret_cast<void**>(pool));
}

void VxBufferPool_Stop(IUnknown** unknown, IVxBufferPool** pool)
{
    if (*pool)
        std::exchange(*pool, nullptr)->Release();
    if (*unknown)
        std::exchange(*unknown, nullptr)->Release();
}
