// Helpers shared by the service tests: folders of their own, copies of the
// built programs and fixtures, child processes with captured output, and the
// log file read line by line.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The folder of the running test program (build/out), with its backslash.
std::string TestProgramFolder();

// An empty folder build/out/work/NAME (its backslash included), made afresh.
std::string FreshFolder(const std::string &name);

// Deletes a file or a folder with everything in it; missing is fine.
void RemoveTree(const std::string &path);

// Copies a file built beside the tests (such as "ctl_ok.dll") to a path.
bool CopyBuilt(const char *builtName, const std::string &to);

// Copies qvClientService.exe into folder and returns the copy's path.
std::string CopyService(const std::string &folder);

bool FileExists(const std::string &path);
std::string ReadWholeFile(const std::string &path);  // "" when missing
bool WriteWholeFile(const std::string &path, const std::string &bytes);

// A finished child process: whether it started, its exit code and what it
// wrote to standard output.
struct ChildRun {
  bool started;
  DWORD exitCode;
  std::string output;
};

// Runs program with the arguments (each quoted as one argument) and waits
// for it, capturing its standard output.
ChildRun RunProgram(const std::string &program,
                    const std::vector<std::string> &arguments);

// Copies the running test program into folder and runs the copy with the
// argument "--child=CHILD", so that what the child logs lands in folder.
ChildRun RunChild(const std::string &folder, const char *child);

// The log beside a program folder.
std::string LogPath(const std::string &folder);

// One log line taken apart: time text and message.
struct LogLine {
  std::string time;
  std::string message;
};

// Splits log text into lines, each of which must be "time - message" CR LF
// with the 24-character English time text; a line that is not is reported
// as a test failure (and kept with an empty time).
std::vector<LogLine> ParseLog(const std::string &text);

// The messages of the log text, in order.
std::vector<std::string> LogMessages(const std::string &text);

// The log text that a call adds: remember where the log ends with
// LogMark, then read what follows with LogSince.
size_t LogMark(const std::string &logPath);
std::string LogSince(const std::string &logPath, size_t mark);

// The evidence a stand-in control left beside itself ("<path>.evidence").
std::string Evidence(const std::string &controlPath);

// Joins lines, each followed by CR LF, as the log and the console show them.
std::string Lines(const std::vector<std::string> &lines);
