// The whole library as host code meets it: falkmoor.fll loaded in the
// project's host, its table read row by row in its order, and every
// function called with sensible arguments against what really lies behind
// it under Wine: the registry, the common dialogs driven from a second
// thread, the test printer, stand-in control files and archive libraries,
// the event monitor fed with events and idle turns.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <algorithm>
#include <string>
#include <vector>
#include "fllhost.h"
#include "dialog_driver.h"
#include "test_support.h"

// ---- The table as the host language knows it ---------------------------


static const char printerName[] = "Falkmoor Test PostScript";
static const char printerOutput[] = "C:\\printer\\page.ps";
static const char testKey[] = "Software\\Quorvale\\FalkmoorWholeLibraryTest";
const uint32_t OwnerHostWindow = 51;

// Root keys go to the host as the signed integers their handles are.
static FoxValue CurrentUser()
{
    return FoxInt(int32_t(uintptr_t(HKEY_CURRENT_USER)));
}

// ---- One session for the whole walk -------------------------------------

struct Tour {
    Host *host;
    HWND owner;
    std::string folder;               // a folder of the test's own, ends with '\'
    std::vector<std::string> called;  // every function called, in order
    std::vector<std::string> texts;   // keeps the texts that FoxString points at
};

// What one call answered, copied out of host storage.
struct Answer {
    uint32_t error;
    int results;
    char type;
    int16_t width;
    int32_t integer;
    uint32_t length;
    std::string text;
};

static FoxValue Text(Tour &tour, const std::string &text)
{
    tour.texts.push_back(text);
    return FoxString(tour.texts.back().c_str());
}

static Answer Call(Tour &tour, const char *name, std::initializer_list<FoxValue> arguments)
{
    FoxValue list[MaxParameters] = {};
    int count = 0;
    for (const FoxValue &argument : arguments)
        list[count++] = argument;
    FoxValue result = {};
    SetLastError(0xdeadbeef);
    Answer answer = {};
    answer.error = HostCall(tour.host, name, list, count, &result);
    const HostCallInfo *info = HostLastCall(tour.host);
    EXPECT_TRUE(info->ran) << name << " was not run (error " << answer.error << ")";
    EXPECT_EQ(answer.error, 0u) << name << " raised a host error";
    EXPECT_EQ(info->leakedHandles, 0) << name << " left handles behind";
    answer.results = info->results;
    answer.type = result.type;
    answer.width = result.width;
    answer.integer = result.integer;
    answer.length = result.length;
    if (result.type == 'C' && result.text != nullptr)
        answer.text.assign(result.text, result.length);
    tour.called.push_back(name);
    return answer;
}

// An integer answer of width 10; answers the integer.
static int32_t IntegerOf(const Answer &answer, const char *name)
{
    EXPECT_EQ(answer.results, 1) << name;
    EXPECT_EQ(answer.type, 'I') << name;
    EXPECT_EQ(answer.width, 10) << name;
    return answer.integer;
}

// A logical answer; the host keeps the last result a function sent (some
// send false first and the outcome after).
static void ExpectLogical(const Answer &answer, bool value, const char *name)
{
    EXPECT_GE(answer.results, 1) << name;
    EXPECT_EQ(answer.type, 'L') << name;
    EXPECT_EQ(answer.length, value ? 1u : 0u) << name;
}

// No result sent: the host keeps its default, the logical true.
static void ExpectNoResult(const Answer &answer, const char *name)
{
    EXPECT_EQ(answer.results, 0) << name << " sent a result of type " << answer.type;
}

static FoxValue Variable(Tour &tour, const char *name)
{
    FoxValue value = {};
    EXPECT_TRUE(HostGetVariable(tour.host, name, &value)) << "no variable " << name;
    return value;
}

static FoxValue Property(Tour &tour, uint32_t object, const char *name)
{
    FoxValue value = {};
    EXPECT_TRUE(HostGetPropertyValue(tour.host, object, name, &value)) << "no property " << name;
    return value;
}

static void MakeFile(const std::string &path, const char *content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << ": " << GetLastError();
    DWORD written = 0;
    WriteFile(file, content, DWORD(strlen(content)), &written, nullptr);
    CloseHandle(file);
}

