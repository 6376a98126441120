// DispatchAPI: the one door through which the host reaches the library.
#include "dispatch.h"
#include <string.h>
#include "context.h"
#include "handles.h"
#include "library_table.h"

uint32_t ValueAdd(ValueTable *table, uint32_t value)
{
    while (table->hint < table->capacity && table->slots[table->hint] != 0)
        table->hint++;
    if (table->hint >= table->capacity)
        return 0;
    table->count++;
    table->slots[table->hint] = value;
    return table->hint;
}

void ValueRemove(ValueTable *table, uint32_t index)
{
    if (index == 0 || index >= table->capacity || table->slots[index] == 0)
        return;
    table->count--;
    table->slots[index] = 0;
    if (index < table->hint)
        table->hint = static_cast<uint16_t>(index);
}

uint32_t ValueGet(const ValueTable *table, uint32_t index)
{
    if (index == 0 || index >= table->capacity)
        return 0;
    return table->slots[index];
}

// Request 14, and the answer of request 0.
static void AnswerTable(DispatchBlock *block)
{
    block->word1 = LibraryTableVersion;
    block->word0 = reinterpret_cast<uint32_t>(&libraryTable);
}

// Request 0: keeps what the host hands over for this thread.
static void Initialize(ThreadContext *context, DispatchBlock *block)
{
    context->handles = reinterpret_cast<HandleTable *>(block->word0);
    context->values = reinterpret_cast<ValueTable *>(block->word1);
    context->callback = reinterpret_cast<HostCallback>(block->function);
    AnswerTable(block);
}

// Requests 1, 10 and 11 run library code, which may call the host; on a
// thread that never issued request 0 there is no host to call, so nothing
// runs.
static bool HasHost(const ThreadContext *context)
{
    return context->callback != nullptr && context->handles != nullptr;
}

static void RunFunction(ThreadContext *context, DispatchBlock *block)
{
    if (!HasHost(context))
        return;
    LibraryFunction function = reinterpret_cast<LibraryFunction>(block->function);
    function(reinterpret_cast<ParamBlock *>(DispatchBlockData(block)));
}

static void RunHandler(ThreadContext *context, DispatchBlock *block)
{
    if (!HasHost(context))
        return;
    IdleHandler handler = reinterpret_cast<IdleHandler>(block->function);
    handler(block->word0, block->word1);
}

static void RunEventHandler(ThreadContext *context, DispatchBlock *block)
{
    if (!HasHost(context))
        return;
    EventHandler handler = reinterpret_cast<EventHandler>(block->function);
    block->word0 = static_cast<uint32_t>(handler(block->word0, DispatchBlockData(block)));
}

// Handle requests answer 0 where the thread has no handle table; the
// handle operations themselves treat a missing table as all handles bad.
static void ActOnHandleRequest(DispatchBlock *block)
{
    switch (block->request) {
    case RequestAllocHandle:
        block->word0 = HandleAllocTagged(block->word0, static_cast<uint16_t>(block->word1));
        break;
    case RequestFreeHandle:
        HandleFree(block->word0);
        break;
    case RequestHandleAddress:
        block->word0 = reinterpret_cast<uint32_t>(HandleToPtr(block->word0));
        break;
    }
}

// Value requests on a thread without a value table answer 0 or do nothing.
static void ActOnValueRequest(ThreadContext *context, DispatchBlock *block)
{
    ValueTable *table = context->values;
    switch (block->request) {
    case RequestAddValue:
        block->word0 = table != nullptr ? ValueAdd(table, block->word0) : 0;
        break;
    case RequestRemoveValue:
        if (table != nullptr)
            ValueRemove(table, block->word0);
        break;
    case RequestGetValue:
        block->word0 = table != nullptr ? ValueGet(table, block->word0) : 0;
        break;
    }
}

// Acts on the request code; codes not listed are ignored.
static void ActOnRequest(ThreadContext *context, DispatchBlock *block)
{
    switch (block->request) {
    case RequestInitialize:
        Initialize(context, block);
        break;
    case RequestCallFunction:
        RunFunction(context, block);
        break;
    case RequestAllocHandle:
    case RequestFreeHandle:
    case RequestHandleAddress:
        ActOnHandleRequest(block);
        break;
    case RequestCallHandler:
        RunHandler(context, block);
        break;
    case RequestCallEventHandler:
        RunEventHandler(context, block);
        break;
    case RequestQueryTable:
        AnswerTable(block);
        break;
    case RequestAddValue:
    case RequestRemoveValue:
    case RequestGetValue:
        ActOnValueRequest(context, block);
        break;
    }
}

// Each entry keeps the landing point of an outer entry on the same thread
// aside and puts it back on the way out, so nested entries (a host service
// that calls back into the library) each land in their own frame. A thread
// for which the heap cannot supply a context has nowhere to land or to
// keep the host's tables: the request is left undone, the block as it was.
extern "C" __declspec(dllexport) int __fastcall DispatchAPI(void *blockAddress)
{
    DispatchBlock *const block = static_cast<DispatchBlock *>(blockAddress);
    ThreadContext *const context = ContextForThread();
    if (context == nullptr)
        return 0;
    jmp_buf outer;
    memcpy(outer, context->landing, sizeof outer);
    if (setjmp(context->landing) == 0)
        ActOnRequest(context, block);
    memcpy(context->landing, outer, sizeof outer);
    return 0;
}
