// The action block of a control or menu item, from its file form (4 unexamined bytes, A,
// F, B, K, strings S1 and S2, 32-bit V1 and V2, D, N actions, from version 257 an entry
// list, from version 259 a script) to the handheld's: a 26-byte header (A, B, K, D, N, F,
// offsets of the text record, entry list and script), 16-byte action entries, the
// actions' strings, then the text record (F bit 0x02), entry list and script, each at
// an even offset. Offsets count from the block's start.
#pragma once

#include <cstdint>

#include "block.h"
#include "file_cursor.h"

namespace conduit::app {

// Overflowed when the block passes 64,512 bytes.
Block ReadActionBlock(FileCursor& c, uint32_t version);

}  // namespace conduit::app