static uint32_t Fire(Tour &tour, uint16_t code, uint32_t key = 0, uint16_t modifiers = 0,
                     uint32_t window = 0)
{
    FoxEvent event = {code, key, modifiers};
    uint32_t handlerResult = 0xdeadbeef;
    EXPECT_EQ(HostFireEvent(tour.host, window, &event, &handlerResult), 0u) << "event " << code;
    return handlerResult;
}

// ---- Small utility functions ---------------------------------------------

static void About(Tour &tour)
{
    int before = HostDialogCount(tour.host);
    ExpectNoResult(Call(tour, "fkAbout", {}), "fkAbout");
    ASSERT_EQ(HostDialogCount(tour.host), before + 1) << "one about box asked for";
    const HostDialogRecord *dialog = HostDialogAt(tour.host, before);
    EXPECT_EQ(dialog->kind, 7u);
    EXPECT_EQ(dialog->buttons, 1);
    EXPECT_STREQ(dialog->labels[0], "OK");
    std::string text = dialog->text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << "three lines: \"" << text << "\"";
}

static void Version(Tour &tour)
{
    EXPECT_EQ(IntegerOf(Call(tour, "fkGetFLLVersion", {}), "fkGetFLLVersion"), 2030);
}

static void ActivityCount(Tour &tour)
{
    int32_t start = IntegerOf(Call(tour, "fkGetActivityCount", {}), "count");
    EXPECT_EQ(IntegerOf(Call(tour, "fkGetActivityCount", {}), "count"), start)
        << "asked without a value, the count stays";
    EXPECT_EQ(IntegerOf(Call(tour, "fkGetActivityCount", {FoxLogical(true)}), "count"), start + 1)
        << "asked with any value, the count goes up first";
    Fire(tour, 11);
    EXPECT_EQ(IntegerOf(Call(tour, "fkGetActivityCount", {}), "count"), start + 2)
        << "event 11 counts as activity";
}

static void IsPath(Tour &tour)
{
    MakeFile(tour.folder + "note.txt", "a file, not a folder");
    ExpectLogical(Call(tour, "fkIsPath", {Text(tour, tour.folder)}), true, "folder");
    ExpectLogical(Call(tour, "fkIsPath", {Text(tour, tour.folder + "note.txt")}), false, "file");
    ExpectLogical(Call(tour, "fkIsPath", {Text(tour, tour.folder + "nothing")}), false, "missing");
}

static void AddProperty(Tour &tour)
{
    uint32_t object = HostNewObject(tour.host);
    ExpectNoResult(Call(tour, "fkAddProperty", {FoxObject(object), FoxString("lReviewed")}),
                   "fkAddProperty");
    FoxValue added = Property(tour, object, "lReviewed");
    EXPECT_EQ(added.type, 'L');
    EXPECT_EQ(added.length, 0u) << "a new property starts false";
}

static void UserName(Tour &tour)
{
    char expected[256] = "";
    DWORD size = sizeof expected;
    ASSERT_TRUE(GetUserNameA(expected, &size)) << GetLastError();
    Answer answer = Call(tour, "fkGetUserName", {FoxString("unused")});
    EXPECT_EQ(answer.type, 'C');
    EXPECT_EQ(answer.text, expected) << "the name of the user running the host";
}

static void FieldInfo(Tour &tour)
{
    HostSetVariable(tour.host, "nWidth", FoxLogical(false));
    HostSetVariable(tour.host, "nDecimals", FoxLogical(false));
    Answer text = Call(tour, "fkFieldInfo", {FoxString("abcde"), FoxRef("nWidth"), FoxRef("nDecimals")});
    EXPECT_EQ(text.text, "C");
    EXPECT_EQ(Variable(tour, "nWidth").integer, 5) << "a text's length";
    EXPECT_EQ(Variable(tour, "nDecimals").type, 'L') << "left alone for a text";
    Answer number = Call(tour, "fkFieldInfo", {FoxNumber(3.25, 8, 2), FoxRef("nWidth"), FoxRef("nDecimals")});
    EXPECT_EQ(number.text, "N");
    EXPECT_EQ(Variable(tour, "nWidth").integer, 8);
    EXPECT_EQ(Variable(tour, "nDecimals").integer, 2);
}

// ---- Scrambling ----------------------------------------------------------

