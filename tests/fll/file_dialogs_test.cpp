// The open and save dialogs, run for real under Wine and driven from a
// second thread as a person would: find the dialog, type into its
// file-name field, pick a file type, press a button. A call-window hook on
// the calling thread sees what the dialog was given (its record, the
// commands sent to the file view, the texts set on its controls); the
// host sees the result and the stored index.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>
#include <commctrl.h>
#include <string.h>
#include <list>
#include <string>
#include <vector>
#include "fllhost.h"
#include "dialog_driver.h"

// Further controls of the Explorer-style dialog.
const int ReadOnlyBox = 1040;
const int FileNameLabel = 1090;
const int FileTypeLabel = 1089;
const int LookInLabel = 1091;

// --- What the calling thread's windows were sent -----------------------

struct ControlText {
    int control;
    std::string text;
    int notice;   // the dialog notification being handled when it was set
};

struct Seen {
    int records = 0;              // dialog records seen (dialogs shown)
    OPENFILENAMEA record = {};    // as the dialog received it
    std::string file;             // the file buffer at that moment
    std::string filter;           // the filter list, up to its two NULs
    bool filterEnded = false;     // the two NULs were found within reach
    std::string title;
    std::vector<WPARAM> viewCommands;   // WM_COMMAND sent to the file view
    std::vector<LPARAM> viewLParams;
    std::vector<int> viewNotices;     // the notification each was sent in
    int notice = 0;                   // the notification being handled
    std::vector<ControlText> controlTexts;  // CDM_SETCONTROLTEXT to the dialog
};

static Seen seen;
static HHOOK spyHook;

static bool IsClass(HWND window, const char *name)
{
    char found[64] = "";
    GetClassNameA(window, found, sizeof found);
    return strcmp(found, name) == 0;
}

