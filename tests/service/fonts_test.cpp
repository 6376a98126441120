// Font installation through the real program's "-f" switch and directly:
// the file copied into the Windows Fonts folder, the value under the
// machine's Fonts key, and the refusals and failures on the way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fonts.h"
#include "support.h"

namespace {

const char fontsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
// The real TrueType font that the build puts beside the tests.
const std::string dejaVuFile = TestProgramFolder() + "DejaVuSans.ttf";
const char *const dejaVu = dejaVuFile.c_str();

// Every file and value name the tests may leave behind.
const char *const testFiles[] = {
    "qvTestSans.ttf", "qvDefault.ttf", "=qvEq.ttf", "qvTwo.ttf",
    "qvThirtyBytesFontFileName1.ttf", "qvBogus.ttf", "qvMissing.ttf",
    "qvDirect.ttf", "qvBogusDirect.ttf", "qvSeam.ttf"};
const char *const testValues[] = {
    "QV Test Sans (TrueType)", "QV Eq", "A=B", "QV Thirty Bytes Value Name 12",
    "QV Missing", "QV Bogus", "QV Direct", "QV Seam"};

std::string WindowsFolder() {
  char folder[MAX_PATH];
  UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  return std::string(folder, length) + "\\";
}

std::string InFonts(const std::string &name) {
  return WindowsFolder() + "Fonts\\" + name;
}

// A value of the machine's Fonts key: whether it exists, its type and data.
struct FontValue {
  bool exists;
  DWORD type;
  std::string data;
};

FontValue ReadFontValue(const char *name) {
  FontValue value = {false, 0, ""};
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, fontsKey, 0, KEY_READ, &key) != 0)
    return value;
  char data[1024];
  DWORD size = sizeof data;
  if (RegQueryValueExA(key, name, NULL, &value.type, (BYTE *)data, &size) ==
      ERROR_SUCCESS) {
    value.exists = true;
    value.data.assign(data, size);
  }
  RegCloseKey(key);
  return value;
}

void DeleteFontValue(const char *name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, fontsKey, 0, KEY_SET_VALUE, &key) != 0)
    return;
  RegDeleteValueA(key, name);
  RegCloseKey(key);
}

void RestoreDefaultValue(const FontValue &saved) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, fontsKey, 0, KEY_SET_VALUE, &key) != 0)
    return;
  if (saved.exists)
    RegSetValueExA(key, "", 0, saved.type, (const BYTE *)saved.data.data(),
                   (DWORD)saved.data.size());
  else
    RegDeleteValueA(key, "");
  RegCloseKey(key);
}

// Expected data of a REG_SZ value: the file name and its NUL.
std::string Data(const std::string &fileName) {
  return fileName + std::string(1, '\0');
}

// Logs that the denying stand-in saw, and what it was asked for.
struct OpenRequest {
  HKEY root;
  std::string path;
  REGSAM access;
};
std::vector<OpenRequest> openRequests;

LONG WINAPI DenyOpenKey(HKEY root, LPCSTR path, DWORD, REGSAM access,
                        PHKEY key) {
  openRequests.push_back({root, path, access});
  *key = NULL;
  return ERROR_ACCESS_DENIED;
}

class FontTest : public testing::Test {
 protected:
  void SetUp() override {
    savedDefault = ReadFontValue("");
    Clean();
    folder = FreshFolder("font");
    service = CopyService(folder);
    log = LogPath(folder);
  }
  void TearDown() override {
    fontRegistryCalls.openKey = RegOpenKeyExA;
    Clean();
    RestoreDefaultValue(savedDefault);
  }
  // Removes whatever a test added to the Fonts folder, the Fonts key and
  // the folder of this test program.
  void Clean() {
    for (const char *name : testFiles) {
      RemoveFontResourceA(name);
      DeleteFileA(InFonts(name).c_str());
      DeleteFileA((TestProgramFolder() + name).c_str());
    }
    for (const char *name : testValues) DeleteFontValue(name);
    DeleteFileA((WindowsFolder() + "qvEscape.ttf").c_str());
  }
  // A font beside the service copy, under name: the real one, or text.
  void PutFont(const std::string &name, bool real = true) {
    std::string path = folder + name;
    if (real)
      ASSERT_TRUE(CopyFileA(dejaVu, path.c_str(), FALSE)) << GetLastError();
    else
      ASSERT_TRUE(WriteWholeFile(path, "not a font\r\n"));
  }
  // Runs "-f" with the arguments; the console must show what the log got.
  std::vector<std::string> RunInstall(const std::vector<std::string> &items) {
    size_t mark = LogMark(log);
    std::vector<std::string> arguments = {"-f"};
    arguments.insert(arguments.end(), items.begin(), items.end());
    ChildRun run = RunProgram(service, arguments);
    EXPECT_EQ(0u, run.exitCode);
    std::vector<std::string> messages = LogMessages(LogSince(log, mark));
    EXPECT_EQ(Lines(messages), run.output);
    return messages;
  }