static void Encrypt(Tour &tour)
{
    const std::string plain = "Ledger of 2030";
    Answer scrambled = Call(tour, "fkEncrypt", {Text(tour, plain), FoxString("moor")});
    EXPECT_EQ(scrambled.type, 'C');
    ASSERT_EQ(scrambled.text.size(), plain.size());
    EXPECT_NE(scrambled.text, plain);
    Answer back = Call(tour, "fkEncrypt", {FoxBytes(scrambled.text.data(), uint32_t(scrambled.text.size())),
                                           FoxString("moor")});
    EXPECT_EQ(back.text, plain) << "the same key unscrambles";
    // A memo field scrambles alike and stays as it was.
    HostOpenTable(tour.host, 2);
    HostSetMemo(tour.host, 2, "notes", plain.data(), uint32_t(plain.size()));
    Answer memo = Call(tour, "fkEncrypt", {FoxField(2, "notes"), FoxString("moor")});
    EXPECT_EQ(memo.text, scrambled.text);
    FoxValue field = {};
    ASSERT_TRUE(HostGetMemo(tour.host, 2, "notes", &field));
    EXPECT_EQ(std::string(field.text, field.length), plain);
}

// ---- File dialogs ----------------------------------------------------------

static void KeepCaption(HWND dialog, const Step *step, void *context)
{
    if (step == nullptr)
        GetWindowTextA(dialog, static_cast<char *>(context), 128);
}

// Calls a dialog function with the driver at the dialog.
static Answer WithPerson(Tour &tour, const char *function, std::initializer_list<FoxValue> arguments,
                         const Step *steps, int stepCount, std::string *caption)
{
    char seen[128] = "";
    DialogDriver driver;
    EXPECT_TRUE(StartDialogDriver(&driver, GetCurrentThreadId(), steps, stepCount, KeepCaption, seen));
    Answer answer = Call(tour, function, arguments);
    FinishDialogDriver(&driver);
    EXPECT_TRUE(driver.found) << function << ": no dialog came up";
    EXPECT_TRUE(driver.closed) << function << ": the dialog did not close on the press";
    *caption = seen;
    return answer;
}

static void SaveAsDialog(Tour &tour)
{
    std::string chosen = tour.folder + "ledger.txt";
    const Step steps[] = {{PickType, nullptr, 1}, {TypeName, chosen.c_str(), 0}, {Press, nullptr, IDOK}};
    HostSetVariable(tour.host, "nType", FoxInt(1));
    std::string caption;
    Answer answer = WithPerson(tour, "fkSaveAsDialog",
                               {Text(tour, tour.folder + "draft.txt"),
                                FoxString("Text files:*.txt|All files:*.*"), FoxRef("nType"),
                                FoxInt(0), FoxString("Save the ledger")},
                               steps, 3, &caption);
    EXPECT_EQ(answer.type, 'C');
    EXPECT_EQ(answer.text, chosen);
    EXPECT_EQ(caption, "Save the ledger");
    FoxValue type = Variable(tour, "nType");
    EXPECT_EQ(type.type == 'I' ? type.integer : int32_t(type.number), 2)
        << "the file type picked comes back through the reference";
}

static void OpenDialog(Tour &tour)
{
    MakeFile(tour.folder + "a.txt", "open me");
    std::string chosen = tour.folder + "a.txt";
    const Step open[] = {{TypeName, chosen.c_str(), 0}, {Press, nullptr, IDOK}};
    std::string caption;
    Answer answer = WithPerson(tour, "fkOpenDialog", {Text(tour, tour.folder)}, open, 2, &caption);
    EXPECT_EQ(answer.text, chosen);
    EXPECT_EQ(caption, "Open");
    const Step cancel[] = {{Press, nullptr, IDCANCEL}};
    answer = WithPerson(tour, "fkOpenDialog", {}, cancel, 1, &caption);
    EXPECT_EQ(answer.type, 'C');
    EXPECT_EQ(answer.text, "") << "a cancel answers the empty text";
}

// ---- Event monitor and callback timer --------------------------------------

// A timer object as the application makes one, registered with watch mask
// 0 after a cancel, so that nothing left pending from before is delivered.
static uint32_t FreshTimer(Tour &tour)
{
    ExpectNoResult(Call(tour, "fkCancelCallbackTimer", {}), "fkCancelCallbackTimer");
    uint32_t timer = HostNewObject(tour.host);
    HostSetPropertyValue(tour.host, timer, "nReasonMask", FoxInt(0));
    HostSetPropertyValue(tour.host, timer, "Enabled", FoxLogical(false));
    ExpectNoResult(Call(tour, "fkSetCallbackTimer", {FoxObject(timer), FoxInt(0)}), "register");
    return timer;
}

