// Registry access for host code. Every function names its place with a
// predefined root key (an integer used unchanged as the key handle) and one
// path that holds the subkey path and, after its last backslash, the value
// name. Failures that are not host errors return the logical false;
// success returns nothing, leaving the host's default result.
#pragma once
#include "../bridge/records.h"

// Writes a REG_SZ value: the text and its terminating zero byte.
void fkRegSetString(ParamBlock *parameters);
// Writes a REG_DWORD value: the four bytes of the integer.
void fkRegSetInteger(ParamBlock *parameters);
// Writes a REG_BINARY value: exactly the string's bytes.
void fkRegSetBinaryString(ParamBlock *parameters);
// Reads a value into the variable passed by reference (parameter 3):
// texts and raw bytes as character values, DWORDs as integers.
void fkRegGetValue(ParamBlock *parameters);
// Deletes a named value; an empty value name is refused.
void fkRegDeleteValue(ParamBlock *parameters);
// Deletes the key the whole path names, with everything under it; an
// empty path is refused.
void fkRegDeleteKey(ParamBlock *parameters);
