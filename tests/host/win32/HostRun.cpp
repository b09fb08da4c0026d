// Running vxhost.exe from the tests on Windows: the command line as the C runtime parses it
// back, output in files (Spawn.cpp starts the process).
#include "../HostRun.h"

#include <filesystem>

// Starts program with the command line, standard input empty and output and errors into the
// files; waits for it and gives its exit code (-1 when it did not end normally). False when it
// could not be started.
bool VxTest_Spawn(const std::wstring& program, std::wstring& line, const std::wstring& outPath,
                  const std::wstring& errPath, int& exitCode);

namespace {

std::wstring Wide(const std::string& text)
{
    return std::filesystem::u8path(text).wstring();
}

// One argument, quoted, with the backslashes before a quote and the quotes themselves escaped.
void AppendArgument(std::wstring& line, const std::wstring& arg)
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

}  // namespace

VxTestHostRun VxTest_RunHost(const std::vector<std::string>& args)
{
    VxTestHostRun run;
    CVxTempDir directory;
    const std::string outPath = directory.Path("out");
    const std::string errPath = directory.Path("err");
    const std::string program = VxTest_BuildDir() + "/vxhost.exe";

    std::wstring line = L"vxhost";
    for (const std::string& arg : args)
        AppendArgument(line, Wide(arg));
    if (!VxTest_Spawn(Wide(program), line, Wide(outPath), Wide(errPath), run.exitCode)) {
        run.err = "cannot start " + program;
        return run;
    }
    run.out = VxTest_ReadText(outPath);
    run.err = VxTest_ReadText(errPath);
    return run;
}
