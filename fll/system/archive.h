// Zip and unzip through the archive libraries "dzip32.dll" and
// "dunzip32.dll", which lie outside this system: the library fills their
// command record, loads the archive library for the one call and returns
// the entry point's result as an integer (-1 when the library or its entry
// point is missing).
#pragma once
#include "../bridge/records.h"

// The command records, zero-filled apart from the fields named here; texts
// are NUL-terminated ANSI that hold for the call.
#pragma pack(push, 1)
struct ZipCommand {
    uint32_t size;            // 220
    uint32_t flags4;          // 4
    const char *first;        // parameter 1
    const char *second;       // parameter 2
    uint8_t unused16[24];
    uint32_t value40;         // 16
    uint32_t value44;         // 1
    uint8_t unused48[28];
    uint32_t value76;         // 1
    uint8_t unused80[40];
    uint32_t value120;        // 1
    uint8_t unused124[96];
};
static_assert(offsetof(ZipCommand, first) == 8, "zip: parameter 1");
static_assert(offsetof(ZipCommand, second) == 12, "zip: parameter 2");
static_assert(offsetof(ZipCommand, value40) == 40, "zip: 40");
static_assert(offsetof(ZipCommand, value44) == 44, "zip: 44");
static_assert(offsetof(ZipCommand, value76) == 76, "zip: 76");
static_assert(offsetof(ZipCommand, value120) == 120, "zip: 120");
static_assert(sizeof(ZipCommand) == 220, "zip record");

struct UnzipCommand {
    uint32_t size;            // 170
    uint32_t flags4;          // 8
    const char *first;        // parameter 1
    uint8_t unused12[4];
    const char *third;        // parameter 3
    int32_t value20;          // -1
    const char *second;       // parameter 2, or null when it is empty
    uint8_t unused28[8];
    uint32_t value36;         // 1
    uint32_t value40;         // 1
    uint32_t secondEmpty;     // 1 when parameter 2 is empty, else 0
    uint32_t value48;         // 1
    uint8_t unused52[4];
    uint32_t value56;         // 1
    uint8_t unused60[48];
    uint16_t value108;        // 1
    uint8_t unused110[60];
};
static_assert(offsetof(UnzipCommand, first) == 8, "unzip: parameter 1");
static_assert(offsetof(UnzipCommand, third) == 16, "unzip: parameter 3");
static_assert(offsetof(UnzipCommand, value20) == 20, "unzip: 20");
static_assert(offsetof(UnzipCommand, second) == 24, "unzip: parameter 2");
static_assert(offsetof(UnzipCommand, value36) == 36, "unzip: 36");
static_assert(offsetof(UnzipCommand, secondEmpty) == 44, "unzip: 44");
static_assert(offsetof(UnzipCommand, value56) == 56, "unzip: 56");
static_assert(offsetof(UnzipCommand, value108) == 108, "unzip: 108");
static_assert(sizeof(UnzipCommand) == 170, "unzip record");
#pragma pack(pop)

// The archive libraries' entry points: one argument, the record's
// address, in the standard calling convention of Windows DLLs.
typedef int32_t(__stdcall *ArchiveEntry)(void *command);

// Zips: parameters 1 and 2 go to "dzip" of "dzip32.dll".
void fkZip(ParamBlock *parameters);
// Unzips: parameters 1 to 3 go to "dunzip" of "dunzip32.dll".
void fkUnZip(ParamBlock *parameters);
