// Font installation for all users (request 3, switch -f).
#pragma once
#include <windows.h>

// Installs every font item of the list from the executable's folder; 1 when
// at least one item ended present or installed, else 0. An item is
// "file=value name"; the file must lie beside the executable.
int InstallFont(const char *text);

// The registry call that opens the machine's Fonts key. Tests point it at a
// stand-in to see how an item is undone when the key cannot be opened, which
// the real registry will not refuse on demand; it is RegOpenKeyExA otherwise.
struct FontRegistryCalls {
  LONG(WINAPI *openKey)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
};
extern FontRegistryCalls fontRegistryCalls;
