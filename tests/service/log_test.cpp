// The service log: line form, composition, console echo, appending across
// programs and runs, a log held open elsewhere, and two threads at once.
// Some checks run a copy of this program as a child ("--child=..."), so
// that the log under test lies in a folder of its own.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "log.h"
#include "support.h"

namespace {

const int linesPerThread = 300;

// Children ------------------------------------------------------------------

// Logs with the console flag as the service has it, false.
int ChildQuietLog() {
  WriteLog("Quiet line %u", 7);
  return 0;
}

// Two threads log at the same moment.
int ChildThreads() {
  auto writer = [](char name) {
    for (int i = 0; i < linesPerThread; i++)
      WriteLog(name == 'A' ? "Thread A line %u" : "Thread B line %u", i);
  };
  std::thread a(writer, 'A'), b(writer, 'B');
  a.join();
  b.join();
  return 0;
}

// One of two programs that log at the same moment as the installer and the
// service it starts do; its name letter is the last byte of its argument.
int ChildProcessLines(char name) {
  char format[] = "Process ? line %u";
  format[8] = name;
  // Both start together, so that their lines really meet.
  HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, "qvLogTestGo");
  if (go != NULL) WaitForSingleObject(go, 30000);
  for (int i = 0; i < linesPerThread; i++) WriteLog(format, i);
  return 0;
}

// The local time as the C run time writes it, for comparison.
std::string CalendarText(time_t at) {
  char text[32];
  strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", localtime(&at));
  return text;
}

// Line form --------------------------------------------------------------------

TEST(FormatLogTime, FixedEnglishForm) {
  struct {
    WORD year, month, weekday, day, hour, minute, second;
    const char *text;
  } cases[] = {
      {2014, 3, 1, 3, 9, 15, 2, "Mon Mar 03 09:15:02 2014"},
      {2026, 12, 0, 6, 0, 0, 0, "Sun Dec 06 00:00:00 2026"},
      {1999, 1, 6, 31, 23, 59, 59, "Sat Jan 31 23:59:59 1999"},
      {2000, 2, 2, 29, 12, 0, 9, "Tue Feb 29 12:00:09 2000"},
  };
  for (const auto &c : cases) {
    SYSTEMTIME t = {};
    t.wYear = c.year;
    t.wMonth = c.month;
    t.wDayOfWeek = c.weekday;
    t.wDay = c.day;
    t.wHour = c.hour;
    t.wMinute = c.minute;
    t.wSecond = c.second;
    char text[32];
    memset(text, 'x', sizeof text);
    FormatLogTime(&t, text);
    EXPECT_STREQ(c.text, text);
  }
}

// Lines written by this process land in the log beside the test program.
TEST(WriteLog, LineFormAndComposition) {
  std::string log = LogPath(TestProgramFolder());
  size_t mark = LogMark(log);
  time_t before = time(NULL);
  WriteLog("Invalid Request code was recieved: %u", 4294967295u);
  WriteLog("CreateEvent failed with %d.", 4294967295u);
  WriteLog("Service Started", 0);
  WriteLogText("Register C:\\x\\%s%n%d.ocx - Success");
  WriteLogComposed("Register %s - Failed (%lu)", "C:\\x\\%s%n%d.ocx",
                   (DWORD)0x80040201);
  std::string longText(300, 'L');
  WriteLogText(longText.c_str());
  time_t after = time(NULL);

  std::string text = LogSince(log, mark);
  std::vector<LogLine> lines = ParseLog(text);
  std::vector<std::string> messages;
  for (const LogLine &line : lines) messages.push_back(line.message);
  EXPECT_EQ((std::vector<std::string>{
                "Invalid Request code was recieved: 4294967295",
                "CreateEvent failed with -1.", "Service Started",
                "Register C:\\x\\%s%n%d.ocx - Success",
                "Register C:\\x\\%s%n%d.ocx - Failed (2147746305)",
                std::string(255, 'L')}),
            messages);
  // Each line carries the local time of its call.
  for (const LogLine &line : lines) {
    bool inRange = false;
    for (time_t at = before; at <= after && !inRange; at++)
      inRange = line.time == CalendarText(at);
    EXPECT_TRUE(inRange) << "time text " << line.time << " not between "
                         << CalendarText(before) << " and "
                         << CalendarText(after);
  }
  // Nothing but CR LF ends a line.
  EXPECT_EQ(std::string::npos, text.find("\n\n"));
  EXPECT_EQ(std::string::npos, text.find("\r\r"));
}

