// fktour.exe FOLDER: loads falkmoor.fll (found beside this program) in the
// project's host and calls one function of each kind as host code would,
// printing each call and what came back. It needs no one at the screen:
// the save dialog is answered by the dialog driver, which types
// FOLDER\ledger.txt and presses Save.
//
// What it touches, and leaves as it found it: the registry key
// HKEY_CURRENT_USER\Software\FalkmoorDemo (made, read, deleted), the
// control file FOLDER\sample.ocx (registered and unregistered with the
// user's own rights; the stand-in control writes FOLDER\sample.ocx.evidence).
// The archive libraries are not part of the system and are not looked for
// elsewhere, so fkZip answers -1 here.
//
// Exit code 0 when every answer was the expected one, 1 otherwise.
#include <stdio.h>
#include <string.h>
#include "fllhost.h"
#include "dialog_driver.h"

static Host *host;
static int surprises;

static void Heading(const char *kind)
{
    printf("\n-- %s\n", kind);
}

// Prints text in quotes, bytes outside printable ASCII as \xNN.
static void PrintText(const char *text, uint32_t length)
{
    putchar('"');
    for (uint32_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 32 && c < 127 && c != '"')
            putchar(c);
        else
            printf("\\x%02X", c);
    }
    putchar('"');
}

// Prints a value as the host language shows it.
static void PrintValue(const FoxValue &value)
{
    if (value.type == 'C')
        PrintText(value.text != nullptr ? value.text : "", value.length);
    else if (value.type == 'L')
        printf("%s", value.length != 0 ? ".T." : ".F.");
    else if (value.type == 'I')
        printf("%d", value.integer);
    else
        printf("(type %c)", value.type != 0 ? value.type : '?');
}

// Calls a function, prints "shown = result" and answers the result (the
// logical true, the host's default, when the function sent none).
static FoxValue Call(const char *shown, const char *name, const FoxValue *args, int count)
{
    FoxValue result = {};
    uint32_t error = HostCall(host, name, args, count, &result);
    printf("%s = ", shown);
    if (HostLastCall(host)->results == 0)
        printf("(no result)");
    else
        PrintValue(result);
    if (error != 0) {
        printf("  host error %u", error);
        surprises++;
    }
    printf("\n");
    return result;
}

static void Expect(bool held, const char *what)
{
    if (!held) {
        printf("   unexpected: %s\n", what);
        surprises++;
    }
}

static FoxValue Property(uint32_t object, const char *name)
{
    FoxValue value = {};
    HostGetPropertyValue(host, object, name, &value);
    return value;
}

static void Utility(const char *folder)
{
    Heading("small utility functions");
    FoxValue version = Call("fkGetFLLVersion()", "fkGetFLLVersion", nullptr, 0);
    Expect(version.integer == 2030, "version 2030");
    FoxValue path = FoxString(folder);
    char shown[MAX_PATH + 32];
    snprintf(shown, sizeof shown, "fkIsPath(\"%s\")", folder);
    Expect(Call(shown, "fkIsPath", &path, 1).length == 1, "the folder is a folder");
    FoxValue unused = FoxString("");
    Call("fkGetUserName(\"\")", "fkGetUserName", &unused, 1);
}

