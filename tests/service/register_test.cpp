// Control registration over item lists, called directly and through the
// real program's "-r" switch, with the stand-in controls of tests/fixtures.
#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <thread>
#include <vector>

#include "register.h"
#include "support.h"

namespace {

const char failNumber[] = "2147746305";  // SELFREG_E_CLASS, 0x80040201

// Whether OLE is initialised on the calling thread.
bool OleIsInitialised() {
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  return CoGetApartmentType(&type, &qualifier) == S_OK;
}

// Runs RegisterControls in this process and returns its result and the
// messages it logged.
struct Registration {
  int result;
  std::vector<std::string> messages;
};

Registration Register(const std::string &text) {
  std::string log = LogPath(TestProgramFolder());
  size_t mark = LogMark(log);
  SetLastError(0xdeadbeef);
  int result = RegisterControls(text.c_str());
  return {result, LogMessages(LogSince(log, mark))};
}

// The evidence lines that calls of a fixture's DllRegisterServer leave,
// without their apartments.
std::string Calls(const char *fixture, int calls = 1) {
  std::string line = std::string("DllRegisterServer ") + fixture + " ";
  std::string text;
  for (int i = 0; i < calls; i++) text += line;
  return text;
}

// The evidence with the apartment of each line dropped.
std::string EvidenceWithoutApartment(const std::string &control) {
  std::string text = Evidence(control), stripped;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    stripped += line.substr(0, line.rfind(' ') + 1);
    start = end + 2;
  }
  return stripped;
}

class RegisterControlsTest : public testing::Test {
 protected:
  void SetUp() override {
    // A short folder, so that two paths fit in one 127-byte item.
    folder = FreshFolder("reg");
  }
  // Copies a stand-in control into the test's folder under name.
  std::string Control(const char *fixture, const char *name) {
    std::string path = folder + name;
    CopyBuilt(fixture, path);
    return path;
  }
  std::string folder;
};

