// The small utility functions.
#include "utility.h"
#include <windows.h>
#include <winnetwk.h>
#include <string.h>
#include "../bridge/handles.h"
#include "../bridge/host_services.h"
#include "../bridge/param_text.h"

DWORD(APIENTRY *userNameQuery)(LPCSTR, LPSTR, LPDWORD) = WNetGetUserA;

const int32_t LibraryVersion = 2030;
// Room for the user's name, terminator included.
const DWORD UserNameBytes = 80;

void fkGetFLLVersion(ParamBlock *)
{
    HostReturnInt(LibraryVersion, IntegerWidth);
}

void fkIsPath(ParamBlock *parameters)
{
    const HostValue &path = parameters->slots[0].value;
    DWORD attributes = GetFileAttributesA(ParamString(path.handle, path.length));
    HostReturnLogical(attributes != INVALID_FILE_ATTRIBUTES &&
                      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

// The parameter is required by the row but carries nothing the function
// needs. A name Windows cannot give (or that does not fit) comes back as
// the empty text rather than whatever the buffer held.
void fkGetUserName(ParamBlock *)
{
    char name[UserNameBytes];
    memset(name, 0, sizeof name);
    DWORD size = UserNameBytes;
    if (userNameQuery(nullptr, name, &size) != NO_ERROR)
        name[0] = '\0';
    name[UserNameBytes - 1] = '\0';
    HostReturnString(name);
}

void fkAddProperty(ParamBlock *parameters)
{
    HostValue &object = parameters->slots[0].value;
    const HostValue &nameValue = parameters->slots[1].value;
    const char *name = ParamStringLocked(nameValue.handle, nameValue.length);
    HostValue value;
    memset(&value, 0, sizeof value);
    value.type = 'L';
    value.length = 0;
    HostSetProperty(&object, name, &value, 1);
    HandleUnlock(nameValue.handle);
}

// Stores figure as an integer through the reference in slot.
static void StoreFigure(ParamSlot *slot, int32_t figure)
{
    HostValue value;
    memset(&value, 0, sizeof value);
    value.type = 'I';
    value.width = IntegerWidth;
    value.longValue = figure;
    HostStore(&slot->locator, &value);
}

// The value fkFieldInfo describes: the parameter itself, or what its
// reference holds. A loaded character value's handle is freed at once:
// only its type and length are needed.
static HostValue DescribedValue(ParamSlot *first)
{
    HostValue value;
    if (first->value.type != 'R')
        return first->value;
    memset(&value, 0, sizeof value);
    HostLoad(&first->locator, &value);
    if (value.type == 'C')
        HandleFree(value.handle);
    return value;
}

void fkFieldInfo(ParamBlock *parameters)
{
    HostValue value = DescribedValue(&parameters->slots[0]);
    char letter[2] = {value.type, '\0'};
    HostReturnString(letter);
    if (parameters->count < 2)
        return;
    switch (value.type) {
    case '0':
    case 'I':
    case 'N':
    case 'Y':
        StoreFigure(&parameters->slots[1], value.width);
        if (parameters->count >= 3)
            StoreFigure(&parameters->slots[2], value.type == 'I' ? 0 : int32_t(value.length));
        break;
    case 'C':
        StoreFigure(&parameters->slots[1], int32_t(value.length));
        break;
    case 'M':
        StoreFigure(&parameters->slots[1], value.longValue);
        break;
    }
}

static const char aboutText[] =
    "Quorvale Application Framework\n"
    "falkmoor.fll by Quorvale\n"
    "Visit the Quorvale web site for information.";

void fkAbout(ParamBlock *)
{
    static const char *const labels[3] = {"OK", nullptr, nullptr};
    HostDialog(7, aboutText, 1, 1, labels);
}
