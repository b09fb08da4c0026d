// Memory tokens across processes: mapping, one-step copies and shareable wrappers.
#include "MemoryToken.h"

#include "../platform/VxOwners.h"

#include <cstring>

namespace {

constexpr DWORD kVxProcessMemoryAccess = PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE;

// Only the read and write bits count; neither means both.
ULONG VxToken_Access(ULONG flags)
{
    const ULONG access = flags & (kVxTokenAccessRead | kVxTokenAccessWrite);
    return access ? access : kVxTokenAccessRead | kVxTokenAccessWrite;
}

bool VxToken_IsLocal(const _vxmemorytoken& token)
{
    return token.ownerProcessId == GetCurrentProcessId();
}

// The address of the data in the owner process. False for a negative size or a block that
// would run past the end of the address space: such a token names nothing.
bool VxToken_DataAddress(const _vxmemorytoken& token, uintptr_t* address)
{
    if (token.dataSize < 0)
        return false;
    const uint64_t start = token.baseAddress + token.dataOffset;
    const uint64_t end = start + uint64_t(token.dataSize);
    if (start < token.baseAddress || end < start || uint64_t(uintptr_t(end)) != end)
        return false;
    *address = uintptr_t(start);
    return true;
}

// The mapping handle of a token: the descriptor in the owner process, all 64 bits of it.
HANDLE VxToken_Handle(const _vxmemorytoken& token)
{
    return reinterpret_cast<HANDLE>(intptr_t(token.memoryHandle));
}

// Bytes a view must cover to reach the end of the data; never wraps (32-bit offset and size).
size_t VxToken_ViewLength(const _vxmemorytoken& token)
{
    return size_t(token.dataOffset) + size_t(token.dataSize);
}

HRESULT VxToken_LastError()
{
    return VxErrorHandler_TranslateWin32Error(GetLastError());
}

void VxToken_Copy(void* to, const void* from, size_t bytes)
{
    if (bytes != 0)
        std::memcpy(to, from, bytes);
}

// Maps the mapping of a token of another process with the given access and hands the data to
// copy; every handle is closed and the view unmapped on every path.
template <class Copy>
HRESULT VxToken_CopyThroughView(const _vxmemorytoken& token, DWORD access, Copy copy)
{
    CVxHandle process(OpenProcess(PROCESS_DUP_HANDLE, FALSE, token.ownerProcessId));
    if (!process)
        return VxToken_LastError();
    HANDLE duplicated = INVALID_HANDLE_VALUE;
    if (!DuplicateHandle(process.Get(), VxToken_Handle(token), GetCurrentProcess(), &duplicated, 0,
                         FALSE, DUPLICATE_SAME_ACCESS))
        return VxToken_LastError();
    CVxHandle mapping(duplicated);
    uint8_t* view = static_cast<uint8_t*>(MapViewOfFile(mapping.Get(), access, 0, 0, VxToken_ViewLength(token)));
    if (!view)
        return VxToken_LastError();
    copy(view + token.dataOffset);
    UnmapViewOfFile(view);
    return S_OK;
}

// Copies one token's data into another's when both can be reached and are equally long.
bool VxToken_Transfer(const _vxmemorytoken& from, const _vxmemorytoken& to)
{
    CMappingOfVxMemoryToken source(from, kVxTokenAccessRead);
    CMappingOfVxMemoryToken target(to, kVxTokenAccessWrite);
    const LONG size = source.DataSize();
    if (size < 0 || size != target.DataSize() || !source.Pointer() || !target.Pointer())
        return false;
    VxToken_Copy(target.Pointer(), source.Pointer(), size_t(size));
    return true;
}

}  // namespace

CMappingOfVxMemoryToken::CMappingOfVxMemoryToken(const _vxmemorytoken& token, ULONG flags) : m_token(token)
{
    if (token.dataSize < 0)
        return;
    if (VxToken_IsLocal(token)) {
        uintptr_t address = 0;
        if (!VxToken_DataAddress(token, &address))
            return;
        m_data = reinterpret_cast<void*>(address);
        m_invalid = false;
        return;
    }
    const ULONG access = VxToken_Access(flags);
    if (token.kind == kVxTokenKindMapping)
        MapView(access);
    else if (token.kind == kVxTokenKindMemory && (access & kVxTokenAccessRead))
        CopyIn(access);
    else if (token.kind == kVxTokenKindMemory)
        StartEmpty(access);
}

// Kind 1: duplicate the owner's mapping handle and map the part up to the end of the data. A
// handle that cannot be mapped is closed again.
void CMappingOfVxMemoryToken::MapView(ULONG access)
{
    CVxHandle process(OpenProcess(PROCESS_DUP_HANDLE, FALSE, m_token.ownerProcessId));
    if (!process)
        return;
    HANDLE duplicated = INVALID_HANDLE_VALUE;
    if (!DuplicateHandle(process.Get(), VxToken_Handle(m_token), GetCurrentProcess(), &duplicated, 0,
                         FALSE, DUPLICATE_SAME_ACCESS))
        return;
    CVxHandle mapping(duplicated);
    void* view = MapViewOfFile(mapping.Get(), access, 0, 0, VxToken_ViewLength(m_token));
    if (!view)
        return;
    m_duplicate = mapping.Detach();
    m_viewBase = view;
    m_data = static_cast<uint8_t*>(view) + m_token.dataOffset;
    m_mapped = true;
    m_invalid = false;
}