// Each outcome of one item: its line and its result.
TEST_F(RegisterControlsTest, OutcomesOfOneItem) {
  std::string ok = Control("ctl_ok.dll", "ok.ocx");
  std::string sFalse = Control("ctl_false.dll", "false.ocx");
  std::string fail = Control("ctl_fail.dll", "fail.ocx");
  std::string noEntry = Control("ctl_noentry.dll", "noentry.ocx");
  std::string notDll = folder + "text.ocx";
  WriteWholeFile(notDll, "not a library\r\n");
  struct {
    std::string item;
    int result;
    std::string message;
  } cases[] = {
      {ok, 1, "Register " + ok + " - Success"},
      {sFalse, 0, "Register " + sFalse + " - Failed (1)"},
      {fail, 0, "Register " + fail + " - Failed (" + failNumber + ")"},
      {noEntry, 0,
       "Register " + noEntry + " - DllRegisterServer enrty point not found"},
      {folder + "missing.ocx", 0,
       "Register " + folder + "missing.ocx - Error opening file (126)"},
      {notDll, 0, "Register " + notDll + " - Error opening file (193)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.item);
    Registration r = Register(c.item);
    EXPECT_EQ(c.result, r.result);
    EXPECT_EQ(std::vector<std::string>{c.message}, r.messages);
  }
  EXPECT_EQ(Calls("ctl_ok"), EvidenceWithoutApartment(ok));
  EXPECT_EQ(Calls("ctl_false"), EvidenceWithoutApartment(sFalse));
  EXPECT_EQ("", Evidence(noEntry)) << "a look-alike export was called";
}

TEST_F(RegisterControlsTest, EmptyListRegistersNothing) {
  for (const char *text : {"", "\r\n", "  \t \r\n "}) {
    Registration r = Register(text);
    EXPECT_EQ(1, r.result) << "[" << text << "]";
    EXPECT_TRUE(r.messages.empty()) << "[" << text << "]";
  }
}

// A failure does not stop the list, and makes its result 0.
TEST_F(RegisterControlsTest, EveryItemIsTried) {
  std::string first = Control("ctl_ok.dll", "first.ocx");
  std::string second = Control("ctl_fail.dll", "second.ocx");
  std::string third = Control("ctl_ok.dll", "third.ocx");
  Registration r = Register(first + "\r\n" + second + "\t" + third + "\n");
  EXPECT_EQ(0, r.result);
  EXPECT_EQ((std::vector<std::string>{
                "Register " + first + " - Success",
                "Register " + second + " - Failed (" + failNumber + ")",
                "Register " + third + " - Success"}),
            r.messages);
  EXPECT_EQ(Calls("ctl_ok"), EvidenceWithoutApartment(third));

  r = Register(first + "\r\n" + third);
  EXPECT_EQ(1, r.result);
  EXPECT_EQ(2u, r.messages.size());
}

// The control runs with OLE initialised on the calling thread, single
// threaded, and OLE is released again afterwards.
TEST_F(RegisterControlsTest, OleAroundTheCall) {
  std::string ok = Control("ctl_ok.dll", "ok.ocx");
  ASSERT_FALSE(OleIsInitialised());
  EXPECT_EQ(1, Register(ok).result);
  EXPECT_FALSE(OleIsInitialised()) << "OLE left initialised";
  std::string evidence = Evidence(ok);
  EXPECT_TRUE(evidence == "DllRegisterServer ctl_ok main-sta\r\n" ||
              evidence == "DllRegisterServer ctl_ok sta\r\n")
      << evidence;

  // Already initialised by the caller: still works, and the caller's own
  // initialisation stays.
  ASSERT_EQ(S_OK, OleInitialize(NULL));
  EXPECT_EQ(1, Register(ok).result);
  EXPECT_TRUE(OleIsInitialised());
  OleUninitialize();
  EXPECT_FALSE(OleIsInitialised());
}

// A thread in the multi-threaded apartment cannot have OLE: nothing is
// registered and nothing logged.
TEST_F(RegisterControlsTest, NoOleNoRegistration) {
  std::string ok = Control("ctl_ok.dll", "ok.ocx");
  Registration r = {-1, {}};
  std::thread worker([&] {
    ASSERT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
    r = Register(ok);
    CoUninitialize();
  });
  worker.join();
  EXPECT_EQ(0, r.result);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ("", Evidence(ok));
}

// "<destination>source": the destination registers once as it is, the
// source is copied over it, and the destination registers again.
TEST_F(RegisterControlsTest, CopyItems) {
  std::string okSource = Control("ctl_ok.dll", "source.ocx");
  std::string okBytes = ReadWholeFile(okSource);

  // An older file at the destination.
  std::string old = Control("ctl_fail.dll", "old.ocx");
  Registration r = Register("<" + old + ">" + okSource);
  EXPECT_EQ(1, r.result);
  EXPECT_EQ(std::vector<std::string>{"Register " + old + " - Success"},
            r.messages);
  EXPECT_EQ(okBytes, ReadWholeFile(old));
  EXPECT_EQ(Calls("ctl_fail") + Calls("ctl_ok"),
            EvidenceWithoutApartment(old));

  // No destination yet: the first load fails silently, the copy makes it.
  std::string fresh = folder + "fresh.ocx";
  r = Register("<" + fresh + ">" + okSource);
  EXPECT_EQ(1, r.result);
  EXPECT_EQ(std::vector<std::string>{"Register " + fresh + " - Success"},
            r.messages);
  EXPECT_EQ(Calls("ctl_ok"), EvidenceWithoutApartment(fresh));

  // A source that cannot be copied is logged; the file already at the
  // destination is registered.
  std::string kept = Control("ctl_false.dll", "kept.ocx");
  std::string absent = folder + "absent.ocx";
  r = Register("<" + kept + ">" + absent);
  EXPECT_EQ(0, r.result);
  EXPECT_EQ((std::vector<std::string>{"Copy " + absent + " - Failed (2)",
                                      "Register " + kept + " - Failed (1)"}),
            r.messages);
  EXPECT_EQ(Calls("ctl_false", 2), EvidenceWithoutApartment(kept));

  // Nothing behind the ">", or no ">" at all: no copy, nothing logged
  // about one, the destination is registered.
  std::string alone = Control("ctl_ok.dll", "alone.ocx");
  for (const std::string &item : {"<" + alone + ">", "<" + alone}) {
    SCOPED_TRACE(item);
    r = Register(item);
    EXPECT_EQ(1, r.result);
    EXPECT_EQ(std::vector<std::string>{"Register " + alone + " - Success"},
              r.messages);
  }
  EXPECT_EQ(Calls("ctl_ok", 4), EvidenceWithoutApartment(alone));

  // The ">" that ends the destination is looked for from the third byte
  // on, so "<>" does not make an empty destination.
  r = Register("<>" + okSource);
  EXPECT_EQ(0, r.result);
  EXPECT_EQ((std::vector<std::string>{"Register >" + okSource +
                                      " - Error opening file (126)"}),
            r.messages);
}

// Items of 127 bytes are whole; a longer run is read as two items.
TEST_F(RegisterControlsTest, ItemLimit) {
  // A file whose full path is exactly 127 bytes.
  std::string name(127 - folder.size() - 4, 'n');
  std::string exact = Control("ctl_ok.dll", (name + ".ocx").c_str());
  ASSERT_EQ(127u, exact.size());
  Registration r = Register(exact);
  EXPECT_EQ(1, r.result);
  EXPECT_EQ(std::vector<std::string>{"Register " + exact + " - Success"},
            r.messages);

  std::string longer = exact + "xyz";
  r = Register(longer);
  EXPECT_EQ(0, r.result);
  EXPECT_EQ((std::vector<std::string>{
                "Register " + exact + " - Success",
                "Register xyz - Error opening file (126)"}),
            r.messages);
}

// Paths are used and logged as they are: a percent sign is an ordinary
// character, and a letter outside ASCII does not split the path.
TEST_F(RegisterControlsTest, PathsAsWritten) {
  std::string percent = Control("ctl_ok.dll", "%s%n%d.ocx");
  std::string subfolder = folder + "Caf\xe9";
  ASSERT_TRUE(CreateDirectoryA(subfolder.c_str(), NULL)) << GetLastError();
  std::string accented = subfolder + "\\ok.ocx";
  CopyBuilt("ctl_ok.dll", accented);

  Registration r = Register(percent + "\n" + accented + "\nC:\\x\\%s%n%d.ocx");
  EXPECT_EQ(0, r.result);
  EXPECT_EQ((std::vector<std::string>{
                "Register " + percent + " - Success",
                "Register " + accented + " - Success",
                "Register C:\\x\\%s%n%d.ocx - Error opening file (126)"}),
            r.messages);
  EXPECT_EQ(Calls("ctl_ok"), EvidenceWithoutApartment(accented));
}

// The real program: "-r" with the item lists as further arguments.
TEST_F(RegisterControlsTest, ThroughTheCommandLine) {
  std::string service = CopyService(folder);
  std::string ok = Control("ctl_ok.dll", "ok.ocx");
  std::string fail = Control("ctl_fail.dll", "fail.ocx");
  std::string noEntry = Control("ctl_noentry.dll", "noentry.ocx");
  std::string old = Control("ctl_false.dll", "old.ocx");
  std::string absent = folder + "absent.ocx";
  std::string percent = Control("ctl_ok.dll", "%s%n%d.ocx");

  ChildRun run = RunProgram(
      service, {"-r", ok, "  " + fail + "\t" + noEntry + "  ",
                "<" + old + ">" + ok, "<" + ok + ">" + absent, percent});
  std::vector<std::string> expected = {
      "Register " + ok + " - Success",
      "Register " + fail + " - Failed (" + failNumber + ")",
      "Register " + noEntry + "   - DllRegisterServer enrty point not found",
      "Register " + old + " - Success",
      "Copy " + absent + " - Failed (2)",
      "Register " + ok + " - Success",
      "Register " + percent + " - Success"};
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_EQ(Lines(expected), run.output);
  EXPECT_EQ(expected, LogMessages(ReadWholeFile(LogPath(folder))));
  EXPECT_EQ(Calls("ctl_false") + Calls("ctl_ok"),
            EvidenceWithoutApartment(old));

  // The switch in capitals works; with no list nothing is logged; a longer
  // first argument is no switch.
  run = RunProgram(service, {"-R", ok});
  EXPECT_EQ(Lines({"Register " + ok + " - Success"}), run.output);
  run = RunProgram(service, {"-r"});
  EXPECT_EQ("", run.output);
  run = RunProgram(service, {"-r" + ok});
  EXPECT_EQ(
      "Unknown Switch Usage. For Install use -i, for UnInstall use -u\r\n",
      run.output);
  expected.push_back("Register " + ok + " - Success");
  EXPECT_EQ(expected, LogMessages(ReadWholeFile(LogPath(folder))));
}

}  // namespace
