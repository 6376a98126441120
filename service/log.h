// The service's log: one line per action or failure in
// qvClientServiceLog.txt beside the executable, echoed to the console when
// the program runs from a command line.
#pragma once
#include <windows.h>
#include <stdio.h>

// Set by the command line; the log echoes every line to standard output
// while it is true. Never reset.
extern bool consoleMode;

// Writes one line built from a format holding at most one %u or %d, which
// takes value. Never reports its own failures: a line that cannot be written
// is dropped.
void WriteLog(const char *format, DWORD value);

// Writes a finished text as it stands; a percent sign in it is an ordinary
// character. Used for every message that names a file. A text longer than
// 255 characters is cut there.
void WriteLogText(const char *text);

// Composes a message that names a file, printf-style, in a 512-byte buffer
// and writes it as finished text: the file name is an argument, never part of
// the format, so a percent sign in it stays an ordinary character.
void WriteLogComposed(const char *format, ...)
    __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

// Formats the local time t as the 24-character calendar text
// ("Mon Mar 03 09:15:02 2014") into out, which holds at least 25 bytes.
void FormatLogTime(const SYSTEMTIME *t, char *out);

// Copies the folder of the running executable, with its trailing backslash,
// into out (capacity bytes). Returns its length, or 0 when the path cannot be
// had or does not fit.
int ExecutableFolder(char *out, int capacity);
