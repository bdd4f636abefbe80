#pragma once

#include <stdint.h>

// Copies a zero-terminated UTF-16 text into a host menu field by the
// 64-unit rule; a null text counts as empty.
void CopyMenuText(uint16_t* field, const unsigned short* text);
