// Running vxhost.exe from the tests on Windows: CreateProcess with its output in files.
#include "../HostRun.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

// From tests/common/VxTest.h, whose contract types this file cannot see beside <windows.h>.
std::string VxTest_BuildDir();

namespace {

std::string VxTest_ReadText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::wstring VxTest_Wide(const std::string& text)
{
    return std::filesystem::u8path(text).wstring();
}

// One argument as the C runtime parses it back: quoted, with the backslashes before a quote
// and the quotes themselves escaped.
void VxTest_AppendArgument(std::wstring& line, const std::wstring& arg)
{
    line += L" \"";
    size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        line.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        line += c;
    }
    line.append(slashes * 2, L'\\');
    line += L'"';
}

HANDLE VxTest_Inheritable(const std::string& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(VxTest_Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

VxTestHostRun VxTest_RunHost(const std::vector<std::string>& args)
{
    VxTestHostRun run;
    CVxTestDirectory directory;
    const std::string outPath = directory.Path("out");
    const std::string errPath = directory.Path("err");
    const std::string program = VxTest_BuildDir() + "/vxhost.exe";

    std::wstring line = L"vxhost";
    for (const std::string& arg : args)
        VxTest_AppendArgument(line, VxTest_Wide(arg));

    // Output goes to files, so neither stream can fill a pipe and stall the program.
    HANDLE in = VxTest_Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = VxTest_Inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = VxTest_Inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(VxTest_Wide(program).c_str(), line.data(), nullptr, nullptr,
                                        TRUE, 0, nullptr, nullptr, &startup, &process);
    for (HANDLE handle : {in, out, err})
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    if (!started) {
        run.err = "cannot start " + program;
        return run;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code))
        run.exitCode = int(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.out = VxTest_ReadText(outPath);
    run.err = VxTest_ReadText(errPath);
    return run;
}

CVxTestDirectory::CVxTestDirectory()
{
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const std::filesystem::path candidate =
            base / ("vxhost-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(counter++));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error))
            m_path = candidate.generic_string();
    }
}

CVxTestDirectory::~CVxTestDirectory()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

bool VxTest_WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(std::filesystem::u8path(path), std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(file);
}

std::vector<uint8_t> VxTest_ReadFile(const std::string& path)
{
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
}
