// The commands of vxhost, one file each. Each answers the process's exit status.
#pragma once

#include "FileIOManager.h"
#include "Options.h"

struct VxHostSession {
    const CVxHostModule& module;
    CVxHostFileIOManager& manager;
    const VxHostOptions& options;
};

int VxHost_RunPlugins(const VxHostSession& session);
int VxHost_RunProbe(const VxHostSession& session);
int VxHost_RunDecode(const VxHostSession& session);
int VxHost_RunLayers(const VxHostSession& session);
int VxHost_RunMeta(const VxHostSession& session);
int VxHost_RunTag(const VxHostSession& session);
int VxHost_RunConvert(const VxHostSession& session);
int VxHost_RunBench(const VxHostSession& session);
