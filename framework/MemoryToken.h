// Memory tokens: a _vxmemorytoken names a block of memory in some process, either ordinary
// memory reached with process-memory reads and writes (kind 0) or a file mapping whose handle
// is duplicated into this process (kind 1). These classes make such a block reachable here for
// one call, copy into or out of it in one step, or wrap a token that other processes cannot
// reach into a shareable mapping. Tokens whose owner is this process are used in place.
#pragma once

#include "../platform/VxWin32.h"
#include "../plugin/contracts/VxRecords.h"
#include "../plugin/contracts/VxResults.h"

// Access flags of the token classes; a value with neither bit set means both.
constexpr ULONG kVxTokenAccessWrite = 2;  // what is written here must reach the owner
constexpr ULONG kVxTokenAccessRead = 4;   // the data must be readable here

// Makes a token's data reachable in this process until Dispose (or destruction). A token of
// another process is mapped (kind 1) or copied into a local block (kind 0), which Dispose
// writes back when asked to. A token that cannot be reached leaves the object invalid: no
// pointer, DataSize -1. Not shared between threads.
class VX_EXPORT CMappingOfVxMemoryToken {
public:
    CMappingOfVxMemoryToken(const _vxmemorytoken& token, ULONG flags);
    ~CMappingOfVxMemoryToken();
    CMappingOfVxMemoryToken(const CMappingOfVxMemoryToken&) = delete;
    // Copies every field as it stands, so both objects then name the same view or block:
    // exactly one of them may be disposed.
    CMappingOfVxMemoryToken& operator=(const CMappingOfVxMemoryToken& other);

    void Close();
    void Dispose();

    HRESULT GetPointer(void** pointer) const;
    void* Pointer() const;
    LONG DataSize() const;

    // Copy a token's data out into dst (capacity cb), or cb bytes from src into a token's data.
    static HRESULT CopyData(void* dst, const _vxmemorytoken& src, LONG cb);
    static HRESULT CopyData(const _vxmemorytoken& dst, const void* src, LONG cb);

private:
    void MapView(ULONG access);
    void CopyIn(ULONG access);
    void StartEmpty(ULONG access);

    _vxmemorytoken m_token;
    void* m_data = nullptr;      // the data as reachable here
    void* m_viewBase = nullptr;  // the mapped view, when one was mapped
    HANDLE m_duplicate = INVALID_HANDLE_VALUE;
    bool m_mapped = false;
    bool m_localCopy = false;
    bool m_invalid = true;
    bool m_writeBack = false;
};

// Wraps a token for a call forwarded to another process. Kinds 0 and 1 are reachable from
// there and are handed out unchanged; any other kind is copied into a new file mapping (when
// the data is to be read) and copied back on destruction (when it is to be written).
class VX_EXPORT COutOfProcessMemoryToken {
public:
    COutOfProcessMemoryToken(_vxmemorytoken& token, ULONG flags, int unused);
    ~COutOfProcessMemoryToken();
    COutOfProcessMemoryToken(const COutOfProcessMemoryToken&) = delete;
    // Copies every field; exactly one of the two objects may be destroyed with its mapping.
    COutOfProcessMemoryToken& operator=(const COutOfProcessMemoryToken& other);

    HRESULT GetMemoryToken(_vxmemorytoken& out) const;

private:
    _vxmemorytoken m_token;
    _vxmemorytoken m_shareable;
    BOOL m_usesOwnMapping = TRUE;
    BOOL m_failed = TRUE;
    ULONG m_access = 0;
};

// A new page-file-backed mapping of size bytes, mapped read-write here, as a kind-1 token of
// this process. Undone with CloseMappingMemoryToken.
HRESULT CreateMappingMemoryToken(_vxmemorytoken* token, ULONG size, int zeroFill);
// Unmaps and closes a mapping token of this process (E_INVALIDARG for anything else); the
// record is cleared either way.
HRESULT CloseMappingMemoryToken(_vxmemorytoken* token);
