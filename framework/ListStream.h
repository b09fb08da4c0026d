// Read-only IStream objects over item lists: the summary and media-manager streams that the
// metadata object hands to the host.
#pragma once

#include "../plugin/contracts/VxInterfaces.h"
#include "../plugin/ComObject.h"

#include <atomic>

struct tVXLIST;

// A thread-safe heap list shared by the metadata object and the streams made over it. The
// last holder deletes its items and destroys it, so a stream the host still holds after the
// metadata object has reset or died keeps reading the list it was made over.
class CVxSharedList : public CVxGlobalObject {
public:
    // A new list with one reference for the caller.
    static HRESULT Create(CVxSharedList** out);

    tVXLIST* List() const { return m_list; }
    void AddRef() { ++m_refCount; }
    void Release()
    {
        if (--m_refCount == 0)
            delete this;
    }

private:
    CVxSharedList() = default;
    ~CVxSharedList();

    std::atomic<int32_t> m_refCount = 1;
    tVXLIST* m_list = nullptr;
};

// The stream content is a 12-byte header (12, 100, item count) followed by the bytes of every
// item in list order, each as long as GetItemData says. Read and Seek walk the list item by
// item; a lock keeps the walk whole when host threads share the stream.
class CVxListStream : public CVxComObject<IStream> {
public:
    HRESULT VXAPI QueryInterface(REFIID iid, void** out) override;
    HRESULT VXAPI Read(void* data, ULONG bytes, ULONG* read) override;
    HRESULT VXAPI Write(const void* data, ULONG bytes, ULONG* written) override;
    HRESULT VXAPI Seek(int64_t move, DWORD origin, uint64_t* newPosition) override;
    HRESULT VXAPI SetSize(uint64_t size) override;
    HRESULT VXAPI CopyTo(IStream* target, uint64_t bytes, uint64_t* read, uint64_t* written) override;
    HRESULT VXAPI Commit(DWORD flags) override;
    HRESULT VXAPI Revert() override;
    HRESULT VXAPI LockRegion(uint64_t offset, uint64_t bytes, DWORD type) override;
    HRESULT VXAPI UnlockRegion(uint64_t offset, uint64_t bytes, DWORD type) override;
    HRESULT VXAPI Stat(void* statstg, DWORD flags) override;
    HRESULT VXAPI Clone(IStream** out) override;
    ~CVxListStream() override;

    // The bytes of one item. A null item forgets the last item handed out (S_OK, nothing
    // written); the item handed out last answers E_FAIL, which moves a walk to the next item.
    virtual HRESULT GetItemData(const void* item, const void** data, uint32_t* size) = 0;

protected:
    // Takes a reference on list; a null list makes a stream over nothing.
    explicit CVxListStream(CVxSharedList* list);

    const void* m_lastItem = nullptr;   // kept by the subclasses' GetItemData

private:
    static constexpr uint32_t kHeaderBytes = 12;

    // Copies (or, with to null, skips) up to bytes bytes from the current place.
    HRESULT Walk(uint8_t* to, uint32_t bytes, uint32_t* done);
    // Makes the item at index the current one through GetItemData.
    HRESULT FetchItem(int32_t index);
    // Starts the part at index (-1: the header) from its beginning.
    void MoveTo(int32_t index);

    CVxSharedList* m_list;
    HANDLE m_lock;
    int32_t m_index = -1;          // -1 while the header is read
    uint32_t m_position = 0;       // bytes of the current part already passed
    uint32_t m_header[3] = {kHeaderBytes, 100, 0};
    const uint8_t* m_itemData = nullptr;
    uint32_t m_itemSize = 0;
};

// Summary records: header size + byte count of the data.
class CVxSummaryStream : public CVxListStream {
public:
    explicit CVxSummaryStream(CVxSharedList* list) : CVxListStream(list) {}
    HRESULT GetItemData(const void* item, const void** data, uint32_t* size) override;
};

// Media-manager properties: first word + twelfth word + fourteenth word.
class CVxMediaMgrStream : public CVxListStream {
public:
    explicit CVxMediaMgrStream(CVxSharedList* list) : CVxListStream(list) {}
    HRESULT GetItemData(const void* item, const void** data, uint32_t* size) override;
};