// One idle turn; answers what it delivered, and takes the delivery as the
// application's timer code does.
static int32_t Delivered(Tour &tour, uint32_t timer)
{
    EXPECT_EQ(HostFireIdle(tour.host), 0u);
    FoxValue mask = Property(tour, timer, "nReasonMask");
    FoxValue enabled = Property(tour, timer, "Enabled");
    EXPECT_EQ(enabled.length, mask.integer != 0 ? 1u : 0u) << "the timer is enabled with a delivery";
    HostSetPropertyValue(tour.host, timer, "nReasonMask", FoxInt(0));
    HostSetPropertyValue(tour.host, timer, "Enabled", FoxLogical(false));
    return mask.integer;
}

static void TriggerCallback(Tour &tour)
{
    uint32_t timer = FreshTimer(tour);
    ExpectNoResult(Call(tour, "fkTriggerCallback", {FoxInt(0x40)}), "fkTriggerCallback");
    EXPECT_EQ(Delivered(tour, timer), 0x40);
    EXPECT_EQ(Delivered(tour, timer), 0) << "delivered once";
    // Armed, a click raises reason 1; disarmed, it does not.
    Call(tour, "fkTriggerCallback", {FoxInt(-1), FoxInt(1)});
    Fire(tour, 9);
    EXPECT_EQ(Delivered(tour, timer), 0x01);
    Call(tour, "fkTriggerCallback", {FoxInt(-1), FoxInt(0)});
    Fire(tour, 9);
    EXPECT_EQ(Delivered(tour, timer), 0);
    Call(tour, "fkCancelCallbackTimer", {});
}

static void MouseTrap(Tour &tour)
{
    EXPECT_EQ(IntegerOf(Call(tour, "fkSetMouseTrap", {FoxInt(200)}), "set"), -56)
        << "the mask is read back as a signed byte";
    EXPECT_EQ(IntegerOf(Call(tour, "fkSetMouseTrap", {FoxInt(-1)}), "query"), -56);
    EXPECT_EQ(IntegerOf(Call(tour, "fkSetMouseTrap", {FoxInt(0)}), "clear"), 0);
}

static void SetCallbackTimer(Tour &tour)
{
    uint32_t timer = FreshTimer(tour);
    EXPECT_EQ(HostObjectReferences(tour.host, timer), 1) << "the library holds the object";
    Call(tour, "fkSetCallbackTimer", {FoxObject(timer), FoxInt(0)});
    EXPECT_EQ(HostObjectReferences(tour.host, timer), 1) << "a second call only sets the mask";
    Call(tour, "fkTriggerCallback", {FoxInt(3)});
    EXPECT_EQ(Delivered(tour, timer), 3);
    Call(tour, "fkCancelCallbackTimer", {});
}

static void CancelCallbackTimer(Tour &tour)
{
    uint32_t timer = FreshTimer(tour);
    ExpectNoResult(Call(tour, "fkCancelCallbackTimer", {}), "fkCancelCallbackTimer");
    EXPECT_EQ(HostObjectReferences(tour.host, timer), 0) << "the object is released";
    Call(tour, "fkTriggerCallback", {FoxInt(2)});
    EXPECT_EQ(Delivered(tour, timer), 0) << "nothing reaches a cancelled timer";
}

static void KeyModifier(Tour &tour)
{
    Fire(tour, 17, 65, 0x3000);
    EXPECT_EQ(IntegerOf(Call(tour, "fkKeyModifier", {}), "both"), 3);
    EXPECT_EQ(IntegerOf(Call(tour, "fkKeyModifier", {}), "again"), 3) << "read, not cleared";
    Fire(tour, 17, 66, 0x1000);
    EXPECT_EQ(IntegerOf(Call(tour, "fkKeyModifier", {}), "shift"), 1);
    Fire(tour, 17, 66, 0);
}

static void LastKey(Tour &tour)
{
    Fire(tour, 17, 65);
    EXPECT_EQ(IntegerOf(Call(tour, "fkLastKey", {}), "key"), 65);
    Fire(tour, 13);
    EXPECT_EQ(IntegerOf(Call(tour, "fkLastKey", {}), "mouse 13"), -3);
}

// ---- Confirmation prompt ---------------------------------------------------

