// vxhost: the reference host. Loads the module, plays the media editor's file-I/O manager and
// runs one command.
#include "Commands.h"
#include "Errors.h"
#include "TokenOwner.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (int exitCode = 0; VxHost_RunTokenChild(argc, argv, exitCode))
        return exitCode;
    VxHostOptions options;
    std::string error;
    if (!VxHost_ParseOptions(argc, argv, options, error)) {
        VxHost_ReportError(error);
        std::fputs("Try 'vxhost --help'.\n", stderr);
        return 1;
    }
    if (options.help) {
        std::fputs(VxHost_Usage(), stdout);
        return 0;
    }

    CVxHostModule module;
    const std::string path = options.modulePath.empty() ? CVxHostModule::DefaultPath()
                                                        : options.modulePath;
    if (!module.Load(path, error))
        return VxHost_ReportError(error);

    CVxHostFileIOManager manager(module, options.language);
    const char* method = nullptr;
    if (const HRESULT hr = manager.LoadPlugins(method); FAILED(hr))
        return VxHost_ReportFailure(method, hr);

    const VxHostSession session{module, manager, options};
    if (options.command == "plugins")
        return VxHost_RunPlugins(session);
    if (options.command == "probe")
        return VxHost_RunProbe(session);
    if (options.command == "decode")
        return VxHost_RunDecode(session);
    if (options.command == "layers")
        return VxHost_RunLayers(session);
    if (options.command == "meta")
        return VxHost_RunMeta(session);
    if (options.command == "tag")
        return VxHost_RunTag(session);
    if (options.command == "convert")
        return VxHost_RunConvert(session);
    return VxHost_RunBench(session);
}
