// The module-wide frame buffer pool and the buffer-access objects that open files take from it.
// Every frame buffer is a fresh zero-filled block: nothing is cached, so AllocBuffer always
// answers S_FALSE ("fill it").
#pragma once

#include "../plugin/ComObject.h"
#include "../plugin/contracts/VxInterfaces.h"

// The unknown of an aggregatable object that owns its reference count. It is a real IUnknown
// (so it can be handed out and called as one) whose three slots answer with the
// non-delegating operations.
struct INonDelegatingUnknown : IUnknown {
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) final { return NonDelegatingQueryInterface(iid, out); }
    ULONG VXAPI AddRef() final { return NonDelegatingAddRef(); }
    ULONG VXAPI Release() final { return NonDelegatingRelease(); }

    virtual HRESULT VXAPI NonDelegatingQueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG VXAPI NonDelegatingAddRef() = 0;
    virtual ULONG VXAPI NonDelegatingRelease() = 0;
};

// IVxBufferPool whose IUnknown slots go to the outer unknown: the aggregating object, or the
// pool's own non-delegating unknown when it stands alone.
struct CVxDelegatingBufferPool : IVxBufferPool {
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) final { return m_outer->QueryInterface(iid, out); }
    ULONG VXAPI AddRef() final { return m_outer->AddRef(); }
    ULONG VXAPI Release() final { return m_outer->Release(); }

protected:
    explicit CVxDelegatingBufferPool(IUnknown* outer) : m_outer(outer) {}
    IUnknown* m_outer;
};

// Written out by hand rather than on CVxComObject: an aggregatable object has two unknowns.
// The IUnknown slots of IVxBufferPool delegate to the outer object, while the non-delegating
// unknown owns the count, which starts at 1 because the creator queries and then releases its
// own reference. Each unknown gets its IUnknown slots from its own base above, since one
// class cannot give the same slot two meanings.
class CVxStillsBufferPool : public CVxDelegatingBufferPool, public INonDelegatingUnknown, public CVxGlobalObject {
public:
    explicit CVxStillsBufferPool(IUnknown* outer);

    // IVxBufferPool
    HRESULT VXAPI CreateBufferAccess(IVxBufferAccess** access) override;
    HRESULT VXAPI ReservedPool4(uint32_t a, uint32_t b) override;

    virtual ~CVxStillsBufferPool() = default;

    // INonDelegatingUnknown
    HRESULT VXAPI NonDelegatingQueryInterface(REFIID iid, void** out) override;
    ULONG VXAPI NonDelegatingAddRef() override;
    ULONG VXAPI NonDelegatingRelease() override;

private:
    std::atomic<int32_t> m_refCount = 1;
};

// One per open file. Holds no state besides its count, so any thread may call it.
class CVxStillsBufferAccess : public CVxComObject<IVxBufferAccess> {
public:
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;

    // IVxBufferAccess. The key words mean nothing to this pool and are ignored.
    HRESULT VXAPI ReservedAccess3(uint32_t a, uint32_t b) override;
    HRESULT VXAPI ReservedAccess4(uint32_t a) override;
    HRESULT VXAPI AllocBuffer(uint32_t key0, uint32_t key1, uint32_t key2, uint32_t bytes,
                              uint32_t key4, uint32_t key5, void** buffer) override;
    HRESULT VXAPI FreeBuffer(uint32_t key0, uint32_t key1, uint32_t key2, uint32_t key3,
                             uint32_t bytes, void* buffer) override;
    HRESULT VXAPI ReservedAccess7() override;
};

// Creates a pool, optionally inside an outer object (which may only ask for IUnknown).
extern "C" VX_EXPORT HRESULT VXAPI StillsBufferPool_Create(IUnknown* outer, REFIID riid, void** ppv);

// Module start and stop: create the pool and keep its IUnknown and IVxBufferPool pointers;
// release both (pool pointer first) and clear them.
HRESULT VxBufferPool_Start(IUnknown** unknown, IVxBufferPool** pool);
void VxBufferPool_Stop(IUnknown** unknown, IVxBufferPool** pool);
