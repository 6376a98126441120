// The service's log: one line per action or failure in
// qvClientServiceLog.txt beside the executable, echoed to the console when
// the program runs from a command line.
#pragma once
#include <windows.h>

// Set by the command line; the log echoes every line to standard output
// while it is true. Never reset.
extern bool consoleMode;

// Writes one line built from a format holding at most one %u or %d, which
// takes value. Never reports its own failures: a line that cannot be written
// is dropped.
void WriteLog(const char *format, DWORD value);

// Writes a finished text as it stands; a percent sign in it is an ordinary
// character. Used for every message that names a file.
void WriteLogText(const char *text);

// Formats the local time t as the 24-character calendar text
// ("Mon Mar 03 09:15:02 2014") into out, which holds at least 25 bytes.
void FormatLogTime(const SYSTEMTIME *t, char *out);

// Copies the folder of the running executable, with its trailing backslash,
// into out (capacity bytes). Returns its length, or 0 when the path cannot be
// had or does not fit.
int ExecutableFolder(char *out, int capacity);
