// Memory handles: small integers naming movable, zero-filled global-memory
// blocks in the calling thread's HandleTable. Each block starts with a
// 16-bit tag; sizes and addresses below refer to the data behind it.
#pragma once
#include <windows.h>
#include "records.h"

// The tag of every block the library allocates for itself.
const uint16_t LibraryBlockTag = 16;

// The global-memory calls that can fail on demand in tests; they are the
// system's own calls unless a test points them elsewhere.
struct GlobalMemoryCalls {
    HGLOBAL(WINAPI *alloc)(UINT flags, SIZE_T bytes);
    HGLOBAL(WINAPI *reAlloc)(HGLOBAL block, SIZE_T bytes, UINT flags);
};
extern GlobalMemoryCalls globalMemory;

// A new handle of size bytes with that tag, or 0 when the table is full or
// the memory cannot be had (as for a size that leaves no room for the tag).
MemHandle HandleAllocTagged(uint32_t size, uint16_t tag);

// HandleAllocTagged with the library's own tag.
MemHandle HandleAlloc(uint32_t size);

// Frees the block and its slot; a bad handle is ignored.
void HandleFree(MemHandle handle);

// The address of the handle's data, or null for a bad handle. The address
// holds until the block is resized or freed.
void *HandleToPtr(MemHandle handle);

// Raises and lowers the block's lock count; a bad handle is ignored.
void HandleLock(MemHandle handle);
void HandleUnlock(MemHandle handle);

// The usable size of the data, which may exceed what was asked for; 0 for
// a bad handle.
uint32_t HandleSize(MemHandle handle);

// Resizes the data to size bytes, zero-filling what is added; the handle
// and tag stay, the data may move. Non-zero on success; on failure (also
// for a size that leaves no room for the tag) the block is left as it was.
uint16_t HandleResize(MemHandle handle, uint32_t size);