// A window as wide as the narrower of the host's confirmation dialogs.
static HWND ConfirmStandIn()
{
    return CreateWindowExA(0, "STATIC", "Own caption", WS_POPUP | WS_CAPTION | WS_VISIBLE, 300, 200,
                           253, 150, nullptr, nullptr, nullptr, nullptr);
}

static void ConfirmPrompt(Tour &tour)
{
    HWND dialog = ConfirmStandIn();
    ASSERT_NE(dialog, nullptr);
    HostRegisterWindow(tour.host, 61, dialog);
    ExpectNoResult(Call(tour, "fkSetConfirmPrompt", {FoxString("Close the ledger?"),
                                                      FoxString("Unsaved entries are lost.")}),
                   "fkSetConfirmPrompt");
    Fire(tour, 1, 0, 0, 61);
    char caption[128] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    RECT outer;
    GetWindowRect(dialog, &outer);
    EXPECT_STREQ(caption, "Close the ledger?");
    EXPECT_EQ(outer.right - outer.left, 320);
    EXPECT_EQ(outer.left, 280) << "moved 20 pixels to the left";
    // Armed for one dialog only.
    HWND second = ConfirmStandIn();
    HostRegisterWindow(tour.host, 62, second);
    Fire(tour, 1, 0, 0, 62);
    GetWindowTextA(second, caption, sizeof caption);
    EXPECT_STREQ(caption, "Own caption");
    DestroyWindow(dialog);
    DestroyWindow(second);
}

// ---- Archives, with the project's stand-in archive libraries ---------------

static void Archives(Tour &tour)
{
    char standIns[MAX_PATH];
    ASSERT_TRUE(HostPathBesideProgram("archive", standIns, sizeof standIns));
    ASSERT_TRUE(SetDllDirectoryA(standIns));
    SetEnvironmentVariableA("ARCHIVE_STANDIN_RESULT", "17");
    std::string archive = tour.folder + "ledger.zip";
    EXPECT_EQ(IntegerOf(Call(tour, "fkZip", {Text(tour, archive), Text(tour, tour.folder + "*.txt")}),
                        "fkZip"),
              17)
        << "the archive library's own answer";
    SetEnvironmentVariableA("ARCHIVE_STANDIN_RESULT", "4");
    EXPECT_EQ(IntegerOf(Call(tour, "fkUnZip", {Text(tour, archive), FoxString(""),
                                               Text(tour, tour.folder + "out")}),
                        "fkUnZip"),
              4);
    // Without the archive libraries: -1.
    ASSERT_TRUE(SetDllDirectoryA(""));
    EXPECT_EQ(IntegerOf(Call(tour, "fkZip", {Text(tour, archive), FoxString("x")}), "no dzip"), -1);
    EXPECT_EQ(IntegerOf(Call(tour, "fkUnZip", {Text(tour, archive), FoxString(""), FoxString("y")}),
                        "no dunzip"),
              -1);
    SetDllDirectoryA(nullptr);
    SetEnvironmentVariableA("ARCHIVE_STANDIN_RESULT", nullptr);
}

// ---- Printing: one whole job on the test printer ---------------------------

static void PrintJob(Tour &tour)
{
    DeleteFileA(printerOutput);
    uint32_t settings = HostNewObject(tour.host);
    HostSetPropertyValue(tour.host, settings, "nCopies", FoxInt(1));
    HostSetPropertyValue(tour.host, settings, "lCollate", FoxLogical(false));
    HostSetPropertyValue(tour.host, settings, "nPapersize", FoxInt(DMPAPER_A4));
    HostSetPropertyValue(tour.host, settings, "nPaperBin", FoxInt(DMBIN_AUTO));
    HostSetPropertyValue(tour.host, settings, "nOrientation", FoxInt(DMORIENT_PORTRAIT));
    HostSetPropertyValue(tour.host, settings, "nDuplex", FoxInt(DMDUP_SIMPLEX));
    HostSetPropertyValue(tour.host, settings, "nQuality", FoxInt(300));
    HostSetPropertyValue(tour.host, settings, "nColor", FoxInt(DMCOLOR_COLOR));
    int32_t context = IntegerOf(Call(tour, "fkPrinterOpen", {FoxString(printerName), FoxObject(settings)}),
                                "fkPrinterOpen");
    ASSERT_NE(context, 0) << "no device context for " << printerName;
    HDC dc = reinterpret_cast<HDC>(uintptr_t(uint32_t(context)));
    EXPECT_GT(IntegerOf(Call(tour, "fkPrinterStartDoc", {FoxInt(context), FoxString("Whole library")}),
                        "fkPrinterStartDoc"),
              0);
    StartPage(dc);
    TextOutA(dc, 300, 300, "Whole library", 13);
    EndPage(dc);
    EXPECT_GT(IntegerOf(Call(tour, "fkPrinterEndDoc", {FoxInt(context)}), "fkPrinterEndDoc"), 0);
    EXPECT_NE(IntegerOf(Call(tour, "fkPrinterClose", {FoxInt(context)}), "fkPrinterClose"), 0);
    std::string job = ReadFileText(printerOutput);
    EXPECT_EQ(job.compare(0, 4, "%!PS"), 0) << "PostScript in " << printerOutput;
    EXPECT_NE(ShownText(job).find("Whole library"), std::string::npos) << ShownText(job);
    // The context is gone: a second close fails.
    EXPECT_EQ(IntegerOf(Call(tour, "fkPrinterClose", {FoxInt(context)}), "closed twice"), 0);
}

