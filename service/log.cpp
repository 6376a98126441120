#include "log.h"

#include <errno.h>
#include <share.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

bool consoleMode = false;

static const char logFileName[] = "qvClientServiceLog.txt";
enum { MaxMessage = 255, MaxLogPath = 259, ComposedCapacity = 512 };

// The service thread and the control handler may log at the same moment; with
// write sharing denied the later open would fail and its line would be lost,
// so calls within the process take turns. A spin lock on an interlocked word
// needs no set-up, which matters because the log is used before anything
// else runs, and it imports nothing that older 32-bit Windows lacks (slim
// reader/writer locks arrived only with Vista). Waiters sleep between tries.
static volatile LONG logBusy = 0;

static void AcquireLogLock(void) {
  while (InterlockedCompareExchange(&logBusy, 1, 0) != 0) Sleep(1);
}

static void ReleaseLogLock(void) { InterlockedExchange(&logBusy, 0); }

void FormatLogTime(const SYSTEMTIME *t, char *out) {
  static const char days[] = "SunMonTueWedThuFriSat";
  static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  int day = t->wDayOfWeek % 7;
  int month = (t->wMonth + 11) % 12;
  snprintf(out, 25, "%.3s %.3s %02u %02u:%02u:%02u %04u", days + 3 * day,
           months + 3 * month, t->wDay, t->wHour, t->wMinute, t->wSecond,
           t->wYear);
}

int ExecutableFolder(char *out, int capacity) {
  char path[MAX_PATH + 1];
  DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
  if (length == 0 || length >= sizeof path - 1) return 0;
  // Cut behind the last backslash, looking no further back than the second
  // character.
  int cut = 0;
  for (int i = (int)length - 1; i >= 1; i--) {
    if (path[i] == '\\') { cut = i + 1; break; }
  }
  if (cut == 0 || cut >= capacity) return 0;
  memcpy(out, path, cut);
  out[cut] = '\0';
  return cut;
}

// Opens the log for appending with write sharing denied. The installer and
// the service it has just started log to the same file at the same moment,
// and each holds it only for one line, so a sharing violation is tried again
// for a short while; a file that another program keeps open stays refused
// and the line is dropped.
static FILE *OpenLogFile(const char *path) {
  enum { Tries = 20, PauseMs = 5 };
  for (int attempt = 1;; attempt++) {
    FILE *file = _fsopen(path, "a+", _SH_DENYWR);
    if (file != NULL || errno != EACCES || attempt == Tries) return file;
    Sleep(PauseMs);
  }
}

// Appends "time - message" to the log file; the message is already finished.
static void AppendLine(const char *message) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char timeText[32];
  FormatLogTime(&now, timeText);

  char path[MaxLogPath + 1];
  int folder = ExecutableFolder(path, sizeof path);
  if (folder == 0) return;
  // A folder so deep that the log's own path would not fit: the file line is
  // dropped rather than written to some other file, but the console copy is
  // still printed, as when the file cannot be opened.
  bool pathFits = folder + (int)sizeof logFileName - 1 <= MaxLogPath;
  if (pathFits) memcpy(path + folder, logFileName, sizeof logFileName);

  if (consoleMode) {
    printf("%s\n", message);
    fflush(stdout);
  }
  if (!pathFits) return;
  FILE *file = OpenLogFile(path);
  if (file == NULL) return;
  fprintf(file, "%s - %s\n", timeText, message);
  fclose(file);
}

// Cuts a message to the log's 255 characters.
static void CopyMessage(char *out, const char *text) {
  size_t length = strlen(text);
  if (length > MaxMessage) length = MaxMessage;
  memcpy(out, text, length);
  out[length] = '\0';
}

void WriteLogText(const char *text) {
  char message[MaxMessage + 1];
  CopyMessage(message, text);
  AcquireLogLock();
  AppendLine(message);
  ReleaseLogLock();
}

void WriteLog(const char *format, DWORD value) {
  // The format comes from this program's own fixed texts and holds at most
  // one conversion; snprintf bounds the result in any case.
  char composed[ComposedCapacity];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  snprintf(composed, sizeof composed, format, value);
#pragma GCC diagnostic pop
  WriteLogText(composed);
}

void WriteLogComposed(const char *format, ...) {
  char composed[ComposedCapacity];
  va_list values;
  va_start(values, format);
  vsnprintf(composed, sizeof composed, format, values);
  va_end(values);
  WriteLogText(composed);
}