// Console echo ---------------------------------------------------------------

TEST(WriteLog, EchoesOnlyInConsoleMode) {
  std::string folder = FreshFolder("log-echo");
  std::string service = CopyService(folder);
  std::string control = folder + "ok.ocx";
  CopyBuilt("ctl_ok.dll", control);

  // The command line sets console mode: each message is printed as a line.
  ChildRun run = RunProgram(service, {"-r", control, folder + "none.ocx"});
  std::vector<std::string> expected = {
      "Register " + control + " - Success",
      "Register " + folder + "none.ocx - Error opening file (126)"};
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(Lines(expected), run.output);
  EXPECT_EQ(expected, LogMessages(ReadWholeFile(LogPath(folder))));

  // Without console mode the line goes to the file only.
  run = RunChild(folder, "quiet-log");
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ("", run.output);
  expected.push_back("Quiet line 7");
  EXPECT_EQ(expected, LogMessages(ReadWholeFile(LogPath(folder))));
}

// Appending ------------------------------------------------------------------

// The file is created by the first line and kept by every later one: across
// runs, switches, and another program that logs in the same folder.
TEST(WriteLog, AppendsAcrossRunsAndPrograms) {
  std::string folder = FreshFolder("log-append");
  std::string service = CopyService(folder);
  std::string control = folder + "ok.ocx";
  CopyBuilt("ctl_ok.dll", control);
  std::string log = LogPath(folder);

  RunProgram(service, {"-r"});
  EXPECT_FALSE(FileExists(log)) << "an empty list logs nothing";

  RunProgram(service, {"-r", control});
  std::string first = ReadWholeFile(log);
  RunProgram(service, {"-f", "qvAbsent.ttf"});
  RunChild(folder, "quiet-log");
  RunProgram(service, {"-R", control});
  std::string all = ReadWholeFile(log);
  EXPECT_EQ(first, all.substr(0, first.size())) << "earlier lines changed";
  EXPECT_EQ((std::vector<std::string>{"Register " + control + " - Success",
                                      "InstallFont Called with qvAbsent.ttf",
                                      "CopyFile failed: 2", "Quiet line 7",
                                      "Register " + control + " - Success"}),
            LogMessages(all));
}

// Failures of the log itself -----------------------------------------------

// Another process holds the log open for writing: the line is dropped, the
// program carries on, and the console copy still appears.
TEST(WriteLog, DropsLineWhileAnotherProcessWrites) {
  std::string folder = FreshFolder("log-held");
  std::string service = CopyService(folder);
  std::string control = folder + "ok.ocx";
  CopyBuilt("ctl_ok.dll", control);
  std::string log = LogPath(folder);
  ASSERT_TRUE(WriteWholeFile(log, "held\r\n"));

  HANDLE held = CreateFileA(log.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, 0, NULL);
  ASSERT_NE(INVALID_HANDLE_VALUE, held) << GetLastError();
  ChildRun run = RunProgram(service, {"-r", control, control});
  CloseHandle(held);

  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(Lines({"Register " + control + " - Success",
                   "Register " + control + " - Success"}),
            run.output);
  EXPECT_EQ(Lines({"DllRegisterServer ctl_ok main-sta",
                   "DllRegisterServer ctl_ok main-sta"}),
            Evidence(control));
  EXPECT_EQ("held\r\n", ReadWholeFile(log));
}

