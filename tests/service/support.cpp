#include "support.h"

#include <gtest/gtest.h>

#include <regex>

std::string TestProgramFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
  std::string folder(path, length);
  return folder.substr(0, folder.rfind('\\') + 1);
}

void RemoveTree(const std::string &path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name != "." && name != "..") RemoveTree(path + "\\" + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

std::string FreshFolder(const std::string &name) {
  std::string work = TestProgramFolder() + "work";
  CreateDirectoryA(work.c_str(), NULL);
  std::string folder = work + "\\" + name;
  RemoveTree(folder);
  EXPECT_TRUE(CreateDirectoryA(folder.c_str(), NULL))
      << folder << " error " << GetLastError();
  return folder + "\\";
}

bool CopyBuilt(const char *builtName, const std::string &to) {
  std::string from = TestProgramFolder() + builtName;
  bool copied = CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
  EXPECT_TRUE(copied) << from << " -> " << to << " error " << GetLastError();
  return copied;
}

std::string CopyService(const std::string &folder) {
  std::string program = folder + "qvClientService.exe";
  CopyBuilt("qvClientService.exe", program);
  return program;
}

bool FileExists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadWholeFile(const std::string &path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return "";
  std::string bytes;
  char chunk[4096];
  DWORD got;
  while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
    bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

bool WriteWholeFile(const std::string &path, const std::string &bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL,
                            CREATE_ALWAYS, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
  CloseHandle(file);
  return written == bytes.size();
}

// Quotes one argument so that the C run time's parser gives it back as is.
static std::string QuoteArgument(const std::string &argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      backslashes++;
      continue;
    }
    if (c == '"') backslashes = backslashes * 2 + 1;
    quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

ChildRun RunProgram(const std::string &program,
                    const std::vector<std::string> &arguments) {
  ChildRun run = {false, 0xdeadbeef, ""};
  std::string commandLine = QuoteArgument(program);
  for (const std::string &argument : arguments)
    commandLine += " " + QuoteArgument(argument);

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  BOOL started = CreateProcessA(program.c_str(), line.data(), NULL, NULL, TRUE,
                                0, NULL, NULL, &startup, &process);
  CloseHandle(writeEnd);
  if (started) {
    char chunk[4096];
    DWORD got;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, NULL) && got > 0)
      run.output.append(chunk, got);
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.started = true;
  }
  CloseHandle(readEnd);
  EXPECT_TRUE(run.started) << program << " error " << GetLastError();
  return run;
}

ChildRun RunChild(const std::string &folder, const char *child) {
  char self[MAX_PATH];
  GetModuleFileNameA(NULL, self, sizeof self);
  std::string copy = folder + "child.exe";
  EXPECT_TRUE(CopyFileA(self, copy.c_str(), FALSE)) << GetLastError();
  return RunProgram(copy, {std::string("--child=") + child});
}

std::string LogPath(const std::string &folder) {
  return folder + "qvClientServiceLog.txt";
}

std::vector<LogLine> ParseLog(const std::string &text) {
  static const std::regex shape(
      "((Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
      "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
      "(0[1-9]|[12][0-9]|3[01]) ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9] "
      "[0-9]{4}) - ([^\r\n]*)");
  std::vector<LogLine> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "log text does not end with CR LF: "
                    << text.substr(start);
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    std::smatch parts;
    if (std::regex_match(line, parts, shape)) {
      lines.push_back({parts[1], parts[6]});
    } else {
      ADD_FAILURE() << "malformed log line: [" << line << "]";
      lines.push_back({"", line});
    }
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> LogMessages(const std::string &text) {
  std::vector<std::string> messages;
  for (const LogLine &line : ParseLog(text)) messages.push_back(line.message);
  return messages;
}

size_t LogMark(const std::string &logPath) {
  return ReadWholeFile(logPath).size();
}

std::string LogSince(const std::string &logPath, size_t mark) {
  std::string text = ReadWholeFile(logPath);
  return mark <= text.size() ? text.substr(mark) : text;
}

std::string Evidence(const std::string &controlPath) {
  return ReadWholeFile(controlPath + ".evidence");
}

std::string Lines(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines) text += line + "\r\n";
  return text;
}
