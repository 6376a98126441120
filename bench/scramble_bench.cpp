// Scrambling speed: fkEncrypt through the project's host on 1 MiB and
// 64 MiB, beside, in the same run and on the same bytes, the plain way of
// one msvcrt rand call per byte, and a memcpy. Prints MB/s (10^6 bytes per
// second), the best of a few turns each.
//   scramble_bench.exe [turns]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "fllhost.h"

typedef void(__cdecl *SrandFunction)(unsigned int seed);
typedef int(__cdecl *RandFunction)(void);

static const char benchKey[] = "bench key";

static double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

static double MegabytesPerSecond(size_t bytes, double seconds)
{
    return seconds > 0 ? double(bytes) / seconds / 1e6 : 0.0;
}

// fkEncrypt of data through the host; false when the call failed.
static bool TimeHostCall(Host *host, const char *data, size_t size, double *seconds)
{
    FoxValue args[2] = {FoxBytes(data, uint32_t(size)), FoxString(benchKey)};
    FoxValue result;
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    uint32_t error = HostCall(host, "fkEncrypt", args, 2, &result);
    QueryPerformanceCounter(&to);
    *seconds = Seconds(from, to);
    return error == 0 && result.length == size;
}

// The plain way: seed once, then one msvcrt rand call per byte.
static double TimeRandPerByte(SrandFunction srandCall, RandFunction randCall, char *data,
                              size_t size)
{
    size_t keyLength = strlen(benchKey);
    unsigned int seed = 0;
    for (size_t i = 0; i < keyLength; i++)
        seed += unsigned(int(static_cast<signed char>(benchKey[i])) + 1);
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    srandCall(seed);
    for (size_t i = 0, k = 0; i < size; i++) {
        data[i] = char(data[i] ^ (randCall() & 0xFF) ^ benchKey[k]);
        if (++k == keyLength)
            k = 0;
    }
    QueryPerformanceCounter(&to);
    return Seconds(from, to);
}

static double TimeCopy(char *target, const char *source, size_t size)
{
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    memcpy(target, source, size);
    QueryPerformanceCounter(&to);
    return Seconds(from, to);
}

// The best of turns runs of each way on size bytes, printed as one line.
static bool MeasureSize(Host *host, SrandFunction srandCall, RandFunction randCall, size_t size,
                        int turns)
{
    char *data = static_cast<char *>(malloc(size));
    char *copy = static_cast<char *>(malloc(size));
    bool ok = data != nullptr && copy != nullptr;
    for (size_t i = 0; ok && i < size; i++)
        data[i] = char(i * 131u + (i >> 9));
    if (ok)
        memcpy(copy, data, size);  // every way works on the same bytes from the first turn
    double best[3] = {1e9, 1e9, 1e9};
    for (int turn = 0; ok && turn < turns; turn++) {
        double seconds;
        ok = TimeHostCall(host, data, size, &seconds);
        best[0] = seconds < best[0] ? seconds : best[0];
        seconds = TimeRandPerByte(srandCall, randCall, copy, size);
        best[1] = seconds < best[1] ? seconds : best[1];
        seconds = TimeCopy(copy, data, size);
        best[2] = seconds < best[2] ? seconds : best[2];
    }
    if (ok)
        printf("%4u MiB %17.1f %16.1f %16.1f\n", unsigned(size >> 20),
               MegabytesPerSecond(size, best[0]), MegabytesPerSecond(size, best[1]),
               MegabytesPerSecond(size, best[2]));
    else
        fprintf(stderr, "%u MiB: the run failed\n", unsigned(size >> 20));
    free(data);
    free(copy);
    return ok;
}

int main(int argc, char **argv)
{
    int turns = argc > 1 ? atoi(argv[1]) : 3;
    if (turns < 1)
        turns = 1;
    char path[MAX_PATH];
    if (!HostPathBesideProgram("falkmoor.fll", path, sizeof path))
        return 1;
    Host *host = HostOpen(path);
    if (host == nullptr) {
        fprintf(stderr, "cannot open %s: %s\n", path, HostOpenError());
        return 1;
    }
    HMODULE crt = LoadLibraryA("msvcrt.dll");
    SrandFunction srandCall = reinterpret_cast<SrandFunction>(
        reinterpret_cast<void *>(GetProcAddress(crt, "srand")));
    RandFunction randCall =
        reinterpret_cast<RandFunction>(reinterpret_cast<void *>(GetProcAddress(crt, "rand")));
    if (srandCall == nullptr || randCall == nullptr)
        return 1;
    printf("fkEncrypt through the host (its copies of the value in and out\n"
           "included), beside one msvcrt rand call per byte and a memcpy.\n");
    printf("%-8s %17s %16s %16s\n", "size", "fkEncrypt MB/s", "rand/byte MB/s", "memcpy MB/s");
    bool ok = MeasureSize(host, srandCall, randCall, size_t(1) << 20, turns) &&
              MeasureSize(host, srandCall, randCall, size_t(64) << 20, turns);
    HostClose(host);
    return ok ? 0 : 1;
}
