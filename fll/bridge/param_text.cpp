// The parameter text helpers.
#include "param_text.h"
#include "handles.h"
#include "host_services.h"

// The one empty text for every parameter of length 0; never written.
static const char emptyText[1] = {'\0'};

// Whether length + 1 bytes, the text and its NUL, cannot be counted.
static bool NoRoomForNul(uint32_t length)
{
    return length == MAXDWORD;
}

const char *ParamString(MemHandle handle, uint32_t length)
{
    if (length == 0)
        return emptyText;
    if (NoRoomForNul(length) ||
        (HandleSize(handle) < length + 1 && HandleResize(handle, length + 1) == 0))
        HostError(HostErrorNoMemory);
    char *text = static_cast<char *>(HandleToPtr(handle));
    text[length] = '\0';
    return text;
}

const char *ParamStringLocked(MemHandle handle, uint32_t length)
{
    if (length == 0)
        return emptyText;
    if (NoRoomForNul(length) || HandleResize(handle, length + 1) == 0)
        HostError(HostErrorNoMemory);
    HandleLock(handle);
    char *text = static_cast<char *>(HandleToPtr(handle));
    text[length] = '\0';
    return text;
}

uint8_t *ParamBytes(MemHandle handle, uint32_t length)
{
    if (HandleSize(handle) < length)
        HostError(HostErrorNoMemory);
    return static_cast<uint8_t *>(HandleToPtr(handle));
}
