// The one Win32 piece of the Windows vxhost runner, apart from the contract types, which
// <windows.h> declares differently.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace {

HANDLE Inheritable(const wchar_t* path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool VxTest_Spawn(const std::wstring& program, std::wstring& line, const std::wstring& outPath,
                  const std::wstring& errPath, int& exitCode)
{
    // Output goes to files, so neither stream can fill a pipe and stall the program.
    HANDLE in = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = Inheritable(outPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = Inheritable(errPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    for (HANDLE handle : {in, out, err})
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    if (!started)
        return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    exitCode = GetExitCodeProcess(process.hProcess, &code) ? int(code) : -1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