  FontValue savedDefault;
  std::string folder, service, log;
};

// The whole road: copied, recorded under the key; a second request finds
// the file present and does nothing more.
TEST_F(FontTest, InstallsThenFindsPresent) {
  PutFont("qvTestSans.ttf");
  const std::string item = "qvTestSans.ttf=QV Test Sans (TrueType)";
  EXPECT_EQ(std::vector<std::string>{"InstallFont Called with " + item},
            RunInstall({item}));
  EXPECT_EQ(ReadWholeFile(dejaVu), ReadWholeFile(InFonts("qvTestSans.ttf")));
  FontValue value = ReadFontValue("QV Test Sans (TrueType)");
  EXPECT_TRUE(value.exists);
  EXPECT_EQ((DWORD)REG_SZ, value.type);
  EXPECT_EQ(Data("qvTestSans.ttf"), value.data);

  // Present: the value is not written again.
  DeleteFontValue("QV Test Sans (TrueType)");
  EXPECT_EQ(std::vector<std::string>{"InstallFont Called with " + item},
            RunInstall({item}));
  EXPECT_FALSE(ReadFontValue("QV Test Sans (TrueType)").exists);
  EXPECT_EQ(ReadWholeFile(dejaVu), ReadWholeFile(InFonts("qvTestSans.ttf")));
}

// How an item splits into file name and value name.
TEST_F(FontTest, ItemForms) {
  const std::string thirty = "qvThirtyBytesFontFileName1.ttf";
  const std::string thirtyValue = "QV Thirty Bytes Value Name 12";
  ASSERT_EQ(30u, thirty.size());
  ASSERT_EQ(29u, thirtyValue.size());
  for (const std::string &name : {std::string("qvDefault.ttf"),
                                  std::string("=qvEq.ttf"),
                                  std::string("qvTwo.ttf"), thirty})
    PutFont(name);
  std::vector<std::string> items = {"qvDefault.ttf", "=qvEq.ttf=QV Eq",
                                    "qvTwo.ttf=A=B", thirty + "=" + thirtyValue};
  std::vector<std::string> expected;
  for (const std::string &item : items)
    expected.push_back("InstallFont Called with " + item);
  EXPECT_EQ(expected, RunInstall(items));

  struct {
    const char *value;
    std::string fileName;
  } cases[] = {{"", "qvDefault.ttf"},
               {"QV Eq", "=qvEq.ttf"},
               {"A=B", "qvTwo.ttf"},
               {thirtyValue.c_str(), thirty}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    FontValue value = ReadFontValue(c.value);
    EXPECT_TRUE(value.exists);
    EXPECT_EQ((DWORD)REG_SZ, value.type);
    EXPECT_EQ(Data(c.fileName), value.data);
    EXPECT_TRUE(FileExists(InFonts(c.fileName)));
  }
}

// A copy that fails for another reason than an existing file is logged and
// is no success.
TEST_F(FontTest, MissingSourceIsAFailure) {
  EXPECT_EQ((std::vector<std::string>{
                "InstallFont Called with qvMissing.ttf=QV Missing",
                "CopyFile failed: 2"}),
            RunInstall({"qvMissing.ttf=QV Missing"}));
  EXPECT_FALSE(FileExists(InFonts("qvMissing.ttf")));
  EXPECT_FALSE(ReadFontValue("QV Missing").exists);
  EXPECT_EQ(0, InstallFont("qvMissing.ttf=QV Missing"));
}

// A file that is no font: the copy is taken back, so the next request tries
// again instead of finding it present.
TEST_F(FontTest, NoFontIsUndone) {
  PutFont("qvBogus.ttf", false);
  for (int round = 0; round < 2; round++) {
    SCOPED_TRACE(round);
    std::vector<std::string> messages = RunInstall({"qvBogus.ttf=QV Bogus"});
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ("InstallFont Called with qvBogus.ttf=QV Bogus", messages[0]);
    EXPECT_EQ(0u, messages[1].find("AddFontResource failed: ")) << messages[1];
    EXPECT_FALSE(FileExists(InFonts("qvBogus.ttf")));
    EXPECT_FALSE(ReadFontValue("QV Bogus").exists);
  }
}

// File names that would leave the executable's folder or the Fonts folder
// are refused before anything is copied.
TEST_F(FontTest, EscapingNamesAreRefused) {
  // Files the names would reach if they were used.
  ASSERT_TRUE(CopyFileA(dejaVu, (folder + "..\\qvEscape.ttf").c_str(), FALSE));
  CreateDirectoryA((folder + "sub").c_str(), NULL);
  ASSERT_TRUE(CopyFileA(dejaVu, (folder + "sub\\qvEscape.ttf").c_str(), FALSE));
  std::vector<std::string> items = {
      "..\\qvEscape.ttf=QV Escape", "sub\\qvEscape.ttf", "sub/qvEscape.ttf",
      "C:qvEscape.ttf", "qvEscape.ttf:stream", "..", ". .", "..=QV Dots",
      "..\\..\\windows\\qvEscape.ttf"};
  std::vector<std::string> expected;
  for (const std::string &item : items) {
    expected.push_back("InstallFont Called with " + item);
    expected.push_back("InstallFont Refused " + item);
  }
  EXPECT_EQ(expected, RunInstall(items));
  EXPECT_FALSE(FileExists(WindowsFolder() + "qvEscape.ttf"));
  EXPECT_EQ(0, InstallFont("..\\qvEscape.ttf"));
  DeleteFileA((folder + "..\\qvEscape.ttf").c_str());
}

