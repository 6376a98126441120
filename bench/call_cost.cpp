// call_cost [LIBRARY] [CALLS]: what one call costs. Prints nanoseconds per
// call for
//   - fkGetFLLVersion through DispatchAPI (request 1 with an empty
//     parameter block; the function answers through the host callback),
//   - the host's own bare callback round trip (one front-window request
//     handed straight to the host's service entry),
//   - DispatchAPI alone (request 14, no library function),
//   - a whole HostCall of fkGetFLLVersion (name lookup, signature check,
//     result and leak bookkeeping of the project's host).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "fllhost.h"

static double Now()
{
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return double(count.QuadPart) * 1e9 / double(frequency.QuadPart);
}

static void Print(const char *what, double start, double end, long calls)
{
    printf("%-44s %8.1f ns/call\n", what, (end - start) / double(calls));
}

int main(int argc, char **argv)
{
    char path[MAX_PATH];
    if (argc > 1)
        lstrcpynA(path, argv[1], MAX_PATH);
    else
        HostPathBesideProgram("falkmoor.fll", path, sizeof path);
    long calls = argc > 2 ? atol(argv[2]) : 1000000;
    Host *host = HostOpen(path);
    if (host == nullptr) {
        fprintf(stderr, "call_cost: cannot load %s: %s\n", path, HostOpenError());
        return 2;
    }
    DispatchFunction dispatch = HostDispatchEntry(host);
    const FunctionEntry *row = HostFindRow(host, "fkGetFLLVersion");
    if (row == nullptr) {
        fprintf(stderr, "call_cost: no fkGetFLLVersion in %s\n", path);
        return 2;
    }
    printf("%ld calls each\n", calls);

    uint8_t buffer[sizeof(DispatchBlock) + sizeof(ParamBlock)];
    memset(buffer, 0, sizeof buffer);
    DispatchBlock *block = reinterpret_cast<DispatchBlock *>(buffer);
    double start = Now();
    for (long i = 0; i < calls; i++) {
        block->request = RequestCallFunction;
        block->function = reinterpret_cast<uint32_t>(row->function);
        dispatch(block);
    }
    Print("fkGetFLLVersion through DispatchAPI", start, Now(), calls);

    HostCallback callback = HostCallbackEntry();
    HostRequest request;
    start = Now();
    for (long i = 0; i < calls; i++) {
        memset(&request, 0, sizeof request);
        request.service = ServiceFrontWindow;
        callback(&request);
    }
    Print("bare host callback round trip", start, Now(), calls);

    start = Now();
    for (long i = 0; i < calls; i++) {
        block->request = RequestQueryTable;
        dispatch(block);
    }
    Print("DispatchAPI alone (request 14)", start, Now(), calls);

    long hostCalls = calls / 10 > 0 ? calls / 10 : 1;
    FoxValue result;
    start = Now();
    for (long i = 0; i < hostCalls; i++)
        HostCall(host, "fkGetFLLVersion", nullptr, 0, &result);
    Print("HostCall of fkGetFLLVersion (whole host)", start, Now(), hostCalls);
    if (result.integer != 2030)
        fprintf(stderr, "call_cost: fkGetFLLVersion answered %d\n", result.integer);
    HostClose(host);
    return 0;
}
