// Per-thread contexts: made at process attach for the loading thread and on
// first entry for every other thread, freed when the library unloads.
#include "context.h"
#include <stdlib.h>

LPVOID(WINAPI *contextAlloc)(HANDLE, DWORD, SIZE_T) = HeapAlloc;

DWORD ContextSlot = TLS_OUT_OF_INDEXES;
ThreadContext *ContextList = nullptr;
CRITICAL_SECTION ContextLock;

// Frees every context on ContextList and empties it. Caller holds
// ContextLock.
static void FreeContexts()
{
    while (ContextList != nullptr) {
        ThreadContext *context = ContextList;
        ContextList = context->next;
        HeapFree(GetProcessHeap(), 0, context);
    }
}

// Runs when the library's run time terminates, after process detach:
// frees what is left, gives the slot back and deletes the lock.
static void TearDownContexts()
{
    EnterCriticalSection(&ContextLock);
    FreeContexts();
    if (ContextSlot != TLS_OUT_OF_INDEXES) {
        TlsFree(ContextSlot);
        ContextSlot = TLS_OUT_OF_INDEXES;
    }
    LeaveCriticalSection(&ContextLock);
    DeleteCriticalSection(&ContextLock);
}

// Static initialisation, before the entry point sees process attach: the
// lock must exist for the attach itself.
static bool MakeContextLock()
{
    InitializeCriticalSection(&ContextLock);
    atexit(TearDownContexts);
    return true;
}
static bool contextLockMade = MakeContextLock();

// Makes a zero-filled context, stores it in the slot and pushes it onto
// ContextList. Caller holds ContextLock. Null, with nothing changed, when
// the heap cannot supply it.
static ThreadContext *AddContext()
{
    ThreadContext *context = static_cast<ThreadContext *>(
        contextAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ThreadContext)));
    if (context == nullptr)
        return nullptr;
    TlsSetValue(ContextSlot, context);
    context->next = ContextList;
    ContextList = context;
    return context;
}

ThreadContext *CurrentContext()
{
    return static_cast<ThreadContext *>(TlsGetValue(ContextSlot));
}

ThreadContext *ContextForThread()
{
    ThreadContext *context = CurrentContext();
    if (context != nullptr)
        return context;
    EnterCriticalSection(&ContextLock);
    context = AddContext();
    LeaveCriticalSection(&ContextLock);
    return context;
}

// Process attach: holds a slot and gives the loading thread its context.
// Fails the load when no slot can be had; a context the heap cannot supply
// now is made on the thread's first entry instead.
static BOOL AttachProcess(HINSTANCE instance)
{
    EnterCriticalSection(&ContextLock);
    DisableThreadLibraryCalls(instance);
    if (ContextSlot == TLS_OUT_OF_INDEXES) {
        ContextSlot = TlsAlloc();
        if (ContextSlot == TLS_OUT_OF_INDEXES) {
            LeaveCriticalSection(&ContextLock);
            return FALSE;
        }
    } else if (CurrentContext() != nullptr) {
        LeaveCriticalSection(&ContextLock);
        return TRUE;
    }
    AddContext();
    LeaveCriticalSection(&ContextLock);
    return TRUE;
}

// Process detach: every context goes back to the process heap.
static void DetachProcess()
{
    EnterCriticalSection(&ContextLock);
    FreeContexts();
    LeaveCriticalSection(&ContextLock);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    (void)contextLockMade;
    if (reason == DLL_PROCESS_ATTACH)
        return AttachProcess(instance);
    if (reason == DLL_PROCESS_DETACH)
        DetachProcess();
    return TRUE;
}
