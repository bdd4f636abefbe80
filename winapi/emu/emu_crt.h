// Test control of the emulation's C runtime pieces.
#pragma once

namespace emu {

// How often the runtime's invalid-parameter handling ran (with the default
// handler installed, i.e. none set through _set_invalid_parameter_handler).
int InvalidParameterCount();
void ResetInvalidParameterCount();

}  // namespace emu
