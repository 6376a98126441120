// The registry functions.
#include "registry.h"
#include <windows.h>
#include <string.h>
#include "../bridge/handles.h"
#include "../bridge/host_services.h"
#include "../bridge/param_text.h"

// Subkey names longer than this stop a tree deletion (see DeleteKeyTree).
const DWORD SubkeyNameChars = 128;

// Where a path points: the subkey to open (null when the value lies
// directly under the root key) and the value name (empty for the key's
// default value).
struct RegistryPlace {
    HKEY root;
    const char *subkey;
    const char *valueName;
};

// The root key exactly as the host passed it: a predefined key's value.
static HKEY RootKey(const ParamSlot &slot)
{
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(slot.value.longValue));
}

// Splits the path parameter at its last backslash within the host's length.
// The split is made in place: the backslash in the parameter's own block
// becomes the subkey's terminator.
static RegistryPlace PlaceOf(const ParamSlot &rootSlot, const ParamSlot &pathSlot)
{
    const HostValue &path = pathSlot.value;
    RegistryPlace place;
    place.root = RootKey(rootSlot);
    place.subkey = nullptr;
    place.valueName = ParamString(path.handle, path.length);
    if (path.length == 0)
        return place;
    char *text = static_cast<char *>(HandleToPtr(path.handle));
    for (uint32_t p = path.length; p > 0; p--) {
        if (text[p - 1] == '\\') {
            text[p - 1] = '\0';
            place.subkey = text;
            place.valueName = text + p;
            break;
        }
    }
    return place;
}

// Closes a key the function opened; the root key is never closed.
static void CloseOpenedKey(const RegistryPlace &place, HKEY key)
{
    if (key != place.root)
        RegCloseKey(key);
}

// Opens the place's subkey with the given rights, or answers the root key
// itself when the path names no subkey. False when the key cannot be opened.
static bool OpenPlace(const RegistryPlace &place, REGSAM rights, HKEY *key)
{
    *key = place.root;
    if (place.subkey == nullptr)
        return true;
    return RegOpenKeyExA(place.root, place.subkey, 0, rights, key) == ERROR_SUCCESS;
}