static void Registry()
{
    Heading("registry (HKEY_CURRENT_USER\\Software\\FalkmoorDemo)");
    FoxValue root = FoxInt(int32_t(uintptr_t(HKEY_CURRENT_USER)));
    FoxValue set[3] = {root, FoxString("Software\\FalkmoorDemo\\Greeting"), FoxString("Hello, ledger")};
    Call("fkRegSetString(HKCU, \"Software\\FalkmoorDemo\\Greeting\", \"Hello, ledger\")", "fkRegSetString",
         set, 3);
    HostSetVariable(host, "cGreeting", FoxString(""));
    FoxValue get[3] = {root, FoxString("Software\\FalkmoorDemo\\Greeting"), FoxRef("cGreeting")};
    Call("fkRegGetValue(HKCU, \"Software\\FalkmoorDemo\\Greeting\", @cGreeting)", "fkRegGetValue", get, 3);
    FoxValue greeting = {};
    HostGetVariable(host, "cGreeting", &greeting);
    printf("   cGreeting = ");
    PrintValue(greeting);
    printf("\n");
    Expect(greeting.type == 'C' && greeting.length == 13 && memcmp(greeting.text, "Hello, ledger", 13) == 0,
           "the greeting read back");
    FoxValue remove[2] = {root, FoxString("Software\\FalkmoorDemo")};
    Call("fkRegDeleteKey(HKCU, \"Software\\FalkmoorDemo\")", "fkRegDeleteKey", remove, 2);
    HKEY key;
    Expect(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\FalkmoorDemo", 0, KEY_READ, &key) != ERROR_SUCCESS,
           "the key is gone");
}

static void Scrambling()
{
    Heading("scrambling");
    FoxValue args[2] = {FoxString("Ledger 2030"), FoxString("moor")};
    FoxValue scrambled = Call("fkEncrypt(\"Ledger 2030\", \"moor\")", "fkEncrypt", args, 2);
    char copy[64] = "";
    uint32_t length = scrambled.length < sizeof copy ? scrambled.length : 0;
    memcpy(copy, scrambled.text, length);
    FoxValue back[2] = {FoxBytes(copy, length), FoxString("moor")};
    FoxValue plain = Call("fkEncrypt(that, \"moor\")", "fkEncrypt", back, 2);
    Expect(plain.length == 11 && memcmp(plain.text, "Ledger 2030", 11) == 0, "the same key unscrambles");
}

static void Archive(const char *folder)
{
    Heading("archive (dzip32.dll is not part of the system: -1 without it)");
    char archive[MAX_PATH + 16], files[MAX_PATH + 16];
    snprintf(archive, sizeof archive, "%s\\ledger.zip", folder);
    snprintf(files, sizeof files, "%s\\*.txt", folder);
    SetDllDirectoryA("");
    FoxValue args[2] = {FoxString(archive), FoxString(files)};
    Expect(Call("fkZip(\"ledger.zip\", \"*.txt\")", "fkZip", args, 2).integer == -1, "-1 without dzip32.dll");
    SetDllDirectoryA(nullptr);
}

static void Controls(const char *folder)
{
    Heading("control registration with the user's own rights");
    char control[MAX_PATH + 16];
    snprintf(control, sizeof control, "%s\\sample.ocx", folder);
    FoxValue arg = FoxString(control);
    Expect(Call("fkRegisterControl(\"sample.ocx\")", "fkRegisterControl", &arg, 1).length == 1, "registered");
    Expect(Call("fkUnregisterControl(\"sample.ocx\")", "fkUnregisterControl", &arg, 1).length == 1,
           "unregistered");
}

static void Monitor()
{
    Heading("event monitor and callback timer");
    uint32_t timer = HostNewObject(host);
    HostSetPropertyValue(host, timer, "nReasonMask", FoxInt(0));
    HostSetPropertyValue(host, timer, "Enabled", FoxLogical(false));
    FoxValue reg[2] = {FoxObject(timer), FoxInt(0)};
    Call("fkSetCallbackTimer(oTimer, 0)", "fkSetCallbackTimer", reg, 2);
    FoxValue reasons = FoxInt(5);
    Call("fkTriggerCallback(5)", "fkTriggerCallback", &reasons, 1);
    HostFireIdle(host);
    FoxValue mask = Property(timer, "nReasonMask"), enabled = Property(timer, "Enabled");
    printf("   after an idle turn: oTimer.nReasonMask = %d, oTimer.Enabled = %s\n", mask.integer,
           enabled.length != 0 ? ".T." : ".F.");
    Expect(mask.integer == 5 && enabled.length == 1, "reasons 5 delivered");
    FoxEvent key = {17, 65, 0x1000};
    HostFireEvent(host, 0, &key, nullptr);
    printf("   a key event: key 65 with Shift\n");
    Expect(Call("fkLastKey()", "fkLastKey", nullptr, 0).integer == 65, "last key 65");
    Expect(Call("fkKeyModifier()", "fkKeyModifier", nullptr, 0).integer == 1, "Shift");
    Call("fkGetActivityCount()", "fkGetActivityCount", nullptr, 0);
    Call("fkCancelCallbackTimer()", "fkCancelCallbackTimer", nullptr, 0);
}

