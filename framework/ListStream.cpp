// Read-only streams over item lists.
#include "ListStream.h"

#include "../support/VxList.h"

#include <algorithm>
#include <cstring>

namespace {

// Summary and property lists: thread-safe heap lists.
constexpr uint32_t kSharedListOptions = kVxListThreadSafe | kVxListHeap;

uint32_t Word(const void* item, int index)
{
    uint32_t word;
    std::memcpy(&word, static_cast<const uint8_t*>(item) + index * 4, sizeof word);
    return word;
}

uint32_t SizeSum(uint64_t size)
{
    return uint32_t(std::min<uint64_t>(size, UINT32_MAX));
}

}  // namespace

HRESULT CVxSharedList::Create(CVxSharedList** out)
{
    *out = nullptr;
    auto* shared = new CVxSharedList;
    if (!shared)
        return E_OUTOFMEMORY;
    const HRESULT hr = VxList_CreateExZ(&shared->m_list, 4, -1, -1, kSharedListOptions);
    if (FAILED(hr)) {
        shared->Release();
        return hr;
    }
    *out = shared;
    return S_OK;
}

CVxSharedList::~CVxSharedList()
{
    if (m_list) {
        VxList_DeleteList(m_list, 0, -1, TRUE);
        VxList_Destroy(m_list);
    }
}

CVxListStream::CVxListStream(CVxSharedList* list)
    : m_list(list), m_lock(CreateMutexW(nullptr, FALSE, nullptr))
{
    if (m_list)
        m_list->AddRef();
}

CVxListStream::~CVxListStream()
{
    if (m_list)
        m_list->Release();
    if (CVxHandle::IsValid(m_lock))
        CloseHandle(m_lock);
}

HRESULT VXAPI CVxListStream::QueryInterface(REFIID iid, void** out)
{
    return VxQueryInterface<IStream>(this, iid, out);
}

HRESULT CVxListStream::FetchItem(int32_t index)
{
    tVXLIST* list = m_list->List();
    const void* item = VxList_GetItem(list, index);
    const void* data = nullptr;
    uint32_t size = 0;
    const HRESULT hr = GetItemData(item, &data, &size);
    if (SUCCEEDED(hr) && item) {
        // An item never yields more bytes than it holds, whatever its words claim.
        m_itemData = static_cast<const uint8_t*>(data);
        m_itemSize = uint32_t(std::min<size_t>(size, VxList_AllocSize(list, index)));
    }
    return hr;
}

void CVxListStream::MoveTo(int32_t index)
{
    m_position = 0;
    m_index = index;
    m_itemData = nullptr;
    m_itemSize = 0;
}

// The result follows the reading rules of the host's list streams: S_OK once bytes were
// copied, E_FAIL when the walk stepped past the end of an item and found no further one, and
// E_INVALIDARG when nothing at all was there.
HRESULT CVxListStream::Walk(uint8_t* to, uint32_t bytes, uint32_t* done)
{
    tVXLIST* list = m_list->List();
    HRESULT hr = E_INVALIDARG;
    uint32_t copied = 0;
    auto take = [&](const uint8_t* from, uint32_t available) {
        const uint32_t part = std::min(available, bytes - copied);
        if (to)
            std::memcpy(to + copied, from, part);
        copied += part;
        m_position += part;
        hr = S_OK;
    };
    while (copied < bytes) {
        if (m_index < 0) {
            if (m_position < kHeaderBytes) {
                m_header[2] = uint32_t(VxList_GetCount(list));
                take(reinterpret_cast<const uint8_t*>(m_header) + m_position, kHeaderBytes - m_position);
            }
            if (m_position >= kHeaderBytes) {
                MoveTo(0);
                if (VxList_GetCount(list) > 0) {
                    const HRESULT first = FetchItem(0);
                    if (FAILED(first)) {
                        hr = first;
                        break;
                    }
                }
            }
            continue;
        }
        if (m_index >= VxList_GetCount(list))
            break;
        if (m_itemData && m_position < m_itemSize) {
            take(m_itemData + m_position, m_itemSize - m_position);
            continue;
        }
        if (!VxList_GetItem(list, m_index)) {
            ++m_index;   // a null entry is passed over
            continue;
        }
        const HRESULT next = FetchItem(m_index);
        if (FAILED(next)) {
            ++m_index;   // the current item is used up
            hr = next;
        } else {
            m_position = 0;
        }
    }
    *done = copied;
    return hr;
}

HRESULT VXAPI CVxListStream::Read(void* data, ULONG bytes, ULONG* read)
{
    if (!data)
        return E_INVALIDARG;
    if (!m_list)
        return VXE_END_OF_FILE;
    CVxMutexLock lock(m_lock);
    uint32_t done = 0;
    const HRESULT hr = Walk(static_cast<uint8_t*>(data), bytes, &done);
    if (read)
        *read = done;
    return hr;
}

// A move from the current place skips bytes exactly as Read would copy them, the header
// included when the stream is still in it. The new position reports the item index.
HRESULT VXAPI CVxListStream::Seek(int64_t move, DWORD origin, uint64_t* newPosition)
{
    if (!m_list)
        return VXE_END_OF_FILE;
    CVxMutexLock lock(m_lock);
    switch (origin) {
    case STREAM_SEEK_SET:
        MoveTo(-1);
        GetItemData(nullptr, nullptr, nullptr);
        break;
    case STREAM_SEEK_CUR:
        if (const uint32_t skip = uint32_t(uint64_t(move)); skip != 0) {
            uint32_t done = 0;
            Walk(nullptr, skip, &done);
            if (done < skip)
                return VXE_END_OF_FILE;
        }
        break;
    case STREAM_SEEK_END:
        MoveTo(VxList_GetCount(m_list->List()));
        GetItemData(nullptr, nullptr, nullptr);
        break;
    default:
        break;
    }
    if (newPosition)
        *newPosition = uint64_t(uint32_t(std::max(m_index, 0)));
    return S_OK;
}

HRESULT VXAPI CVxListStream::Write(const void*, ULONG, ULONG*)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxListStream::SetSize(uint64_t)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxListStream::CopyTo(IStream*, uint64_t, uint64_t*, uint64_t*)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxListStream::Commit(DWORD)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxListStream::Revert()
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxListStream::LockRegion(uint64_t, uint64_t, DWORD)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxListStream::UnlockRegion(uint64_t, uint64_t, DWORD)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxListStream::Stat(void*, DWORD)
{
    return E_NOTIMPL;
}

HRESULT VXAPI CVxListStream::Clone(IStream**)
{
    return E_NOTIMPL;
}

HRESULT CVxSummaryStream::GetItemData(const void* item, const void** data, uint32_t* size)
{
    if (!item) {
        m_lastItem = nullptr;
        return S_OK;
    }
    if (item == m_lastItem)
        return E_FAIL;
    m_lastItem = item;
    *data = item;
    *size = SizeSum(uint64_t(Word(item, 0)) + Word(item, 2));
    return S_OK;
}

HRESULT CVxMediaMgrStream::GetItemData(const void* item, const void** data, uint32_t* size)
{
    if (!item) {
        m_lastItem = nullptr;
        return S_OK;
    }
    if (item == m_lastItem)
        return E_FAIL;
    m_lastItem = item;
    *data = item;
    *size = SizeSum(uint64_t(Word(item, 0)) + Word(item, 11) + Word(item, 13));
    return S_OK;
}
