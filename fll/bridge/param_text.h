// Character parameters as NUL-terminated texts, made in place in the
// parameter's own block, or as their bytes as they are. A block that
// cannot be made large enough, or does not hold the bytes, raises host
// error 182.
#pragma once
#include "records.h"

// The text of a character parameter of length bytes; the handle is left
// unlocked. Length 0 gives the shared empty text and leaves the handle
// alone. Grows the block only when it has no room for the NUL.
const char *ParamString(MemHandle handle, uint32_t length);

// The same, but the block is resized to exactly length + 1 bytes and left
// locked; the caller unlocks it with HandleUnlock (harmless for length 0,
// where no lock is taken).
const char *ParamStringLocked(MemHandle handle, uint32_t length);

// The bytes of a character parameter of length bytes as they are: no
// terminator is added and nothing is locked. A block that does not hold
// length bytes (a bad handle holds none) raises host error 182, so that
// the caller never reads or writes past it. May be null for length 0.
uint8_t *ParamBytes(MemHandle handle, uint32_t length);
