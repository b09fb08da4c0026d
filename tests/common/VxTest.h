// Shared helpers of the test programs: one helper per job (result texts, the build folder,
// temporary folders and files, file bytes, memory tokens, frames into host memory).
#pragma once

#include "plugin/contracts/VxComPtr.h"
#include "plugin/contracts/VxInterfaces.h"
#include "plugin/contracts/VxResults.h"

#include <cstdint>
#include <string>
#include <vector>

// The result code as text for failure messages: "0x8004E008 VXE_FILE_READ".
std::string VxTest_Describe(HRESULT hr);

// The build directory (module, host and components), from VX_BUILD_DIR or the test's own folder.
std::string VxTest_BuildDir();

// A fresh directory under the system's temporary folder for one test, removed with its
// contents at the end; paths in it as UTF-8 and UTF-16.
class CVxTempDir {
public:
    CVxTempDir();
    ~CVxTempDir();
    CVxTempDir(const CVxTempDir&) = delete;
    CVxTempDir& operator=(const CVxTempDir&) = delete;

    const std::string& Root() const { return m_path; }
    std::string Path(const std::string& name) const { return m_path + "/" + name; }
    std::u16string WidePath(const std::string& name) const;

private:
    std::string m_path;
};

// A temporary file; Write replaces its contents and moves its modification time forward.
class CVxTestTempFile {
public:
    explicit CVxTestTempFile(const std::vector<uint8_t>& bytes);
    CVxTestTempFile(const CVxTestTempFile&) = delete;
    CVxTestTempFile& operator=(const CVxTestTempFile&) = delete;

    void Write(const std::vector<uint8_t>& bytes);
    void Remove();
    const char16_t* Path() const { return m_widePath.c_str(); }
    const std::string& Utf8Path() const { return m_path; }

private:
    CVxTempDir m_dir;
    std::string m_path;
    std::u16string m_widePath;
    int m_generation = 0;
};

// The process's time zone (TZ) set for one scope, the previous one put back at its end.
class CVxTestTimeZone {
public:
    explicit CVxTestTimeZone(const char* zone);
    ~CVxTestTimeZone();
    CVxTestTimeZone(const CVxTestTimeZone&) = delete;
    CVxTestTimeZone& operator=(const CVxTestTimeZone&) = delete;

private:
    bool m_hadOld;
    std::string m_old;
};

// A whole file's bytes (empty when it cannot be read), and a file made of bytes.
std::vector<uint8_t> VxTest_ReadBytes(const std::string& path);
bool VxTest_WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The 8-bit RGBA pixels of a PNG file, top row first, read with libpng's simplified interface
// (independent of the module); empty when it cannot be read.
std::vector<uint8_t> VxTest_ReadPngRgba(const std::string& path, uint32_t* width = nullptr,
                                        uint32_t* height = nullptr);

// A token naming memory of this process (kind 0 unless given).
_vxmemorytoken VxTest_LocalToken(void* data, int32_t bytes, uint32_t kind = 0);

// GetFrameBufferSize and GetFrameFormat of frame 0, then GetFrame of the frame asked for into a
// fresh local block of that size and a zeroed record; fails with E_UNEXPECTED when a delivered
// frame's size or record differs from what the host was told beforehand.
HRESULT VxTest_ReadFrame(IVxReadVideoStream* stream, std::vector<uint8_t>* pixels,
                         VXFRAMEINFO* frame = nullptr, uint32_t number = 0);

// An object of the module linked into the test program, made by the class factory of a
// plug-in's class id as a host makes it (null when that fails).
extern "C" HRESULT VXAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
template <class Class>
CVxComPtr<Class> VxTest_ClassObject(REFCLSID plugin)
{
    CVxComPtr<IClassFactory> factory;
    CVxComPtr<Class> object;
    if (SUCCEEDED(DllGetClassObject(plugin, IID_IClassFactory, factory.OutVoid())))
        factory->CreateInstance(nullptr, VxIidOf<Class>(), object.OutVoid());
    return object;
}

// The reference count an object holds now: one more reference shows it, then goes back.
inline ULONG VxTest_RefCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// The host's file-I/O manager as far as the module uses it: English, and class look-ups that
// record the class id asked for and find nothing. Lives on the test's stack.
class CVxTestManager : public IVxFileIOManager {
public:
    int32_t refs = 1;
    GUID askedReader = {};
    GUID askedRenderer = {};

    HRESULT VXAPI QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    ULONG VXAPI AddRef() override { return ULONG(++refs); }
    ULONG VXAPI Release() override { return ULONG(--refs); }
    HRESULT VXAPI GetLanguage(uint32_t* id, uint32_t) override { return *id = 1033, S_OK; }
    HRESULT VXAPI HostReserved4() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved5() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved6() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved7() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved8() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved9() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved10() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved11() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved12() override { return E_NOTIMPL; }
    HRESULT VXAPI HostReserved13() override { return E_NOTIMPL; }
    HRESULT VXAPI GetReadFileClass(IVxReadFileClass** out, const GUID* id) override
    {
        askedReader = *id;
        *out = nullptr;
        return VXE_NOT_FOUND;
    }
    HRESULT VXAPI GetRenderFileClass(IVxRenderFileClass** out, const GUID* id) override
    {
        askedRenderer = *id;
        *out = reinterpret_cast<IVxRenderFileClass*>(uintptr_t(0x1234));  // left behind by a failing host
        return VXE_NOT_FOUND;
    }
};

// Stream index of an open file as a video stream (null when it has none).
CVxComPtr<IVxReadVideoStream> VxTest_VideoStream(IVxReadFile* file, int32_t index = 0);

// An image file opened through its reader class as a host opens it, in a temporary folder that
// goes after the file is closed. No bytes: no file is written. openNow 0: the file object is
// made but not opened.
class CVxTestOpenFile {
    CVxTempDir m_dir;  // first, so that the folder goes after the file is closed
    std::string m_path;

public:
    CVxTestOpenFile(REFCLSID plugin, const std::vector<uint8_t>& bytes, const char* suffix, BOOL openNow = 1)
        : m_path(m_dir.Path(std::string("image") + suffix))
    {
        const std::u16string path = m_dir.WidePath(std::string("image") + suffix);
        if (!bytes.empty())
            Write(bytes);
        if ((fileClass = VxTest_ClassObject<IVxReadFileClass>(plugin)))
            openResult = fileClass->OpenReadFile(&file, 0, 0, path.c_str(), openNow);
        stream = VxTest_VideoStream(file.Get());
    }

    const std::string& Path() const { return m_path; }
    void Write(const std::vector<uint8_t>& bytes) const { VxTest_WriteBytes(m_path, bytes); }
    std::string Text(uint32_t kind) const;  // GetDescription of that kind, as UTF-8

    CVxComPtr<IVxReadFileClass> fileClass;
    CVxComPtr<IVxReadFile> file;
    CVxComPtr<IVxReadVideoStream> stream;  // stream 0
    HRESULT openResult = E_FAIL;
};

// Bytes the C heap holds for the program now: the sanitizer's count under AddressSanitizer
// (whose allocator the C library's statistics do not see), else the C library's, with its
// per-thread cache turned off for the test programs. A path that frees what it took leaves it
// where it was.
size_t VxTest_HeapBytesInUse();
