#include "register.h"

#include <windows.h>
#include <ole2.h>
#include <string.h>

#include "items.h"
#include "log.h"

// An item holds at most 127 bytes, so every path handed to the loader or to
// CopyFileA is a piece of one item, unchanged, and every line composed around
// it stays within the log's 255 characters.
enum { ItemCapacity = 128 };

typedef HRESULT(STDAPICALLTYPE *SelfRegisterEntry)(void);

// Looks up the control's DllRegisterServer; NULL when it has none.
static SelfRegisterEntry FindSelfRegister(HMODULE library) {
  // The detour through a generic function type tells the compiler that the
  // export's real type is known to us, not to GetProcAddress.
  return (SelfRegisterEntry)(void (*)(void))GetProcAddress(library,
                                                           "DllRegisterServer");
}

int RegisterControl(const char *path) {
  HMODULE library = LoadLibraryA(path);
  if (library == NULL) {
    DWORD error = GetLastError();
    WriteLogComposed("Register %s - Error opening file (%lu)", path, error);
    return 0;
  }
  int registered = 0;
  SelfRegisterEntry selfRegister = FindSelfRegister(library);
  if (selfRegister == NULL) {
    WriteLogComposed("Register %s - DllRegisterServer enrty point not found",
                     path);
  } else {
    HRESULT result = selfRegister();
    if (result == S_OK) {
      WriteLogComposed("Register %s - Success", path);
      registered = 1;
    } else {
      WriteLogComposed("Register %s - Failed (%lu)", path, (DWORD)result);
    }
  }
  FreeLibrary(library);
  return registered;
}

// Splits an item "<destination>source" in place: the destination is item + 1,
// and the ">" that ends it is looked for from the third byte on, so a
// destination holds at least one byte. Returns the source. An item without
// such a ">" names only a destination: its source is empty, so it is handled
// like "<destination>" with nothing behind the ">".
static const char *SplitCopyItem(char *item) {
  if (item[1] == '\0') return "";
  char *mark = strchr(item + 2, '>');
  if (mark == NULL) return "";
  *mark = '\0';
  return mark + 1;
}

// Lets the file that is about to be replaced register itself once more
// before the copy; whether it loads or registers does not matter.
static void RegisterBeforeCopy(const char *destination) {
  HMODULE library = LoadLibraryA(destination);
  if (library == NULL) return;
  SelfRegisterEntry selfRegister = FindSelfRegister(library);
  if (selfRegister != NULL) selfRegister();
  FreeLibrary(library);
}

// Copies source over destination. A failure leaves the old file in place,
// which is registered all the same, but it is logged so that the missing
// update shows; with no source there is nothing to copy and nothing to log.
static void CopyOverDestination(const char *source, const char *destination) {
  if (source[0] == '\0') return;
  if (CopyFileA(source, destination, FALSE)) return;
  DWORD error = GetLastError();
  WriteLogComposed("Copy %s - Failed (%lu)", source, error);
}

// Registers one item of the list: a plain path, or a destination that is
// first brought up to date from a source.
static int RegisterItem(char *item) {
  if (item[0] != '<') return RegisterControl(item);
  const char *source = SplitCopyItem(item);
  const char *destination = item + 1;
  RegisterBeforeCopy(destination);
  CopyOverDestination(source, destination);
  return RegisterControl(destination);
}

int RegisterControls(const char *text) {
  HRESULT ole = OleInitialize(NULL);
  if (ole != S_OK && ole != S_FALSE) return 0;
  int result = 1;
  char item[ItemCapacity];
  const char *cursor = text;
  // A failed item does not stop the list.
  while (ReadItem(&cursor, item, sizeof item)) {
    if (!RegisterItem(item)) result = 0;
  }
  OleUninitialize();
  return result;
}
