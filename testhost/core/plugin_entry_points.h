// The module's six entry points, looked up once it has loaded.
#pragma once

#include "host/host_abi.h"

namespace testhost {

struct PluginEntryPoints {
    FinaleExtensionVersion_Proc version = nullptr;
    FinaleExtensionInit_Proc init = nullptr;
    FinaleExtensionEnumerate_UTF16_Proc enumerate = nullptr;
    FinaleExtensionInvoke_Proc invoke = nullptr;
    FinaleExtensionTerminate_Proc terminate = nullptr;
    FinaleExtensionGetMenuStatus_Proc menuStatus = nullptr;

    bool Complete() const {
        return version && init && enumerate && invoke && terminate && menuStatus;
    }
};

// Null entries for a null module or a missing export.
PluginEntryPoints EntryPointsOf(HMODULE plugin);

}  // namespace testhost
