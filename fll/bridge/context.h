// The per-thread context in which the library keeps what the host handed
// over with request 0, and the process-wide list of all contexts.
#pragma once
#include <windows.h>
#include <setjmp.h>
#include "records.h"

struct ThreadContext {
    ThreadContext *next;     // next context in ContextList
    HostCallback callback;   // null until request 0
    HandleTable *handles;    // null until request 0
    ValueTable *values;      // null until request 0
    jmp_buf landing;         // innermost active DispatchAPI entry's landing point
};
static_assert(sizeof(jmp_buf) == 64, "the landing buffer is 64 bytes");

// Thread-local-storage index of each thread's context; TLS_OUT_OF_INDEXES
// while no slot is held.
extern DWORD ContextSlot;
// Every context ever created, newest first.
extern ThreadContext *ContextList;
// Guards ContextList and ContextSlot.
extern CRITICAL_SECTION ContextLock;

// The calling thread's context, or null when it has none yet.
ThreadContext *CurrentContext();

// The calling thread's context, made (zero-filled, pushed onto
// ContextList) when the thread has none; null only when the heap cannot
// supply one, and then the next call tries again.
ThreadContext *ContextForThread();

// The process-heap allocation of contexts, the system's own unless a test
// points it at a stand-in that fails.
extern LPVOID(WINAPI *contextAlloc)(HANDLE heap, DWORD flags, SIZE_T bytes);