// ---- Control registration, with the user's own rights ----------------------

static void Controls(Tour &tour)
{
    char fixture[MAX_PATH];
    ASSERT_TRUE(HostPathBesideProgram("ctl_ok.dll", fixture, sizeof fixture));
    std::string control = tour.folder + "ctl_ok.dll";
    ASSERT_TRUE(CopyFileA(fixture, control.c_str(), FALSE)) << GetLastError();
    ExpectLogical(Call(tour, "fkRegisterControl", {Text(tour, control)}), true, "register");
    ExpectLogical(Call(tour, "fkUnregisterControl", {Text(tour, control)}), true, "unregister");
    std::string evidence = ReadFileText((control + ".evidence").c_str());
    EXPECT_NE(evidence.find("DllRegisterServer ctl_ok"), std::string::npos) << evidence;
    EXPECT_NE(evidence.find("DllUnregisterServer ctl_ok"), std::string::npos) << evidence;
    ExpectLogical(Call(tour, "fkRegisterControl", {Text(tour, tour.folder + "none.ocx")}), false,
                  "missing control");
}

// ---- Registry, under a test key of the current user -------------------------

static std::string Path(const char *rest)
{
    return std::string(testKey) + "\\" + rest;
}

// The value as the registry holds it: type and bytes; type 0 when absent.
static DWORD Stored(const char *subkey, const char *name, std::string *bytes)
{
    HKEY key;
    bytes->clear();
    if (RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(testKey) + subkey).c_str(), 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return 0;
    char data[256];
    DWORD type = 0, size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &size) != ERROR_SUCCESS)
        type = 0;
    else
        bytes->assign(data, size);
    RegCloseKey(key);
    return type;
}

static void Put(const char *subkey, const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(testKey) + subkey).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

static void RegDeleteKey(Tour &tour)
{
    Put("\\Old\\Older", "Left", REG_SZ, "x", 2);
    ExpectNoResult(Call(tour, "fkRegDeleteKey", {CurrentUser(), Text(tour, Path("Old"))}), "delete key");
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Path("Old").c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
        << "the key goes with everything under it";
    ExpectLogical(Call(tour, "fkRegDeleteKey", {CurrentUser(), Text(tour, Path("Old"))}), false,
                  "delete a missing key");
}

static void RegDeleteValue(Tour &tour)
{
    DWORD one = 1;
    Put("", "Doomed", REG_DWORD, &one, 4);
    ExpectNoResult(Call(tour, "fkRegDeleteValue", {CurrentUser(), Text(tour, Path("Doomed"))}), "delete");
    std::string bytes;
    EXPECT_EQ(Stored("", "Doomed", &bytes), 0u) << "the value is gone";
    ExpectLogical(Call(tour, "fkRegDeleteValue", {CurrentUser(), Text(tour, Path(""))}), false,
                  "an empty value name");
}

