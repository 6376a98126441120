// The archive calls. Nothing is cached between calls: the archive library
// is loaded and freed on every one, so a library replaced on disk takes
// effect at the next call.
#include "archive.h"
#include <windows.h>
#include <string.h>
#include "../bridge/host_services.h"
#include "../bridge/param_text.h"

// The result when the archive library or its entry point is missing.
const int32_t ArchiveMissing = -1;

// The text of character parameter i.
static const char *TextOf(ParamBlock *parameters, int i)
{
    const HostValue &value = parameters->slots[i].value;
    return ParamString(value.handle, value.length);
}

// Loads library, calls its entry point with the command and frees it
// again; -1 when either is missing.
static int32_t CallArchive(const char *library, const char *entryName, void *command)
{
    HMODULE module = LoadLibraryA(library);
    if (module == nullptr)
        return ArchiveMissing;
    ArchiveEntry entry =
        reinterpret_cast<ArchiveEntry>(reinterpret_cast<void *>(GetProcAddress(module, entryName)));
    int32_t result = entry != nullptr ? entry(command) : ArchiveMissing;
    FreeLibrary(module);
    return result;
}

void fkZip(ParamBlock *parameters)
{
    ZipCommand command;
    memset(&command, 0, sizeof command);
    command.size = sizeof command;
    command.flags4 = 4;
    command.first = TextOf(parameters, 0);
    command.second = TextOf(parameters, 1);
    command.value40 = 16;
    command.value44 = 1;
    command.value76 = 1;
    command.value120 = 1;
    HostReturnInt(CallArchive("dzip32.dll", "dzip", &command), IntegerWidth);
}

// An empty second parameter is passed as null, and flagged at offset 44.
void fkUnZip(ParamBlock *parameters)
{
    UnzipCommand command;
    memset(&command, 0, sizeof command);
    command.size = sizeof command;
    command.flags4 = 8;
    command.first = TextOf(parameters, 0);
    const char *second = TextOf(parameters, 1);
    command.third = TextOf(parameters, 2);
    command.value20 = -1;
    command.second = second[0] != '\0' ? second : nullptr;
    command.value36 = 1;
    command.value40 = 1;
    command.secondEmpty = second[0] == '\0' ? 1 : 0;
    command.value48 = 1;
    command.value56 = 1;
    command.value108 = 1;
    HostReturnInt(CallArchive("dunzip32.dll", "dunzip", &command), IntegerWidth);
}