// Kind 0 to be read: a local copy of exactly the data; a short read leaves the object invalid.
void CMappingOfVxMemoryToken::CopyIn(ULONG access)
{
    uintptr_t address = 0;
    if (!VxToken_DataAddress(m_token, &address))
        return;
    CVxHandle process(OpenProcess(kVxProcessMemoryAccess, FALSE, m_token.ownerProcessId));
    if (!process)
        return;
    const size_t size = size_t(m_token.dataSize);
    CVxGlobalBlock block(size ? size : 1);  // an empty token still gets a block to point at
    if (!block)
        return;
    size_t read = 0;
    if (!ReadProcessMemory(process.Get(), reinterpret_cast<const void*>(address), block.Get(), size, &read) ||
        read != size)
        return;
    m_data = block.Detach();
    m_localCopy = true;
    m_invalid = false;
    m_writeBack = (access & kVxTokenAccessWrite) != 0;
}

// Kind 0 only to be written: a zero-filled local block; nothing is read from the owner.
void CMappingOfVxMemoryToken::StartEmpty(ULONG access)
{
    uintptr_t address = 0;
    if (!VxToken_DataAddress(m_token, &address))
        return;
    const size_t size = size_t(m_token.dataSize);
    CVxGlobalBlock block(size ? size : 1);
    if (!block)
        return;
    m_data = block.Detach();
    m_localCopy = true;
    m_invalid = false;
    m_writeBack = (access & kVxTokenAccessWrite) != 0;
}

CMappingOfVxMemoryToken::~CMappingOfVxMemoryToken()
{
    Dispose();
}

CMappingOfVxMemoryToken& CMappingOfVxMemoryToken::operator=(const CMappingOfVxMemoryToken& other) = default;

void CMappingOfVxMemoryToken::Close()
{
    Dispose();
}

// Gives back what the mapping holds; a second call finds nothing left. The write-back of a
// local copy is best effort: its result is not reported.
void CMappingOfVxMemoryToken::Dispose()
{
    if (m_invalid) {
        m_data = nullptr;
        return;
    }
    if (m_mapped) {
        UnmapViewOfFile(m_viewBase);
        CloseHandle(m_duplicate);
        m_data = nullptr;
        m_viewBase = nullptr;
        m_mapped = false;
        m_duplicate = INVALID_HANDLE_VALUE;
    }
    if (m_localCopy) {
        uintptr_t address = 0;
        if (m_writeBack && VxToken_DataAddress(m_token, &address)) {
            CVxHandle process(OpenProcess(kVxProcessMemoryAccess, FALSE, m_token.ownerProcessId));
            if (process)
                WriteProcessMemory(process.Get(), reinterpret_cast<void*>(address), m_data,
                                   size_t(m_token.dataSize), nullptr);
        }
        VxGlobal_Free(m_data);
        m_data = nullptr;
        m_localCopy = false;
    }
}

HRESULT CMappingOfVxMemoryToken::GetPointer(void** pointer) const
{
    if (!pointer)
        return E_POINTER;
    *pointer = m_invalid ? nullptr : m_data;
    return m_invalid ? E_FAIL : S_OK;
}

void* CMappingOfVxMemoryToken::Pointer() const
{
    return m_invalid ? nullptr : m_data;
}

LONG CMappingOfVxMemoryToken::DataSize() const
{
    return m_invalid ? -1 : m_token.dataSize;
}

// Copy out: dst must hold the whole data; exactly the data size is copied. Negative sizes
// name nothing and are refused as arguments.
HRESULT CMappingOfVxMemoryToken::CopyData(void* dst, const _vxmemorytoken& src, LONG cb)
{
    if (!dst)
        return E_POINTER;
    if (src.dataSize < 0)
        return E_INVALIDARG;
    if (cb < src.dataSize)
        return VXE_BUFFER_TOO_SMALL;
    const size_t size = size_t(src.dataSize);
    uintptr_t address = 0;
    if (VxToken_IsLocal(src)) {
        if (!VxToken_DataAddress(src, &address))
            return E_INVALIDARG;
        VxToken_Copy(dst, reinterpret_cast<const void*>(address), size);
        return S_OK;
    }
    if (src.kind != kVxTokenKindMemory)  // every other kind is taken for a mapping
        return VxToken_CopyThroughView(src, FILE_MAP_READ,
                                       [&](const uint8_t* data) { VxToken_Copy(dst, data, size); });
    if (!VxToken_DataAddress(src, &address))
        return E_INVALIDARG;
    CVxHandle process(OpenProcess(PROCESS_VM_READ, FALSE, src.ownerProcessId));
    if (!process)
        return VxToken_LastError();
    size_t read = 0;
    if (!ReadProcessMemory(process.Get(), reinterpret_cast<const void*>(address), dst, size, &read) ||
        read != size)
        return VxToken_LastError();
    return S_OK;
}