static void RegGetValue(Tour &tour)
{
    DWORD seven = 7;
    Put("", "Reader", REG_SZ, "Grace", 6);
    Put("", "Pages", REG_DWORD, &seven, 4);
    HostSetVariable(tour.host, "cValue", FoxLogical(false));
    ExpectNoResult(Call(tour, "fkRegGetValue", {CurrentUser(), Text(tour, Path("Reader")), FoxRef("cValue")}),
                   "text");
    FoxValue text = Variable(tour, "cValue");
    EXPECT_EQ(text.type, 'C');
    EXPECT_EQ(std::string(text.text, text.length), "Grace");
    ExpectNoResult(Call(tour, "fkRegGetValue", {CurrentUser(), Text(tour, Path("Pages")), FoxRef("cValue")}),
                   "integer");
    EXPECT_EQ(Variable(tour, "cValue").type, 'I');
    EXPECT_EQ(Variable(tour, "cValue").integer, 7);
    ExpectLogical(Call(tour, "fkRegGetValue", {CurrentUser(), Text(tour, Path("Absent")), FoxRef("cValue")}),
                  false, "a missing value");
}

static void RegSetString(Tour &tour)
{
    ExpectNoResult(Call(tour, "fkRegSetString", {CurrentUser(), Text(tour, Path("Made\\Writer")),
                                                 FoxString("Ada")}),
                   "fkRegSetString");
    std::string bytes;
    EXPECT_EQ(Stored("\\Made", "Writer", &bytes), DWORD(REG_SZ));
    EXPECT_EQ(bytes, std::string("Ada", 4)) << "the text and its terminating zero";
}

static void RegSetInteger(Tour &tour)
{
    ExpectNoResult(Call(tour, "fkRegSetInteger", {CurrentUser(), Text(tour, Path("Made\\Count")), FoxInt(-2)}),
                   "fkRegSetInteger");
    std::string bytes;
    EXPECT_EQ(Stored("\\Made", "Count", &bytes), DWORD(REG_DWORD));
    EXPECT_EQ(bytes, std::string("\xfe\xff\xff\xff", 4));
}

static void RegSetBinaryString(Tour &tour)
{
    ExpectNoResult(Call(tour, "fkRegSetBinaryString", {CurrentUser(), Text(tour, Path("Made\\Blob")),
                                                       FoxBytes("a\0b", 3)}),
                   "fkRegSetBinaryString");
    std::string bytes;
    EXPECT_EQ(Stored("\\Made", "Blob", &bytes), DWORD(REG_BINARY));
    EXPECT_EQ(bytes, std::string("a\0b", 3)) << "exactly the bytes, no terminator";
}

// ---- The walk ----------------------------------------------------------------

typedef void (*Exercise)(Tour &tour);

// Which exercise calls each function; one exercise may serve several rows
// (a print job needs all four printing functions).
struct Coverage {
    const char *name;
    Exercise exercise;
};

static const Coverage coverage[] = {
    {"fkAbout", About},
    {"fkGetFLLVersion", Version},
    {"fkGetActivityCount", ActivityCount},
    {"fkIsPath", IsPath},
    {"fkAddProperty", AddProperty},
    {"fkSaveAsDialog", SaveAsDialog},
    {"fkOpenDialog", OpenDialog},
    {"fkTriggerCallback", TriggerCallback},
    {"fkSetMouseTrap", MouseTrap},
    {"fkSetCallbackTimer", SetCallbackTimer},
    {"fkCancelCallbackTimer", CancelCallbackTimer},
    {"fkEncrypt", Encrypt},
    {"fkGetUserName", UserName},
    {"fkFieldInfo", FieldInfo},
    {"fkRegDeleteKey", RegDeleteKey},
    {"fkRegDeleteValue", RegDeleteValue},
    {"fkRegGetValue", RegGetValue},
    {"fkRegSetString", RegSetString},
    {"fkRegSetInteger", RegSetInteger},
    {"fkRegSetBinaryString", RegSetBinaryString},
    {"fkKeyModifier", KeyModifier},
    {"fkLastKey", LastKey},
    {"fkSetConfirmPrompt", ConfirmPrompt},
    {"fkZip", Archives},
    {"fkUnZip", Archives},
    {"fkPrinterOpen", PrintJob},
    {"fkPrinterClose", PrintJob},
    {"fkPrinterStartDoc", PrintJob},
    {"fkPrinterEndDoc", PrintJob},
    {"fkRegisterControl", Controls},
    {"fkUnregisterControl", Controls},
};

static Exercise ExerciseFor(const char *name)
{
    for (const Coverage &c : coverage)
        if (strcmp(c.name, name) == 0)
            return c.exercise;
    return nullptr;
}

static void CountService(Host *, HostRequest *, void *context)
{
    ++*static_cast<int *>(context);
}