// A path that would pass 259 characters is refused, never cut.
TEST_F(FontTest, LongPathsAreRefused) {
  // Too long for the Fonts folder (and for the executable's folder).
  std::string name = "qv" + std::string(244, 'x') + ".ttf";
  std::string called = "InstallFont Called with " + name;
  std::string refused = "InstallFont Path too long: " + name;
  // The log keeps the first 255 characters of a longer message.
  EXPECT_EQ((std::vector<std::string>{called.substr(0, 255),
                                      refused.substr(0, 255)}),
            RunInstall({name}));

  // Fine for the Fonts folder, too long beside an executable that lies
  // deep down.
  std::string deep = FreshFolder("font-deep");
  while (deep.size() < 225 - 50) {
    deep += std::string(45, 'd') + "\\";
    CreateDirectoryA(deep.c_str(), NULL);
  }
  deep += std::string(225 - deep.size() - 1, 'e') + "\\";
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), NULL)) << GetLastError();
  std::string deepService = CopyService(deep);
  name = "qv" + std::string(34, 'y') + ".ttf";
  ChildRun run = RunProgram(deepService, {"-f", name});
  std::vector<std::string> expected = {"InstallFont Called with " + name,
                                       "InstallFont Path too long: " + name};
  EXPECT_EQ(Lines(expected), run.output);
  EXPECT_EQ(expected, LogMessages(ReadWholeFile(LogPath(deep))));
  EXPECT_FALSE(FileExists(InFonts(name)));
}

// Results, called directly: the font lies beside this test program.
TEST_F(FontTest, Results) {
  std::string here = TestProgramFolder();
  ASSERT_TRUE(CopyFileA(dejaVu, (here + "qvDirect.ttf").c_str(), FALSE));
  ASSERT_TRUE(WriteWholeFile(here + "qvBogusDirect.ttf", "not a font"));
  std::string hereLog = LogPath(here);

  size_t mark = LogMark(hereLog);
  EXPECT_EQ(0, InstallFont(""));
  EXPECT_EQ(0, InstallFont(" \r\n\t"));
  EXPECT_EQ("", LogSince(hereLog, mark)) << "an empty list logs nothing";

  EXPECT_EQ(1, InstallFont("qvDirect.ttf=QV Direct"));
  EXPECT_TRUE(ReadFontValue("QV Direct").exists);
  EXPECT_EQ(1, InstallFont("qvDirect.ttf=QV Direct"));
  EXPECT_EQ(0, InstallFont("qvBogusDirect.ttf"));
  // Present first, failing second: one success is enough.
  EXPECT_EQ(1, InstallFont("qvDirect.ttf=QV Direct\r\nqvBogusDirect.ttf"));
  EXPECT_EQ(1, InstallFont("qvBogusDirect.ttf\r\nqvDirect.ttf=QV Direct"));
}

// A Fonts key that cannot be opened: logged with the registry's own error,
// the item undone, and the next request installs the font properly.
TEST_F(FontTest, KeyThatCannotBeOpenedIsUndone) {
  std::string here = TestProgramFolder();
  ASSERT_TRUE(CopyFileA(dejaVu, (here + "qvSeam.ttf").c_str(), FALSE));
  std::string hereLog = LogPath(here);

  openRequests.clear();
  fontRegistryCalls.openKey = DenyOpenKey;
  size_t mark = LogMark(hereLog);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(0, InstallFont("qvSeam.ttf=QV Seam"));
  EXPECT_EQ((std::vector<std::string>{"InstallFont Called with qvSeam.ttf=QV Seam",
                                      "Error opening Font Registry Key: 5"}),
            LogMessages(LogSince(hereLog, mark)));
  ASSERT_EQ(1u, openRequests.size());
  EXPECT_EQ(HKEY_LOCAL_MACHINE, openRequests[0].root);
  EXPECT_EQ(fontsKey, openRequests[0].path);
  EXPECT_EQ((REGSAM)0x2001F, openRequests[0].access);
  EXPECT_FALSE(FileExists(InFonts("qvSeam.ttf")));
  EXPECT_FALSE(ReadFontValue("QV Seam").exists);

  fontRegistryCalls.openKey = RegOpenKeyExA;
  EXPECT_EQ(1, InstallFont("qvSeam.ttf=QV Seam"));
  EXPECT_TRUE(FileExists(InFonts("qvSeam.ttf")));
  EXPECT_EQ(Data("qvSeam.ttf"), ReadFontValue("QV Seam").data);
}

}  // namespace
