#include "fonts.h"

#include <string.h>

#include "items.h"
#include "log.h"

FontRegistryCalls fontRegistryCalls = {RegOpenKeyExA};

// An item holds at most 255 bytes.
enum { ItemCapacity = 256, MaxPathLength = 259 };

static const char fontsKeyPath[] =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
static const char fontsFolder[] = "\\Fonts\\";

// Whether the file name (its first length bytes) names a file inside a
// folder. The service runs as the local system account, so a name holding a
// folder separator, a drive or stream colon, or made of dots and blanks only
// (which Windows resolves to the folder itself or its parent) would let a
// client copy files out of or into any folder.
static bool IsPlainFileName(const char *name, size_t length) {
  bool onlyDots = true;
  for (size_t i = 0; i < length; i++) {
    char c = name[i];
    if (c == '\\' || c == '/' || c == ':') return false;
    if (c != '.' && c != ' ') onlyDots = false;
  }
  return !onlyDots;
}

// Appends the first length bytes of name to the path of pathLength bytes in
// out (capacity MAX_PATH). False when the result would pass 259 characters:
// a path is never cut into the name of some other file.
static bool AppendName(char *out, size_t pathLength, const char *name,
                       size_t length) {
  if (pathLength + length > MaxPathLength) return false;
  memcpy(out + pathLength, name, length);
  out[pathLength + length] = '\0';
  return true;
}

// Builds the font's source path (beside the executable) and destination path
// (in the Windows Fonts folder) from the first length bytes of name.
static bool BuildFontPaths(const char *name, size_t length, char *source,
                           char *destination) {
  int folder = ExecutableFolder(source, MAX_PATH);
  if (folder == 0 || !AppendName(source, folder, name, length)) return false;
  UINT windows = GetWindowsDirectoryA(destination, MAX_PATH);
  if (windows == 0 || windows >= MAX_PATH) return false;
  if (!AppendName(destination, windows, fontsFolder, sizeof fontsFolder - 1))
    return false;
  return AppendName(destination, strlen(destination), name, length);
}

// Adds the copied font to the font table and the Fonts key. On failure the
// item is undone, so that a later request installs it afresh instead of
// finding a file that was never recorded. Returns 1 when installed.
static int RecordFont(const char *fileName, const char *valueName,
                      const char *destination) {
  if (AddFontResourceA(fileName) == 0) {
    WriteLog("AddFontResource failed: %u", GetLastError());
    DeleteFileA(destination);
    return 0;
  }
  HKEY key;
  LONG status = fontRegistryCalls.openKey(HKEY_LOCAL_MACHINE, fontsKeyPath, 0,
                                          KEY_READ | KEY_WRITE, &key);
  if (status != ERROR_SUCCESS) {
    // The registry functions return their error instead of setting the
    // thread's last error.
    WriteLog("Error opening Font Registry Key: %u", (DWORD)status);
    RemoveFontResourceA(fileName);
    DeleteFileA(destination);
    return 0;
  }
  // A value that cannot be written still leaves the font usable: the
  // outcome is not checked.
  RegSetValueExA(key, valueName, 0, REG_SZ, (const BYTE *)fileName,
                 (DWORD)strlen(fileName) + 1);
  RegCloseKey(key);
  return 1;
}

// Installs one item "file=value name" (the "=" looked for from the second
// byte on, so a file name is never empty). Returns 1 when the font ends up
// present or installed.
static int InstallFontItem(char *item) {
  WriteLogComposed("InstallFont Called with %s", item);
  char *mark = strchr(item + 1, '=');
  size_t nameLength = mark != NULL ? (size_t)(mark - item) : strlen(item);
  if (!IsPlainFileName(item, nameLength)) {
    WriteLogComposed("InstallFont Refused %s", item);
    return 0;
  }
  char source[MAX_PATH], destination[MAX_PATH];
  if (!BuildFontPaths(item, nameLength, source, destination)) {
    WriteLogComposed("InstallFont Path too long: %s", item);
    return 0;
  }
  const char *valueName = "";
  if (mark != NULL) {
    *mark = '\0';
    valueName = mark + 1;
  }
  if (!CopyFileA(source, destination, TRUE)) {
    DWORD error = GetLastError();
    // Only a font already in the Fonts folder counts as present.
    if (error == ERROR_FILE_EXISTS) return 1;
    WriteLog("CopyFile failed: %u", error);
    return 0;
  }
  return RecordFont(item, valueName, destination);
}

int InstallFont(const char *text) {
  int result = 0;
  char item[ItemCapacity];
  const char *cursor = text;
  while (ReadItem(&cursor, item, sizeof item)) {
    if (InstallFontItem(item)) result = 1;
  }
  return result;
}