class WholeLibrary : public ::testing::Test {
protected:
    Tour tour = {};

    static void SetUpTestSuite()
    {
        // The test printer is made on a fresh prefix and kept when it is there.
        ASSERT_EQ(RunBeside("testprinter.exe", printerOutput), 0);
    }
    void SetUp() override
    {
        char path[MAX_PATH];
        ASSERT_TRUE(HostPathBesideProgram("falkmoor.fll", path, sizeof path));
        tour.host = HostOpen(path);
        ASSERT_NE(tour.host, nullptr) << HostOpenError();
        tour.owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                     nullptr, nullptr, nullptr);
        HostRegisterWindow(tour.host, OwnerHostWindow, tour.owner);
        HostSetOwnerWindow(tour.host, OwnerHostWindow);
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        tour.folder = std::string(temp) + "fk-whole-library-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(tour.folder.c_str(), nullptr);
        RegDeleteTreeA(HKEY_CURRENT_USER, testKey);
    }
    void TearDown() override
    {
        if (tour.host != nullptr) {
            EXPECT_EQ(HostClose(tour.host), 0) << "handles leaked over the session";
        }
        if (tour.owner != nullptr)
            DestroyWindow(tour.owner);
        RegDeleteTreeA(HKEY_CURRENT_USER, testKey);
        const char *made[] = {"note.txt", "a.txt", "ledger.txt", "ctl_ok.dll", "ctl_ok.dll.evidence"};
        for (const char *name : made)
            DeleteFileA((tour.folder + name).c_str());
        RemoveDirectoryA(tour.folder.c_str());
    }
};

TEST_F(WholeLibrary, Table)
{
    const LibraryTable *table = HostTable(tour.host);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->next, nullptr);
    ASSERT_EQ(table->count, expectedLibraryRowCount);
    for (int i = 0; i < expectedLibraryRowCount; i++) {
        const FunctionEntry &row = table->entries[i];
        EXPECT_STREQ(row.name, expectedLibraryRows[i].name) << "row " << i + 1;
        EXPECT_EQ(row.parameterCount, expectedLibraryRows[i].count) << row.name;
        EXPECT_STREQ(row.signature, expectedLibraryRows[i].signature) << row.name;
        EXPECT_NE(row.function, nullptr) << row.name;
    }
}

// Every row in table order: its function called through the host and its
// answers checked; then the unload row, as the host runs it at release.
TEST_F(WholeLibrary, EveryFunction)
{
    const LibraryTable *table = HostTable(tour.host);
    ASSERT_NE(table, nullptr);
    std::vector<Exercise> done;
    for (int i = 0; i < table->count; i++) {
        const FunctionEntry &row = table->entries[i];
        if (row.parameterCount < 0)
            continue;
        Exercise exercise = ExerciseFor(row.name);
        ASSERT_NE(exercise, nullptr) << row.name << " has no exercise";
        if (std::find(done.begin(), done.end(), exercise) != done.end())
            continue;
        SCOPED_TRACE(row.name);
        exercise(tour);
        done.push_back(exercise);
    }
    for (int i = 0; i < table->count; i++) {
        const FunctionEntry &row = table->entries[i];
        if (row.parameterCount >= 0) {
            EXPECT_NE(std::find(tour.called.begin(), tour.called.end(), row.name), tour.called.end())
                << row.name << " was never called";
        }
    }

    // The load row ran when the library was loaded: one handler of each
    // kind; the unload row removes both and releases the timer object.
    EXPECT_EQ(HostEventHandlers(tour.host), 1);
    EXPECT_EQ(HostIdleHandlers(tour.host), 1);
    uint32_t timer = FreshTimer(tour);
    int cleared = 0, released = 0;
    HostSetServiceHook(tour.host, ServiceClearEventHandler, CountService, &cleared);
    HostSetServiceHook(tour.host, ServiceClearIdleHandler, CountService, &cleared);
    HostSetServiceHook(tour.host, ServiceObjectRelease, CountService, &released);
    EXPECT_EQ(HostObjectReferences(tour.host, timer), 1);
    EXPECT_EQ(HostClose(tour.host), 0) << "handles leaked over the session";
    tour.host = nullptr;
    EXPECT_EQ(cleared, 2) << "both handlers removed at unload";
    EXPECT_EQ(released, 1) << "the timer object released at unload";
}