// A folder so deep that the log's path would pass 259 characters: no file
// is written (nor one under a cut name), the console copy is printed.
TEST(WriteLog, FolderTooDeepForTheLog) {
  std::string folder = FreshFolder("log-deep");
  // Each part stays below the length at which Windows refuses folders.
  while (folder.size() < 239 - 60) {
    folder += std::string(50, 'd') + "\\";
    CreateDirectoryA(folder.c_str(), NULL);
  }
  folder += std::string(239 - folder.size() - 1, 'e') + "\\";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL)) << GetLastError();
  ASSERT_EQ(239u, folder.size());
  std::string service = CopyService(folder);

  ChildRun run = RunProgram(service, {"-r", "C:\\none.ocx"});
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ("Register C:\\none.ocx - Error opening file (126)\r\n",
            run.output);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  std::vector<std::string> names;
  do names.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{".", "..", "qvClientService.exe"}),
            names);
}

// Two writers at once ----------------------------------------------------

// The log holds all lines of writers A and B ("WRITER A line N"), each
// writer's in order, none lost or torn.
void ExpectEveryLineOfTwoWriters(const std::string &log, const char *writer) {
  std::vector<std::string> messages = LogMessages(ReadWholeFile(log));
  EXPECT_EQ(2u * linesPerThread, messages.size());
  std::string pattern = std::string(writer) + " %c line %u";
  int next[2] = {0, 0};
  for (const std::string &message : messages) {
    unsigned number;
    char name;
    ASSERT_EQ(2, sscanf(message.c_str(), pattern.c_str(), &name, &number))
        << message;
    int which = name == 'A' ? 0 : 1;
    EXPECT_EQ((unsigned)next[which], number) << writer << " " << name;
    next[which] = number + 1;
  }
  EXPECT_EQ(linesPerThread, next[0]);
  EXPECT_EQ(linesPerThread, next[1]);
}


// The service thread and the control handler may log at the same moment;
// no line may be lost or torn.
TEST(WriteLog, TwoThreadsLoseNoLine) {
  std::string folder = FreshFolder("log-threads");
  ChildRun run = RunChild(folder, "threads");
  EXPECT_EQ(0u, run.exitCode);
  ExpectEveryLineOfTwoWriters(LogPath(folder), "Thread");
}

// Two programs that log to one file at the same moment: the one that finds
// the file busy waits its turn instead of losing its line.
TEST(WriteLog, TwoProcessesLoseNoLine) {
  std::string folder = FreshFolder("log-processes");
  char self[MAX_PATH];
  GetModuleFileNameA(NULL, self, sizeof self);
  HANDLE go = CreateEventA(NULL, TRUE, FALSE, "qvLogTestGo");
  ASSERT_NE((HANDLE)NULL, go) << GetLastError();
  PROCESS_INFORMATION children[2];
  for (int i = 0; i < 2; i++) {
    char name = (char)('A' + i);
    std::string copy = folder + "log_child_" + name + ".exe";
    ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE)) << GetLastError();
    std::string command = "\"" + copy + "\" --child=process-" + name;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessA(copy.c_str(), &command[0], NULL, NULL, FALSE,
                               0, NULL, NULL, &startup, &children[i]))
        << GetLastError();
  }
  Sleep(200);
  SetEvent(go);
  for (PROCESS_INFORMATION &child : children) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 60000));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  CloseHandle(go);
  ExpectEveryLineOfTwoWriters(LogPath(folder), "Process");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && strcmp(argv[1], "--child=quiet-log") == 0)
    return ChildQuietLog();
  if (argc == 2 && strcmp(argv[1], "--child=threads") == 0)
    return ChildThreads();
  if (argc == 2 && strncmp(argv[1], "--child=process-", 16) == 0)
    return ChildProcessLines(argv[1][16]);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