static void ConfirmPrompt()
{
    Heading("confirmation prompt");
    FoxValue args[2] = {FoxString("Close the ledger?"), FoxString("Unsaved entries are lost.")};
    Call("fkSetConfirmPrompt(\"Close the ledger?\", \"Unsaved entries are lost.\")", "fkSetConfirmPrompt",
         args, 2);
    // A window as wide as the host's narrower confirmation dialog stands in
    // for it when the host announces the dialog (event 1).
    HWND dialog = CreateWindowExA(0, "STATIC", "Microsoft Visual FoxPro", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                  300, 200, 253, 150, nullptr, nullptr, nullptr, nullptr);
    HostRegisterWindow(host, 30, dialog);
    FoxEvent opened = {1, 0, 0};
    HostFireEvent(host, 30, &opened, nullptr);
    char caption[128] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    RECT outer;
    GetWindowRect(dialog, &outer);
    printf("   the dialog when it opens: caption \"%s\", %ld pixels wide (was 253)\n", caption,
           outer.right - outer.left);
    Expect(strcmp(caption, "Close the ledger?") == 0 && outer.right - outer.left == 320, "prompt applied");
    DestroyWindow(dialog);
}

static void FileDialog(const char *folder)
{
    Heading("file dialog, answered by the dialog driver");
    char chosen[MAX_PATH + 16];
    snprintf(chosen, sizeof chosen, "%s\\ledger.txt", folder);
    const Step steps[] = {{TypeName, chosen, 0}, {Press, nullptr, IDOK}};
    DialogDriver driver;
    StartDialogDriver(&driver, GetCurrentThreadId(), steps, 2, nullptr, nullptr);
    FoxValue args[5] = {FoxString(folder), FoxString("Ledgers:*.txt|All files:*.*"), FoxInt(1), FoxInt(0),
                        FoxString("Save the ledger")};
    FoxValue result = Call("fkSaveAsDialog(FOLDER, \"Ledgers:*.txt|All files:*.*\", 1, 0, \"Save the ledger\")",
                           "fkSaveAsDialog", args, 5);
    bool asExpected = result.type == 'C' && result.length == strlen(chosen) &&
                      memcmp(result.text, chosen, result.length) == 0;
    FinishDialogDriver(&driver);
    printf("   the driver %s the dialog, typed %s and pressed Save\n", driver.found ? "saw" : "did not see",
           chosen);
    Expect(driver.found && driver.closed && asExpected, "the typed name comes back");
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: fktour FOLDER\n");
        return 2;
    }
    const char *folder = argv[1];
    char path[MAX_PATH];
    host = HostPathBesideProgram("falkmoor.fll", path, sizeof path) ? HostOpen(path) : nullptr;
    if (host == nullptr) {
        fprintf(stderr, "fktour: cannot load falkmoor.fll: %s\n", HostOpenError());
        return 2;
    }
    printf("falkmoor.fll loaded from %s: %d rows in its table\n", path, HostTable(host)->count);
    HWND owner = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    HostRegisterWindow(host, 7, owner);
    HostSetOwnerWindow(host, 7);
    Utility(folder);
    Registry();
    Scrambling();
    Archive(folder);
    Controls(folder);
    Monitor();
    ConfirmPrompt();
    FileDialog(folder);
    int leaked = HostClose(host);
    DestroyWindow(owner);
    printf("\nlibrary unloaded; handles leaked: %d; unexpected answers: %d\n", leaked, surprises);
    return leaked == 0 && surprises == 0 ? 0 : 1;
}
