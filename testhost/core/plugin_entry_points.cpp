#include "testhost/core/plugin_entry_points.h"

namespace testhost {

namespace {

template <typename Proc>
Proc Find(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

PluginEntryPoints EntryPointsOf(HMODULE plugin) {
    PluginEntryPoints entry;
    if (!plugin) return entry;
    entry.version = Find<FinaleExtensionVersion_Proc>(plugin, "FinaleExtensionVersion");
    entry.init = Find<FinaleExtensionInit_Proc>(plugin, "FinaleExtensionInit");
    entry.enumerate =
        Find<FinaleExtensionEnumerate_UTF16_Proc>(plugin, "FinaleExtensionEnumerate_UTF16");
    entry.invoke = Find<FinaleExtensionInvoke_Proc>(plugin, "FinaleExtensionInvoke");
    entry.terminate = Find<FinaleExtensionTerminate_Proc>(plugin, "FinaleExtensionTerminate");
    entry.menuStatus =
        Find<FinaleExtensionGetMenuStatus_Proc>(plugin, "FinaleExtensionGetMenuStatus");
    return entry;
}

}  // namespace testhost
