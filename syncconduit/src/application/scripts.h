// Scripts and script lists as the handheld keeps them.
// File: "RCSS" (anything else is error 1250 and reading goes on), a 32-bit size S and,
// when S is not 0, three 16-bit values and S bytes of code.
// Handheld: an 8-byte header (8, the first two values, the low byte of the third, a zero
// byte) and the code, padded to an even length; nothing for an empty script.
// A list: a 16-bit count (8 and not in the file before version 264), one 16-bit offset per
// script counted from the list's start (0 for an empty script), then the scripts.
#pragma once

#include <cstdint>
#include <vector>

#include "block.h"
#include "file_cursor.h"

namespace conduit::app {

std::vector<uint8_t> ReadScript(FileCursor& c);
// Overflowed when the list passes 64,512 bytes.
Block ReadScriptList(FileCursor& c, uint32_t version);

}  // namespace conduit::app