// Copy in: the token's data must hold cb bytes; exactly cb bytes are copied.
HRESULT CMappingOfVxMemoryToken::CopyData(const _vxmemorytoken& dst, const void* src, LONG cb)
{
    if (!src)
        return E_POINTER;
    if (dst.dataSize < 0 || cb < 0)
        return E_INVALIDARG;
    if (dst.dataSize < cb)
        return VXE_BUFFER_TOO_SMALL;
    const size_t size = size_t(cb);
    uintptr_t address = 0;
    if (VxToken_IsLocal(dst)) {
        if (!VxToken_DataAddress(dst, &address))
            return E_INVALIDARG;
        VxToken_Copy(reinterpret_cast<void*>(address), src, size);
        return S_OK;
    }
    if (dst.kind != kVxTokenKindMemory)
        return VxToken_CopyThroughView(dst, FILE_MAP_WRITE, [&](uint8_t* data) { VxToken_Copy(data, src, size); });
    if (!VxToken_DataAddress(dst, &address))
        return E_INVALIDARG;
    CVxHandle process(OpenProcess(kVxProcessMemoryAccess, FALSE, dst.ownerProcessId));
    if (!process)
        return VxToken_LastError();
    size_t written = 0;
    if (!WriteProcessMemory(process.Get(), reinterpret_cast<void*>(address), src, size, &written) ||
        written != size)
        return VxToken_LastError();
    return S_OK;
}

COutOfProcessMemoryToken::COutOfProcessMemoryToken(_vxmemorytoken& token, ULONG flags, int /*unused*/)
    : m_token(token), m_shareable{}, m_access(VxToken_Access(flags))
{
    if (token.kind == kVxTokenKindMemory || token.kind == kVxTokenKindMapping) {
        m_usesOwnMapping = FALSE;
        m_shareable = token;
        m_failed = FALSE;
        return;
    }
    // A negative size cannot be carried: the wrapper fails without making a mapping.
    if (token.dataSize < 0)
        return;
    if (FAILED(CreateMappingMemoryToken(&m_shareable, ULONG(token.dataSize), FALSE)))
        return;
    if (!(m_access & kVxTokenAccessRead))
        m_failed = FALSE;  // nothing to copy in now
    else if (VxToken_Transfer(m_token, m_shareable))
        m_failed = FALSE;
    if (m_failed)
        CloseMappingMemoryToken(&m_shareable);
}

// Copies the shareable data back to the caller's token when it was to be written, then
// closes the wrapper's own mapping.
COutOfProcessMemoryToken::~COutOfProcessMemoryToken()
{
    if (!m_usesOwnMapping || m_failed)
        return;
    if (m_access & kVxTokenAccessWrite) {
        m_failed = TRUE;
        if (VxToken_Transfer(m_shareable, m_token))
            m_failed = FALSE;
    }
    CloseMappingMemoryToken(&m_shareable);
}

COutOfProcessMemoryToken& COutOfProcessMemoryToken::operator=(const COutOfProcessMemoryToken& other) = default;

HRESULT COutOfProcessMemoryToken::GetMemoryToken(_vxmemorytoken& out) const
{
    if (m_failed)
        return E_FAIL;
    out = m_shareable;
    return S_OK;
}

HRESULT CreateMappingMemoryToken(_vxmemorytoken* token, ULONG size, int zeroFill)
{
    if (!token)
        return E_POINTER;
    *token = {};
    // The data size field is signed 32-bit: larger blocks cannot be named by a token.
    if (size > ULONG(INT32_MAX))
        return E_INVALIDARG;
    const HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, nullptr);
    token->memoryHandle = mapping ? uint64_t(reinterpret_cast<intptr_t>(mapping)) : ~uint64_t(0);
    token->dataSize = int32_t(size);
    token->mappedSize = size;
    token->kind = kVxTokenKindMapping;
    token->ownerProcessId = GetCurrentProcessId();
    if (!mapping)
        return E_OUTOFMEMORY;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
    if (!view) {
        CloseHandle(mapping);
        token->memoryHandle = 0xFFFFFFFFu;  // all bits of the low word, high word 0
        return E_OUTOFMEMORY;
    }
    token->baseAddress = uint64_t(reinterpret_cast<uintptr_t>(view));
    if (zeroFill)
        std::memset(view, 0, size);
    return S_OK;
}

// Only a mapping token of this process names a view and a handle that are this process's to
// give back; a token of another process is refused rather than closing an unrelated handle.
HRESULT CloseMappingMemoryToken(_vxmemorytoken* token)
{
    if (!token)
        return E_POINTER;
    HRESULT hr = E_INVALIDARG;
    if (token->kind == kVxTokenKindMapping && VxToken_IsLocal(*token)) {
        UnmapViewOfFile(reinterpret_cast<const void*>(uintptr_t(token->baseAddress)));
        CloseHandle(VxToken_Handle(*token));
        hr = S_OK;
    }
    *token = {};
    return hr;
}
