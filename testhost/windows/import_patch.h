// Redirects one imported function of a loaded module to a replacement by
// rewriting the module's import address table.
#pragma once

#include "winapi/zorv_windows.h"

namespace testhost {

// Replaces every slot of `module` that imports `functionName` from the DLL
// named `dllName` (compared without regard to case) with `replacement`.
// Returns the address the first slot held before, or null when the module
// does not import that function by name.
void* PatchImport(HMODULE module, const char* dllName, const char* functionName,
                  void* replacement);

}  // namespace testhost