static bool IsChild(HWND window)
{
    return (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0;
}

// Copies the dialog record and what it points at. The filter list is read
// up to its two NULs, and no further than a little past the 1024 bytes
// the library keeps for it.
static void KeepRecord(const OPENFILENAMEA *record)
{
    seen.records++;
    seen.record = *record;
    seen.file = record->lpstrFile != nullptr ? record->lpstrFile : "(null)";
    seen.title = record->lpstrTitle != nullptr ? record->lpstrTitle : "";
    seen.filter.clear();
    seen.filterEnded = false;
    const char *list = record->lpstrFilter;
    for (size_t i = 0; list != nullptr && i + 1 < 1100; i++) {
        seen.filter += list[i];
        if (list[i] == '\0' && list[i + 1] == '\0') {
            seen.filter += '\0';
            seen.filterEnded = true;
            break;
        }
    }
}

static LRESULT CALLBACK Spy(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *message = reinterpret_cast<const CWPSTRUCT *>(lParam);
    if (code == HC_ACTION) {
        // The hook's own child dialog is handed the caller's record.
        if (message->message == WM_INITDIALOG && IsClass(message->hwnd, "#32770") &&
            IsChild(message->hwnd))
            KeepRecord(reinterpret_cast<const OPENFILENAMEA *>(message->lParam));
        // Notifications reach the hook's child dialog; what the hook sends
        // while handling one is seen before the next arrives.
        if (message->message == WM_NOTIFY && IsClass(message->hwnd, "#32770") &&
            IsChild(message->hwnd))
            seen.notice = int(reinterpret_cast<const NMHDR *>(message->lParam)->code);
        if (message->message == WM_COMMAND && IsClass(message->hwnd, "SHELLDLL_DefView")) {
            seen.viewCommands.push_back(message->wParam);
            seen.viewLParams.push_back(message->lParam);
            seen.viewNotices.push_back(seen.notice);
        }
        if (message->message == CDM_SETCONTROLTEXT && IsClass(message->hwnd, "#32770") &&
            !IsChild(message->hwnd))
            seen.controlTexts.push_back(
                {int(message->wParam), reinterpret_cast<const char *>(message->lParam), seen.notice});
    }
    return CallNextHookEx(spyHook, code, wParam, lParam);
}

// --- The person at the dialog --------------------------------------------

// What the driver saw on the screen.
struct Observed {
    bool found = false;
    bool closed = false;
    std::string caption;
    std::string labels[4];        // 1090, 1089, 1 (OK button), 1091
    std::string nameAtStart;
    int listStyle = -1;           // LVS_ICON, LVS_REPORT, ... of the file list
    int itemsAtStart = -1;
    std::vector<std::string> types;
    int typeSelected = -1;
    bool readOnlyVisible = false;
    int readOnlyChecked = -1;
    HWND owner = nullptr;
    std::vector<std::string> namesAfterPick;
    std::vector<int> itemsAfterPick;
};

static std::string TextOf(HWND window)
{
    char text[1024] = "";
    if (window != nullptr)
        SendToDialog(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

static HWND FileList(HWND dialog)
{
    HWND view = FindWindowExA(dialog, nullptr, "SHELLDLL_DefView", nullptr);
    return view != nullptr ? FindWindowExA(view, nullptr, "SysListView32", nullptr) : nullptr;
}

static int ListItems(HWND dialog)
{
    HWND list = FileList(dialog);
    return list != nullptr ? int(SendToDialog(list, LVM_GETITEMCOUNT, 0, 0)) : -1;
}

static void Look(HWND dialog, Observed *observed)
{
    observed->caption = TextOf(dialog);
    const int labels[4] = {FileNameLabel, FileTypeLabel, IDOK, LookInLabel};
    for (int i = 0; i < 4; i++)
        observed->labels[i] = TextOf(GetDlgItem(dialog, labels[i]));
    observed->nameAtStart = TextOf(GetDlgItem(dialog, FileNameField));
    HWND list = FileList(dialog);
    if (list != nullptr)
        observed->listStyle = int(GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK);
    observed->itemsAtStart = ListItems(dialog);
    HWND types = GetDlgItem(dialog, FileTypeField);
    int count = int(SendToDialog(types, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; i++) {
        char name[512] = "";
        SendToDialog(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
        observed->types.push_back(name);
    }
    observed->typeSelected = int(SendToDialog(types, CB_GETCURSEL, 0, 0));
    HWND readOnly = GetDlgItem(dialog, ReadOnlyBox);
    observed->readOnlyVisible = readOnly != nullptr && IsWindowVisible(readOnly);
    observed->readOnlyChecked = int(SendToDialog(readOnly, BM_GETCHECK, 0, 0));
    observed->owner = GetWindow(dialog, GW_OWNER);
}

// What the driver sees: the dialog as it came up, and the file name and
// the file list after each pick of a file type.
static void Watch(HWND dialog, const Step *step, void *context)
{
    Observed *observed = static_cast<Observed *>(context);
    if (step == nullptr) {
        Look(dialog, observed);
    } else if (step->action == PickType) {
        observed->namesAfterPick.push_back(TextOf(GetDlgItem(dialog, FileNameField)));
        observed->itemsAfterPick.push_back(ListItems(dialog));
    }
}

// One call of a dialog function with a person at the dialog.
struct DialogRun {
    uint32_t error;
    FoxValue result;
    std::string resultText;
    Observed observed;
};

static DialogRun RunDialog(Host *host, const char *function, const FoxValue *args, int count,
                     const Step *steps, int stepCount)
{
    seen = Seen();
    spyHook = SetWindowsHookExA(WH_CALLWNDPROC, Spy, nullptr, GetCurrentThreadId());
    DialogRun run;
    DialogDriver driver;
    StartDialogDriver(&driver, GetCurrentThreadId(), steps, stepCount, Watch, &run.observed);
    run.error = HostCall(host, function, args, count, &run.result);
    run.resultText = run.result.type == 'C' && run.result.text != nullptr ? run.result.text : "";
    FinishDialogDriver(&driver);
    UnhookWindowsHookEx(spyHook);
    run.observed.found = driver.found;
    run.observed.closed = driver.closed;
    return run;
}

static std::string Shown(const std::string &bytes)
{
    std::string shown;
    for (char c : bytes)
        shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    return shown;
}

// --- The fixture: a session, an owner window, a folder of files ----------

const uint32_t OwnerHostWindow = 41;

class FileDialogs : public ::testing::Test {
protected:
    Host *host = nullptr;
    HWND owner = nullptr;
    std::string folder;   // ends with a backslash
    void SetUp() override
    {
        char path[MAX_PATH];
        ASSERT_TRUE(HostPathBesideProgram("falkmoor.fll", path, sizeof path));
        host = HostOpen(path);
        ASSERT_NE(host, nullptr) << HostOpenError();
        owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
        HostRegisterWindow(host, OwnerHostWindow, owner);
        HostSetOwnerWindow(host, OwnerHostWindow);
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        folder = std::string(temp) + "fkdialogs\\";
        CreateDirectoryA(folder.c_str(), nullptr);
        for (const char *name : {"a.txt", "b.log", "c.html", "d.doc"}) {
            HANDLE file = CreateFileA((folder + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
            CloseHandle(file);
        }
    }
    void TearDown() override
    {
        if (owner != nullptr)
            DestroyWindow(owner);
        if (host != nullptr) {
            EXPECT_EQ(HostClose(host), 0) << "handles leaked over the session";
        }
    }
    // The starting name that opens the dialog in the fixture's folder.
    FoxValue InFolder(const char *name)
    {
        names.push_back(folder + name);
        return FoxString(names.back().c_str());
    }
    std::list<std::string> names;  // the texts stay where FoxString points
};

static void RecordOwnerArguments(Host *, HostRequest *request, void *context)
{
    static_cast<std::vector<uint32_t> *>(context)->push_back(request->argument2);
}

TEST_F(FileDialogs, Defaults)
{
    std::vector<uint32_t> ownerSecondArguments;
    HostSetServiceHook(host, ServiceOwnerWindow, RecordOwnerArguments, &ownerSecondArguments);
    std::string chosen = folder + "a.txt";
    const Step typeAndOpen[] = {{TypeName, chosen.c_str(), 0}, {Press, nullptr, IDOK}};
    DialogRun run = RunDialog(host, "fkOpenDialog", nullptr, 0, typeAndOpen, 2);
    ASSERT_EQ(run.error, 0u);
    ASSERT_TRUE(run.observed.found) << "no dialog came up";
    EXPECT_TRUE(run.observed.closed);
    EXPECT_EQ(run.result.type, 'C');
    EXPECT_EQ(run.resultText, chosen);
    ASSERT_EQ(seen.records, 1);
    const OPENFILENAMEA &record = seen.record;
    EXPECT_EQ(record.lStructSize, 88u);
    EXPECT_EQ(record.Flags, 0x880028u) << std::hex << record.Flags;
    EXPECT_EQ(record.nMaxFile, 254u);
    EXPECT_EQ(record.lpstrFilter, nullptr);
    EXPECT_EQ(record.nFilterIndex, 0u);
    EXPECT_EQ(record.lpstrTitle, nullptr);
    EXPECT_EQ(record.lpstrDefExt, nullptr);
    EXPECT_EQ(record.lpstrInitialDir, nullptr);
    EXPECT_EQ(record.lpstrFileTitle, nullptr);
    EXPECT_EQ(record.lpstrCustomFilter, nullptr);
    EXPECT_EQ(record.hInstance, nullptr);
    EXPECT_EQ(record.lpTemplateName, nullptr);
    EXPECT_NE(record.lCustData, 0);
    EXPECT_NE(record.lpfnHook, nullptr);
    EXPECT_EQ(seen.file, "");
    EXPECT_EQ(record.hwndOwner, owner);
    EXPECT_EQ(run.observed.owner, owner) << "the dialog is owned by the host's window";
    EXPECT_EQ(ownerSecondArguments, std::vector<uint32_t>{1}) << "service 113 asked once, with 1";
    EXPECT_TRUE(seen.viewCommands.empty()) << "no view asked for, none sent";
    EXPECT_TRUE(seen.controlTexts.empty());
    EXPECT_EQ(run.observed.caption, "Open");
    EXPECT_EQ(HostLastCall(host)->leakedHandles, 0);
    HostSetServiceHook(host, ServiceOwnerWindow, nullptr, nullptr);

    // A cancel answers the empty text, from either dialog.
    const Step cancel[] = {{Press, nullptr, IDCANCEL}};
    for (const char *function : {"fkOpenDialog", "fkSaveAsDialog"}) {
        run = RunDialog(host, function, nullptr, 0, cancel, 1);
        ASSERT_EQ(run.error, 0u) << function;
        ASSERT_TRUE(run.observed.found) << function;
        EXPECT_EQ(run.result.type, 'C') << function;
        EXPECT_EQ(run.resultText, "") << function;
        EXPECT_EQ(seen.record.Flags, 0x880028u) << function;
    }
    EXPECT_EQ(run.observed.caption, "Save As");
}

struct ViewCase {
    int32_t flags;
    const char *view;        // the command expected, or null for none
    WPARAM command;
    DWORD passed;            // flags the dialog receives
    int listStyle;           // the file list's style afterwards; -1: not checked
};

TEST_F(FileDialogs, StartingView)
{
    const ViewCase cases[] = {
        {0x00, nullptr, 0, 0x880028, -1},
        {0x01, "large icons", 28713, 0x880029, LVS_ICON},
        {0x20, "details", 28716, 0x880028, LVS_REPORT},
        {0x21, "details", 28716, 0x880029, LVS_REPORT},
        {0x40, "thumbnails", 28717, 0x880028, -1},
        {0x61, "thumbnails", 28717, 0x880029, -1},
        {0x04, nullptr, 0, 0x88002C, -1},
    };
    const Step cancel[] = {{Press, nullptr, IDCANCEL}};
    for (const ViewCase &c : cases) {
        FoxValue args[4] = {InFolder("a.txt"), FoxString(""), FoxInt(0), FoxInt(c.flags)};
        DialogRun run = RunDialog(host, "fkOpenDialog", args, 4, cancel, 1);
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        ASSERT_EQ(run.error, 0u);
        ASSERT_TRUE(run.observed.found);
        ASSERT_EQ(seen.records, 1);
        EXPECT_EQ(seen.record.Flags, c.passed) << std::hex << seen.record.Flags;
        if (c.view == nullptr) {
            EXPECT_TRUE(seen.viewCommands.empty()) << seen.viewCommands.size() << " sent";
        } else {
            ASSERT_EQ(seen.viewCommands.size(), 1u) << "the " << c.view << " view, sent once";
            EXPECT_EQ(seen.viewCommands[0], c.command);
            EXPECT_EQ(seen.viewLParams[0], 0);
            // The view exists by the first notification under Wine.
            EXPECT_EQ(seen.viewNotices[0], int(CDN_INITDONE));
        }
        if (c.listStyle >= 0) {
            EXPECT_EQ(run.observed.listStyle, c.listStyle) << "the file list shows the view";
        }
        // The read-only box follows bits 0x01 (ticked) and 0x04 (hidden).
        EXPECT_EQ(run.observed.readOnlyVisible, (c.flags & 0x04) == 0);
        if ((c.flags & 0x04) == 0) {
            EXPECT_EQ(run.observed.readOnlyChecked, (c.flags & 0x01) ? BST_CHECKED : BST_UNCHECKED);
        }
        EXPECT_EQ(run.resultText, "");
    }
}

TEST_F(FileDialogs, LabelsAndTitle)
{
    FoxValue args[9] = {InFolder("a.txt"), FoxString(""), FoxInt(0), FoxInt(0),
                        FoxString("Pick a ledger"), FoxString("Ledger name:"),
                        FoxString("Kind:"), FoxString("Take"), FoxString("Folder:")};
    const Step cancel[] = {{Press, nullptr, IDCANCEL}};
    HostKeepArguments(host, true);
    DialogRun run = RunDialog(host, "fkSaveAsDialog", args, 9, cancel, 1);
    HostKeepArguments(host, false);
    ASSERT_EQ(run.error, 0u);
    ASSERT_TRUE(run.observed.found);
    EXPECT_EQ(seen.title, "Pick a ledger");
    EXPECT_EQ(run.observed.caption, "Pick a ledger");
    ASSERT_EQ(seen.controlTexts.size(), 4u);
    const ControlText expected[4] = {
        {1090, "Ledger name:", 0}, {1089, "Kind:", 0}, {1, "Take", 0}, {1091, "Folder:", 0}};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(seen.controlTexts[i].notice, int(CDN_INITDONE)) << "text " << i;
        EXPECT_EQ(seen.controlTexts[i].control, expected[i].control) << "text " << i;
        EXPECT_EQ(seen.controlTexts[i].text, expected[i].text) << "text " << i;
        EXPECT_EQ(run.observed.labels[i], expected[i].text) << "on screen, control "
                                                            << expected[i].control;
    }
    // The label texts were locked for the dialog and are unlocked again.
    const HostCallInfo *info = HostLastCall(host);
    for (int i = 5; i < 9; i++) {
        MemHandle text = info->arguments[i];
        EXPECT_EQ(HostHandleLocks(host, text), 0) << "parameter " << i + 1;
        EXPECT_EQ(static_cast<char *>(HostHandleAddress(host, text))[args[i].length], '\0');
        HostFreeHandle(host, text);
    }
    for (int i = 0; i < 5; i++)
        HostFreeHandle(host, info->arguments[i]);

    // Empty texts count as not given: only the file-type label and the
    // button change, and the caption is the dialog's own.
    FoxValue some[8] = {InFolder("a.txt"), FoxString(""), FoxInt(0), FoxInt(0),
                        FoxString(""), FoxString(""), FoxString("Kind:"), FoxString("Take")};
    run = RunDialog(host, "fkOpenDialog", some, 8, cancel, 1);
    ASSERT_EQ(run.error, 0u);
    ASSERT_TRUE(run.observed.found);
    EXPECT_EQ(seen.record.lpstrTitle, nullptr);
    EXPECT_EQ(run.observed.caption, "Open");
    ASSERT_EQ(seen.controlTexts.size(), 2u);
    EXPECT_EQ(seen.controlTexts[0].control, 1089);
    EXPECT_EQ(seen.controlTexts[1].control, 1);
    EXPECT_EQ(run.observed.labels[1], "Kind:");
    EXPECT_EQ(run.observed.labels[2], "Take");
    EXPECT_NE(run.observed.labels[0], "") << "the file-name label keeps its own text";
}

TEST_F(FileDialogs, FileName)
{
    // A long starting name reaches the dialog cut to 254 characters.
    std::string longName(300, 'n');
    for (size_t i = 0; i < longName.size(); i += 10)
        longName[i] = char('0' + (i / 10) % 10);
    FoxValue args[1] = {FoxString(longName.c_str())};
    const Step cancel[] = {{Press, nullptr, IDCANCEL}};
    DialogRun run = RunDialog(host, "fkOpenDialog", args, 1, cancel, 1);
    ASSERT_EQ(run.error, 0u);
    ASSERT_TRUE(run.observed.found);
    EXPECT_EQ(seen.record.nMaxFile, 254u);
    EXPECT_EQ(seen.file.size(), 254u);
    EXPECT_EQ(seen.file, longName.substr(0, 254));

    // A name in a folder opens the dialog there, with the name typed in.
    FoxValue start[1] = {InFolder("b.log")};
    const Step open[] = {{Press, nullptr, IDOK}};
    run = RunDialog(host, "fkOpenDialog", start, 1, open, 1);
    ASSERT_EQ(run.error, 0u);
    ASSERT_TRUE(run.observed.found);
    EXPECT_EQ(run.observed.nameAtStart, "b.log");
    EXPECT_EQ(run.observed.itemsAtStart, 4) << "without a filter every file shows";
    EXPECT_EQ(run.resultText, folder + "b.log");
}

TEST_F(FileDialogs, Filter)
{
    FoxValue args[2] = {InFolder("a.txt"),
                        FoxString("Text files:*.txt;*.log|Web:*.html|All files:*.*")};
    const Step steps[] = {{PickType, nullptr, 1}, {PickType, nullptr, 2}, {Press, nullptr, IDOK}};
    DialogRun run = RunDialog(host, "fkOpenDialog", args, 2, steps, 3);
    ASSERT_EQ(run.error, 0u);
    ASSERT_TRUE(run.observed.found);
    const char list[] = "Text files\0*.txt;*.log\0Web\0*.html\0All files\0*.*\0";
    EXPECT_EQ(Shown(seen.filter), Shown(std::string(list, sizeof list)));
    // No index is given; Wine turns the 0 into 1 before the hook sees the
    // record, so the dialog's first type is what shows it.
    EXPECT_EQ(run.observed.typeSelected, 0);
    ASSERT_EQ(run.observed.types.size(), 3u);
    EXPECT_EQ(run.observed.types[0], "Text files");
    EXPECT_EQ(run.observed.types[1], "Web");
    EXPECT_EQ(run.observed.types[2], "All files");
    EXPECT_EQ(run.observed.itemsAtStart, 2) << "*.txt;*.log";
    ASSERT_EQ(run.observed.itemsAfterPick.size(), 2u);
    EXPECT_EQ(run.observed.itemsAfterPick[0], 1) << "*.html";
    EXPECT_EQ(run.observed.itemsAfterPick[1], 4) << "*.*";
    EXPECT_EQ(run.observed.namesAfterPick[0], "a.txt") << "the open dialog keeps the name";
    EXPECT_EQ(run.observed.namesAfterPick[1], "a.txt");
    EXPECT_TRUE(seen.controlTexts.empty());
    EXPECT_EQ(run.resultText, folder + "a.txt");

    // Past 1022 characters the filter text is not read; the list still
    // ends with two NULs.
    std::string longFilter = "Text:*.txt|Long:" + std::string(1500, 'q');
    FoxValue longArgs[2] = {InFolder("a.txt"), FoxString(longFilter.c_str())};
    const Step cancel[] = {{Press, nullptr, IDCANCEL}};
    run = RunDialog(host, "fkOpenDialog", longArgs, 2, cancel, 1);
    ASSERT_EQ(run.error, 0u);
    ASSERT_TRUE(run.observed.found);
    ASSERT_TRUE(seen.filterEnded) << "the list has no end within reach";
    EXPECT_EQ(seen.filter.size(), 1024u);
    EXPECT_EQ(Shown(seen.filter.substr(0, 16)), "Text\\0*.txt\\0Long\\0");
    EXPECT_EQ(seen.filter.substr(16, 1006), std::string(1006, 'q'));
    EXPECT_EQ(run.observed.types.size(), 2u);
}

struct ExtensionCase {
    const char *what;
    const char *function;
    const char *filter;
    const char *typed;
    int pick;                // 0-based
    const char *expected;    // the name field afterwards
    bool changed;            // the library set the field
};

TEST_F(FileDialogs, SaveExtension)
{
    std::string many;
    for (int i = 1; i <= 27; i++)
        many += (i > 1 ? "|F" : "F") + std::to_string(i) + ":*.e" + std::to_string(i);
    const ExtensionCase cases[] = {
        {"cut at the first dot", "fkSaveAsDialog", "Text:*.txt|Web:*.html", "report.final.doc", 1,
         "report.htm", true},
        {"no dot", "fkSaveAsDialog", "Text:*.txt|Web:*.html", "notes", 1, "notes.htm", true},
        {"back to the first", "fkSaveAsDialog", "Web:*.html|Text:*.txt", "notes.htm", 1,
         "notes.txt", true},
        {"*.* leaves a bare dot", "fkSaveAsDialog", "Text:*.txt|All:*.*", "report.txt", 1,
         "report.", true},
        {"first pattern only", "fkSaveAsDialog", "Text:*.txt|C source:*.c;*.h", "main.txt", 1,
         "main.c", true},
        {"25th filter", "fkSaveAsDialog", many.c_str(), "ledger", 24, "ledger.e25", true},
        {"26th filter", "fkSaveAsDialog", many.c_str(), "ledger", 25, "ledger", false},
        {"nothing typed", "fkSaveAsDialog", "Text:*.txt|Web:*.html", "", 1, "", false},
        {"open dialog", "fkOpenDialog", "Text:*.txt|Web:*.html", "report.final.doc", 1,
         "report.final.doc", false},
        {"single filter", "fkSaveAsDialog", "Text:*.txt", "report.doc", 0, "report.doc", false},
    };
    for (const ExtensionCase &c : cases) {
        SCOPED_TRACE(c.what);
        FoxValue args[2] = {InFolder("start"), FoxString(c.filter)};
        const Step steps[] = {
            {TypeName, c.typed, 0}, {PickType, nullptr, c.pick}, {Press, nullptr, IDCANCEL}};
        DialogRun run = RunDialog(host, c.function, args, 2, steps, 3);
        ASSERT_EQ(run.error, 0u);
        ASSERT_TRUE(run.observed.found);
        ASSERT_EQ(run.observed.namesAfterPick.size(), 1u);
        EXPECT_EQ(run.observed.namesAfterPick[0], c.expected);
        if (c.changed) {
            ASSERT_EQ(seen.controlTexts.size(), 1u);
            EXPECT_EQ(seen.controlTexts[0].control, FileNameField)
                << "this dialog has no control 1152; the name is in the combo box";
            EXPECT_EQ(seen.controlTexts[0].text, c.expected);
            EXPECT_EQ(seen.controlTexts[0].notice, int(CDN_TYPECHANGE));
        } else {
            EXPECT_TRUE(seen.controlTexts.empty()) << seen.controlTexts.size() << " texts set";
        }
        EXPECT_EQ(run.resultText, "");
    }

    // The changed name is what the dialog answers.
    FoxValue args[2] = {InFolder("start"), FoxString("Text:*.txt|Web:*.html")};
    const Step save[] = {
        {TypeName, "report.final.doc", 0}, {PickType, nullptr, 1}, {Press, nullptr, IDOK}};
    DialogRun run = RunDialog(host, "fkSaveAsDialog", args, 2, save, 3);
    ASSERT_EQ(run.error, 0u);
    EXPECT_EQ(run.resultText, folder + "report.htm");
}

struct IndexCase {
    const char *what;
    FoxValue index;
    const char *filter;
    bool pickThird;
    int button;
    DWORD passed;            // nFilterIndex the dialog receives
    int selected;            // the file type shown first, 0-based
    bool stored;             // a variable receives the final index
    int32_t storedValue;
};

TEST_F(FileDialogs, FilterIndex)
{
    const char *three = "Text:*.txt|Log:*.log|Web:*.html";
    HostSetVariable(host, "nType", FoxInt(2));
    const IndexCase cases[] = {
        {"number", FoxNumber(2.0, 10, 0), three, false, IDCANCEL, 2, 1, false, 0},
        {"integer", FoxInt(3), three, false, IDCANCEL, 3, 2, false, 0},
        {"reference, third picked, OK", FoxRef("nType"), three, true, IDOK, 2, 1, true, 3},
        {"reference, third picked, cancel", FoxRef("nType"), three, true, IDCANCEL, 2, 1, true, 3},
        {"reference, cancel", FoxRef("nType"), three, false, IDCANCEL, 2, 1, true, 2},
        {"number to a reference", FoxRef("nNumber"), three, false, IDCANCEL, 3, 2, true, 3},
        {"text reference, no filter", FoxRef("cType"), "", false, IDCANCEL, 0, -1, true, 0},
        {"integer, no filter", FoxInt(2), "", false, IDCANCEL, 0, -1, false, 0},
    };
    for (const IndexCase &c : cases) {
        SCOPED_TRACE(c.what);
        HostSetVariable(host, "nType", FoxInt(2));
        HostSetVariable(host, "nNumber", FoxNumber(3.0, 10, 0));
        HostSetVariable(host, "cType", FoxString("2"));
        FoxValue args[3] = {InFolder("a.txt"), FoxString(c.filter), c.index};
        std::vector<Step> steps;
        if (c.pickThird)
            steps.push_back({PickType, nullptr, 2});
        steps.push_back({Press, nullptr, c.button});
        DialogRun run = RunDialog(host, "fkOpenDialog", args, 3, steps.data(), int(steps.size()));
        ASSERT_EQ(run.error, 0u);
        ASSERT_TRUE(run.observed.found);
        EXPECT_EQ(seen.record.nFilterIndex, c.passed);
        EXPECT_EQ(seen.record.lpstrFilter == nullptr, c.filter[0] == '\0');
        if (c.selected >= 0) {
            EXPECT_EQ(run.observed.typeSelected, c.selected);
        }
        EXPECT_EQ(run.resultText, c.button == IDOK ? folder + "a.txt" : "");
        if (c.stored) {
            FoxValue stored;
            ASSERT_TRUE(HostGetVariable(host, c.index.text, &stored));
            EXPECT_EQ(stored.type, 'I');
            EXPECT_EQ(stored.width, 10);
            EXPECT_EQ(stored.integer, c.storedValue);
        }
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0);
    }
}

TEST_F(FileDialogs, FilterIndexOfWrongType)
{
    HostSetVariable(host, "cType", FoxString("2"));
    HostSetVariable(host, "lType", FoxLogical(true));
    const FoxValue wrong[] = {FoxRef("cType"), FoxRef("lType"), FoxString("1"), FoxLogical(false)};
    const Step cancel[] = {{Press, nullptr, IDCANCEL}};
    for (const FoxValue &index : wrong) {
        SCOPED_TRACE(testing::Message() << "type " << index.type << " " << (index.text ? index.text : ""));
        int errorsBefore = HostErrorCount(host);
        FoxValue args[6] = {InFolder("a.txt"), FoxString("Text:*.txt|Web:*.html"), index,
                            FoxInt(0x20), FoxString("Title"), FoxString("Name:")};
        HostKeepArguments(host, true);
        DialogRun run = RunDialog(host, "fkSaveAsDialog", args, 6, cancel, 1);
        HostKeepArguments(host, false);
        EXPECT_EQ(run.error, 302u);
        EXPECT_FALSE(run.observed.found) << "no dialog is shown";
        EXPECT_EQ(seen.records, 0);
        EXPECT_EQ(HostLastCall(host)->results, 0);
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << "a loaded text is freed first";
        ASSERT_EQ(HostErrorCount(host), errorsBefore + 1);
        EXPECT_EQ(HostErrorAt(host, errorsBefore), 302u);
        const HostCallInfo *info = HostLastCall(host);
        EXPECT_EQ(HostHandleLocks(host, info->arguments[5]), 0) << "the label is unlocked";
        for (int i = 0; i < 6; i++)
            if (info->arguments[i] != 0)
                HostFreeHandle(host, info->arguments[i]);
    }
    FoxValue text;
    ASSERT_TRUE(HostGetVariable(host, "cType", &text));
    EXPECT_EQ(text.type, 'C') << "nothing is stored after the error";
    EXPECT_STREQ(text.text, "2");
}

TEST_F(FileDialogs, Rows)
{
    const LibraryTable *table = HostTable(host);
    const FunctionEntry *save = HostFindRow(host, "fkSaveAsDialog");
    const FunctionEntry *open = HostFindRow(host, "fkOpenDialog");
    ASSERT_NE(save, nullptr);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open, save + 1) << "the open row follows the save row";
    EXPECT_GT(save, table->entries);
    for (const FunctionEntry *row : {save, open}) {
        EXPECT_EQ(row->parameterCount, 9) << row->name;
        EXPECT_STREQ(row->signature, ".C,.C,.?,.I,.C,.C,.C,.C,.C") << row->name;
    }
    EXPECT_STREQ(save->name, "fkSaveAsDialog");
    EXPECT_STREQ(open->name, "fkOpenDialog");
    EXPECT_STREQ(save[-1].name, "fkAddProperty");
    // The host holds calls to the signature; no dialog comes up for these.
    FoxValue tooMany[10];
    for (FoxValue &value : tooMany)
        value = FoxString("x");
    FoxValue result;
    EXPECT_EQ(HostCall(host, "fkOpenDialog", tooMany, 10, &result), HostRejectTooMany);
    FoxValue number = FoxInt(1);
    EXPECT_EQ(HostCall(host, "fkSaveAsDialog", &number, 1, &result), HostRejectType);
    EXPECT_FALSE(HostLastCall(host)->ran);
}
