// Entry point of qvClientService. The same executable runs as the service
// when the service control manager starts it, installs itself when started
// by hand without arguments, and otherwise acts on one switch and exits.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "fonts.h"
#include "install.h"
#include "lifecycle.h"
#include "log.h"
#include "register.h"

static const char usageText[] =
    "Unknown Switch Usage. For Install use -i, for UnInstall use -u\n";

// The item list of -r and -f: every argument after the switch is one item
// list, and the lists are joined with line feeds, so each argument may hold
// one path or several separated by line ends. Returns a heap text the caller
// frees, or NULL when memory is short.
static char *JoinItemArguments(int argc, char **argv) {
  size_t total = 1;
  for (int i = 2; i < argc; i++) total += strlen(argv[i]) + 1;
  char *text = (char *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, total);
  if (text == NULL) return NULL;
  char *end = text;
  for (int i = 2; i < argc; i++) {
    size_t length = strlen(argv[i]);
    memcpy(end, argv[i], length);
    end += length;
    *end++ = '\n';
  }
  *end = '\0';
  return text;
}

static void RunOnItems(int (*routine)(const char *), int argc, char **argv) {
  char *items = JoinItemArguments(argc, argv);
  if (items == NULL) return;
  routine(items);
  HeapFree(GetProcessHeap(), 0, items);
}

// Started without arguments: either the service control manager runs us as
// the service, or a user started us and we install ourselves.
static void StartDispatcher(void) {
  static wchar_t serviceName[] = L"qvService";
  SERVICE_TABLE_ENTRYW table[] = {{serviceName, ServiceMain}, {NULL, NULL}};
  if (StartServiceCtrlDispatcherW(table)) return;
  if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return;
  consoleMode = true;
  if (InstallService()) WriteLog("Service Self-Installed Sucessfully", 0);
}

// The whole first argument is compared, ASCII letters without case.
static bool IsSwitch(const char *argument, char letter) {
  return argument[0] == '-' && (argument[1] | 0x20) == letter &&
         argument[2] == '\0';
}

int main(int argc, char **argv) {
  if (argc < 2) {
    StartDispatcher();
    return 0;
  }
  consoleMode = true;
  const char *first = argv[1];
  if (IsSwitch(first, 'r')) {
    RunOnItems(RegisterControls, argc, argv);
  } else if (IsSwitch(first, 'f')) {
    RunOnItems(InstallFont, argc, argv);
  } else if (IsSwitch(first, 'i')) {
    if (InstallService()) WriteLog("Service Installed Sucessfully", 0);
  } else if (IsSwitch(first, 'u')) {
    if (UninstallService()) WriteLog("Service Un-Installed", 0);
  } else {
    fputs(usageText, stdout);
  }
  return 0;
}
