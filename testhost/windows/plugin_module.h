// FINALE.EXE's modes besides running a scenario.
#pragma once

#include "host/host_abi.h"
#include "testhost/core/plugin_entry_points.h"

namespace testhost {

// The check modes of FINALE.EXE; each prints its findings and returns the
// process's exit status.
// The smoke checks load the module from pluginPath when one is given.
int RunSmokeChecks(const wchar_t* pluginPath = nullptr);
int RunRegistrySave(const wchar_t* hexRecord);
int RunRegistryLoad();

}  // namespace testhost