// The writer behind the three set functions: creates the subkey path as
// needed and writes the value. False on any failure.
static bool WriteRegistryValue(const RegistryPlace &place, const void *data, DWORD bytes,
                               DWORD type)
{
    HKEY key = place.root;
    if (place.subkey != nullptr &&
        RegCreateKeyExA(place.root, place.subkey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(key, place.valueName, 0, type,
                                 static_cast<const BYTE *>(data), bytes);
    CloseOpenedKey(place, key);
    return status == ERROR_SUCCESS;
}

void fkRegSetString(ParamBlock *parameters)
{
    RegistryPlace place = PlaceOf(parameters->slots[0], parameters->slots[1]);
    const HostValue &text = parameters->slots[2].value;
    const char *data = ParamString(text.handle, text.length);
    if (!WriteRegistryValue(place, data, text.length + 1, REG_SZ))
        HostReturnLogical(0);
}

void fkRegSetInteger(ParamBlock *parameters)
{
    RegistryPlace place = PlaceOf(parameters->slots[0], parameters->slots[1]);
    int32_t number = parameters->slots[2].value.longValue;
    if (!WriteRegistryValue(place, &number, sizeof number, REG_DWORD))
        HostReturnLogical(0);
}

// The bytes are taken as they are, without a terminator: an empty string
// writes a value of 0 bytes.
void fkRegSetBinaryString(ParamBlock *parameters)
{
    RegistryPlace place = PlaceOf(parameters->slots[0], parameters->slots[1]);
    const HostValue &bytes = parameters->slots[2].value;
    static const uint8_t noBytes[1] = {0};
    const uint8_t *data = bytes.length != 0 ? ParamBytes(bytes.handle, bytes.length) : noBytes;
    if (!WriteRegistryValue(place, data, bytes.length, REG_BINARY))
        HostReturnLogical(0);
}

// Stores a text or byte value of at most count bytes into the variable.
// A text keeps its last byte unless that byte is the terminating zero, so
// that a value written without its terminator loses no character; a value
// of 0 bytes gives the empty text. The length is that of the data the
// second query delivered, which may be less than the size query said.
// The key is closed once read, before a host error or the store (which
// the host may end with an error) can unwind the call.
static void StoreTextValue(HKEY key, const RegistryPlace &place, DWORD type, DWORD count,
                           HostLocator *target)
{
    MemHandle handle = HandleAlloc(count);
    if (handle == 0) {
        CloseOpenedKey(place, key);
        HostError(HostErrorNoMemory);
    }
    HandleLock(handle);
    BYTE *data = static_cast<BYTE *>(HandleToPtr(handle));
    DWORD read = count;
    LONG status = RegQueryValueExA(key, place.valueName, nullptr, nullptr, data, &read);
    CloseOpenedKey(place, key);
    if (status == ERROR_SUCCESS && type != REG_BINARY && read > 0 && data[read - 1] == 0)
        read--;
    HandleUnlock(handle);
    if (status == ERROR_SUCCESS) {
        HostValue value;
        memset(&value, 0, sizeof value);
        value.type = 'C';
        value.length = read;
        value.handle = handle;
        HostStore(target, &value);
    } else {
        HostReturnLogical(0);
    }
    HandleFree(handle);
}

// Stores a four-byte value into the variable as an integer, its bytes as
// they are (also for big-endian DWORDs). Another size is a host error.
// The key is closed before anything can unwind the call.
static void StoreIntegerValue(HKEY key, const RegistryPlace &place, DWORD count,
                              HostLocator *target)
{
    if (count != 4) {
        CloseOpenedKey(place, key);
        HostError(HostErrorBadType);
    }
    HostValue value;
    memset(&value, 0, sizeof value);
    value.type = 'I';
    value.width = IntegerWidth;
    DWORD read = sizeof value.longValue;
    LONG status = RegQueryValueExA(key, place.valueName, nullptr, nullptr,
                                   reinterpret_cast<BYTE *>(&value.longValue), &read);
    CloseOpenedKey(place, key);
    if (status == ERROR_SUCCESS)
        HostStore(target, &value);
    else
        HostReturnLogical(0);
}

// Types other than texts, bytes and DWORDs store nothing and set no result.
// The store routines close the key themselves.
void fkRegGetValue(ParamBlock *parameters)
{
    RegistryPlace place = PlaceOf(parameters->slots[0], parameters->slots[1]);
    HostLocator *target = &parameters->slots[2].locator;
    HKEY key;
    if (!OpenPlace(place, KEY_QUERY_VALUE, &key)) {
        HostReturnLogical(0);
        return;
    }
    DWORD type = 0, count = 0;
    if (RegQueryValueExA(key, place.valueName, nullptr, &type, nullptr, &count) != ERROR_SUCCESS)
        HostReturnLogical(0);
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_BINARY:
        StoreTextValue(key, place, type, count, target);
        break;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        StoreIntegerValue(key, place, count, target);
        break;
    default:
        CloseOpenedKey(place, key);
        break;
    }
}

// A key's default value cannot be deleted this way: an empty value name is
// refused before the registry is touched.
void fkRegDeleteValue(ParamBlock *parameters)
{
    RegistryPlace place = PlaceOf(parameters->slots[0], parameters->slots[1]);
    HKEY key;
    if (place.valueName[0] == '\0' || !OpenPlace(place, KEY_WRITE, &key)) {
        HostReturnLogical(0);
        return;
    }
    LONG status = RegDeleteValueA(key, place.valueName);
    CloseOpenedKey(place, key);
    if (status != ERROR_SUCCESS)
        HostReturnLogical(0);
}

// Deletes the key name under parent with all its subkeys, depth first.
// A subkey that cannot be enumerated (a name of 128 characters or more)
// ends the loop, and the key, still holding it, then fails to go. A
// failure stops at once; what was deleted before stays deleted.
static bool DeleteKeyTree(HKEY parent, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    for (;;) {
        char subkey[SubkeyNameChars];
        DWORD size = SubkeyNameChars;
        if (RegEnumKeyExA(key, 0, subkey, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            RegCloseKey(key);
            return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
        }
        if (!DeleteKeyTree(key, subkey)) {
            RegCloseKey(key);
            return false;
        }
    }
}

// An empty path would name the root key itself and empty it of every
// subkey before failing; it is refused without touching the registry.
void fkRegDeleteKey(ParamBlock *parameters)
{
    HKEY root = RootKey(parameters->slots[0]);
    const HostValue &path = parameters->slots[1].value;
    const char *name = ParamString(path.handle, path.length);
    if (name[0] == '\0' || !DeleteKeyTree(root, name))
        HostReturnLogical(0);
}
