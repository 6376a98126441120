// The handle operations on the calling thread's table.
#include "handles.h"
#include "context.h"

GlobalMemoryCalls globalMemory = {GlobalAlloc, GlobalReAlloc};

// Bytes in front of the data: the tag.
const SIZE_T TagBytes = 2;

// Bytes of a block that holds size bytes of data behind the tag; 0 when
// size leaves no room for the tag, which no block can hold.
static SIZE_T BlockBytes(uint32_t size)
{
    return size <= MAXDWORD - TagBytes ? SIZE_T(size) + TagBytes : 0;
}

// The calling thread's handle table, or null before request 0.
static HandleTable *ThreadHandles()
{
    ThreadContext *context = CurrentContext();
    return context != nullptr ? context->handles : nullptr;
}

// The block behind handle, or null when the handle is bad (0, past the
// table, or a free slot).
static HGLOBAL BlockOf(MemHandle handle)
{
    HandleTable *table = ThreadHandles();
    if (handle == 0 || table == nullptr || handle >= table->capacity)
        return nullptr;
    return reinterpret_cast<HGLOBAL>(table->slots[handle]);
}

MemHandle HandleAllocTagged(uint32_t size, uint16_t tag)
{
    HandleTable *table = ThreadHandles();
    if (table == nullptr)
        return 0;
    while (table->hint < table->capacity && table->slots[table->hint] != 0)
        table->hint++;
    if (table->hint >= table->capacity)
        return 0;
    SIZE_T bytes = BlockBytes(size);
    HGLOBAL block = bytes != 0 ? globalMemory.alloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes) : nullptr;
    if (block == nullptr)
        return 0;
    table->slots[table->hint] = reinterpret_cast<uint32_t>(block);
    uint16_t *tagField = static_cast<uint16_t *>(GlobalLock(block));
    *tagField = tag;
    GlobalUnlock(block);
    return table->hint;
}

MemHandle HandleAlloc(uint32_t size)
{
    return HandleAllocTagged(size, LibraryBlockTag);
}

void HandleFree(MemHandle handle)
{
    HGLOBAL block = BlockOf(handle);
    if (block == nullptr)
        return;
    HandleTable *table = ThreadHandles();
    GlobalFree(block);
    table->slots[handle] = 0;
    if (handle < table->hint)
        table->hint = static_cast<uint16_t>(handle);
}

void *HandleToPtr(MemHandle handle)
{
    HGLOBAL block = BlockOf(handle);
    if (block == nullptr)
        return nullptr;
    char *address = static_cast<char *>(GlobalLock(block));
    GlobalUnlock(block);
    return address != nullptr ? address + TagBytes : nullptr;
}

void HandleLock(MemHandle handle)
{
    HGLOBAL block = BlockOf(handle);
    if (block != nullptr)
        GlobalLock(block);
}

void HandleUnlock(MemHandle handle)
{
    HGLOBAL block = BlockOf(handle);
    if (block != nullptr && (GlobalFlags(block) & GMEM_LOCKCOUNT) != 0)
        GlobalUnlock(block);
}

uint32_t HandleSize(MemHandle handle)
{
    HGLOBAL block = BlockOf(handle);
    if (block == nullptr)
        return 0;
    SIZE_T bytes = GlobalSize(block);
    return bytes >= TagBytes ? static_cast<uint32_t>(bytes - TagBytes) : 0;
}

// Without GMEM_MOVEABLE a locked block is only ever resized in place, so
// an address taken under a lock stays good; growing such a block fails
// where there is no room behind it.
uint16_t HandleResize(MemHandle handle, uint32_t size)
{
    HGLOBAL block = BlockOf(handle);
    SIZE_T bytes = BlockBytes(size);
    if (block == nullptr || bytes == 0)
        return 0;
    HGLOBAL resized = globalMemory.reAlloc(block, bytes, GMEM_ZEROINIT);
    if (resized == nullptr)
        return 0;
    ThreadHandles()->slots[handle] = reinterpret_cast<uint32_t>(resized);
    return 1;
}
