// Small queries for host code: the library's version, directories, the
// user's name, adding a property, the type and size of a value, and the
// about box.
#pragma once
#include <windows.h>
#include "../bridge/records.h"

// The user-name query, the system's own unless a test points it at a
// stand-in that fails as the network provider can.
extern DWORD(APIENTRY *userNameQuery)(LPCSTR device, LPSTR name, LPDWORD size);

// The library's version number, 2030.
void fkGetFLLVersion(ParamBlock *parameters);
// True when the path (parameter 1) names an existing directory.
void fkIsPath(ParamBlock *parameters);
// The current user's name; the empty text when Windows cannot give it.
void fkGetUserName(ParamBlock *parameters);
// Adds the named property (parameter 2) to the object (parameter 1) with
// the value false.
void fkAddProperty(ParamBlock *parameters);
// The type letter of a value or referenced variable, with its size
// figures stored through the optional references.
void fkFieldInfo(ParamBlock *parameters);
// Shows the about box.
void fkAbout(ParamBlock *parameters);
