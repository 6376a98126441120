// Printing through the host: fkPrinterOpen on the direct and dialog paths,
// the print dialogs driven as a person would, and whole print jobs on the
// project's test printer, whose output file the tests read back.
#include <gtest/gtest.h>
#include <string.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "fllhost.h"
#include <winspool.h>
#include <objbase.h>
#include <commdlg.h>
#include "print_probe.h"
#include "test_support.h"

static const char printerName[] = "Falkmoor Test PostScript";
static const char outputPath[] = "C:\\printer\\page.ps";
// A second printer whose name has the most characters a device name may
// have, 255.
static const std::string longPrinterName = "Falkmoor Long " + std::string(255 - 14, 'L');

// Controls of the classic Print dialog, which Wine also shows for the
// property-sheet call.
const int CopiesField = 0x482;
const int FromField = 0x480;
const int ToField = 0x481;
const int PrinterList = 0x473;
const int PrintToFileBox = 0x410;
const int CollateBox = 0x411;
const int AllPagesButton = 0x420;
const int SelectionButton = 0x421;
const int PagesButton = 0x422;

// The eight driver settings the settings object carries.
struct Settings {
    int32_t copies;
    bool collate;
    int32_t paperSize;
    int32_t paperBin;
    int32_t orientation;
    int32_t duplex;
    int32_t quality;
    int32_t color;
};

// What the driver itself makes of those settings: the test's own merge.
static Settings DriverView(const Settings &asked)
{
    LONG size = DocumentPropertiesA(nullptr, nullptr, const_cast<char *>(printerName), nullptr,
                                    nullptr, 0);
    std::vector<char> block(size_t(size > 0 ? size : sizeof(DEVMODEA)));
    DEVMODEA *mode = reinterpret_cast<DEVMODEA *>(block.data());
    DocumentPropertiesA(nullptr, nullptr, const_cast<char *>(printerName), mode, nullptr,
                        DM_OUT_BUFFER);
    mode->dmCopies = short(asked.copies);
    mode->dmCollate = asked.collate ? 1 : 0;
    mode->dmPaperSize = short(asked.paperSize);
    mode->dmDefaultSource = short(asked.paperBin);
    mode->dmOrientation = short(asked.orientation);
    mode->dmDuplex = short(asked.duplex);
    mode->dmPrintQuality = short(asked.quality);
    mode->dmColor = short(asked.color);
    mode->dmFields = 0x9F03;
    DocumentPropertiesA(nullptr, nullptr, const_cast<char *>(printerName), mode, mode,
                        DM_IN_BUFFER | DM_OUT_BUFFER);
    Settings seen = {mode->dmCopies, mode->dmCollate == 1, mode->dmPaperSize,
                     mode->dmDefaultSource, mode->dmOrientation, mode->dmDuplex,
                     mode->dmPrintQuality, mode->dmColor};
    return seen;
}

// Every property write the library makes, in order (service 122).
struct WriteLog {
    std::vector<std::string> names;
};

static void RecordWrite(Host *, HostRequest *request, void *context)
{
    static_cast<WriteLog *>(context)->names.push_back(reinterpret_cast<const char *>(request->argument2));
}

// Every property read (service 123).
static void RecordRead(Host *, HostRequest *request, void *context)
{
    static_cast<WriteLog *>(context)->names.push_back(reinterpret_cast<const char *>(request->argument3));
}

static std::string Joined(const std::vector<std::string> &names)
{
    std::string all;
    for (const std::string &name : names)
        all += (all.empty() ? "" : " ") + name;
    return all;
}

static bool Contains(const std::vector<std::string> &names, const char *name)
{
    for (const std::string &each : names)
        if (lstrcmpiA(each.c_str(), name) == 0)
            return true;
    return false;
}

class Printing : public ::testing::Test {
protected:
    Host *host = nullptr;
    HWND owner = nullptr;
    const uint32_t ownerHostWindow = 7;

    static void SetUpTestSuite()
    {
        // The printer is made from nothing on a fresh prefix, and kept when
        // it is there already.
        ASSERT_EQ(RunBeside("testprinter.exe", outputPath), 0);
    }

    void Open(const char *library)
    {
        char path[MAX_PATH];
        ASSERT_TRUE(HostPathBesideProgram(library, path, sizeof path));
        host = HostOpen(path);
        ASSERT_NE(host, nullptr) << HostOpenError();
        owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, nullptr, nullptr);
        HostRegisterWindow(host, ownerHostWindow, owner);
        HostSetOwnerWindow(host, ownerHostWindow);
    }
    void SetUp() override { Open("falkmoor.fll"); }
    void TearDown() override
    {
        if (host != nullptr) {
            for (uint32_t service : {ServiceSetProperty, ServiceGetProperty})
                HostSetServiceHook(host, service, nullptr, nullptr);
            EXPECT_EQ(HostClose(host), 0) << "handles leaked over the session";
        }
        if (owner != nullptr)
            DestroyWindow(owner);
    }

    uint32_t SettingsObject(const Settings &s)
    {
        uint32_t object = HostNewObject(host);
        HostSetPropertyValue(host, object, "nCopies", FoxInt(s.copies));
        HostSetPropertyValue(host, object, "lCollate", FoxLogical(s.collate));
        HostSetPropertyValue(host, object, "nPapersize", FoxInt(s.paperSize));
        HostSetPropertyValue(host, object, "nPaperBin", FoxInt(s.paperBin));
        HostSetPropertyValue(host, object, "nOrientation", FoxInt(s.orientation));
        HostSetPropertyValue(host, object, "nDuplex", FoxInt(s.duplex));
        HostSetPropertyValue(host, object, "nQuality", FoxInt(s.quality));
        HostSetPropertyValue(host, object, "nColor", FoxInt(s.color));
        return object;
    }

    int32_t IntOf(uint32_t object, const char *name)
    {
        FoxValue value = {};
        EXPECT_TRUE(HostGetPropertyValue(host, object, name, &value)) << name << " missing";
        EXPECT_TRUE(value.type == 'I' || value.type == 'L') << name << " has type " << value.type;
        if (value.type == 'I') {
            EXPECT_EQ(value.width, 10) << name;
        }
        return value.type == 'L' ? int32_t(value.length) : value.integer;
    }

    std::string TextOf(uint32_t object, const char *name)
    {
        FoxValue value = {};
        if (!HostGetPropertyValue(host, object, name, &value))
            return "<missing>";
        if (value.type != 'C')
            return std::string("<type ") + value.type + ">";
        return std::string(value.text, value.length);
    }

    // The whole object as text, to see that nothing changed.
    std::string Snapshot(uint32_t object)
    {
        std::string all;
        for (int i = 0; i < HostPropertyCount(host, object); i++) {
            const char *name = HostPropertyName(host, object, i);
            FoxValue value = {};
            HostGetPropertyValue(host, object, name, &value);
            char line[400];
            snprintf(line, sizeof line, "%s=%c:%d:%u:%.*s;", name, value.type, value.integer,
                     value.length, value.type == 'C' ? int(value.length) : 0,
                     value.type == 'C' ? value.text : "");
            all += line;
        }
        return all;
    }

    // fkPrinterOpen(choice, object): the context, 0 when none.
    HDC PrinterOpen(FoxValue choice, uint32_t object)
    {
        FoxValue args[2] = {choice, FoxObject(object)}, result = {};
        SetLastError(0xdeadbeef);
        uint32_t error = HostCall(host, "fkPrinterOpen", args, 2, &result);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(HostLastCall(host)->results, 1);
        EXPECT_EQ(result.type, 'I');
        EXPECT_EQ(result.width, 10);
        return reinterpret_cast<HDC>(uintptr_t(uint32_t(result.integer)));
    }

    int32_t CallOnContext(const char *function, HDC context, const char *name = nullptr)
    {
        FoxValue args[2] = {FoxInt(int32_t(reinterpret_cast<uintptr_t>(context))),
                            FoxString(name != nullptr ? name : "")};
        FoxValue result = {};
        EXPECT_EQ(HostCall(host, function, args, name != nullptr ? 2 : 1, &result), 0u) << function;
        EXPECT_EQ(result.type, 'I') << function;
        EXPECT_EQ(result.width, 10) << function;
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << function;
        return result.integer;
    }
};

TEST_F(Printing, Rows)
{
    const LibraryTable *table = HostTable(host);
    struct Row {
        const char *name;
        int16_t count;
        const char *signature;
    } rows[] = {
        {"fkPrinterOpen", 2, "?,O"},
        {"fkPrinterClose", 1, "I"},
        {"fkPrinterStartDoc", 2, "I,C"},
        {"fkPrinterEndDoc", 1, "I"},
    };
    int first = -1;
    for (int i = 0; i < table->count; i++)
        if (strcmp(table->entries[i].name, "fkPrinterOpen") == 0)
            first = i;
    ASSERT_GE(first, 0);
    for (int r = 0; r < 4; r++) {
        ASSERT_LT(first + r, table->count);
        const FunctionEntry &entry = table->entries[first + r];
        EXPECT_STREQ(entry.name, rows[r].name) << "row " << first + r;
        EXPECT_EQ(entry.parameterCount, rows[r].count) << rows[r].name;
        EXPECT_STREQ(entry.signature, rows[r].signature) << rows[r].name;
    }
    if (first > 0) {
        EXPECT_STRNE(table->entries[first - 1].name, "fkPrinterClose");
    }
}

// A printer named by parameter 1: no dialog, a context whose page is what
// was asked for, and the driver's view of every setting written back in
// order, with the name.
TEST_F(Printing, DirectByName)
{
    struct Case {
        Settings asked;
        bool landscape;
        int longSide;  // hundredths of an inch
    } cases[] = {
        {{2, true, DMPAPER_A4, 1, DMORIENT_LANDSCAPE, DMDUP_VERTICAL, 600, DMCOLOR_MONOCHROME}, true, 1169},
        {{1, false, DMPAPER_LETTER, 2, DMORIENT_PORTRAIT, DMDUP_SIMPLEX, 300, DMCOLOR_COLOR}, false, 1100},
    };
    for (const Case &c : cases) {
        uint32_t object = SettingsObject(c.asked);
        Settings expected = DriverView(c.asked);
        WriteLog writes;
        HostSetServiceHook(host, ServiceSetProperty, RecordWrite, &writes);
        HDC context = PrinterOpen(FoxString(printerName), object);
        HostSetServiceHook(host, ServiceSetProperty, nullptr, nullptr);
        ASSERT_NE(context, nullptr);
        EXPECT_EQ(GetDeviceCaps(context, TECHNOLOGY), DT_RASPRINTER);
        EXPECT_EQ(GetDeviceCaps(context, HORZRES) > GetDeviceCaps(context, VERTRES), c.landscape)
            << GetDeviceCaps(context, HORZRES) << " x " << GetDeviceCaps(context, VERTRES);
        int physicalLong = GetDeviceCaps(context, PHYSICALWIDTH) > GetDeviceCaps(context, PHYSICALHEIGHT)
                               ? GetDeviceCaps(context, PHYSICALWIDTH)
                               : GetDeviceCaps(context, PHYSICALHEIGHT);
        EXPECT_NEAR(physicalLong * 100 / GetDeviceCaps(context, LOGPIXELSY), c.longSide, 2);
        EXPECT_EQ(IntOf(object, "nCopies"), expected.copies);
        EXPECT_EQ(IntOf(object, "lCollate"), expected.collate ? 1 : 0);
        EXPECT_EQ(IntOf(object, "nPapersize"), expected.paperSize);
        EXPECT_EQ(IntOf(object, "nPaperBin"), expected.paperBin);
        EXPECT_EQ(IntOf(object, "nOrientation"), expected.orientation);
        EXPECT_EQ(IntOf(object, "nDuplex"), expected.duplex);
        EXPECT_EQ(IntOf(object, "nQuality"), expected.quality);
        EXPECT_EQ(IntOf(object, "nColor"), expected.color);
        EXPECT_EQ(TextOf(object, "cDevPrinter"), printerName);
        EXPECT_EQ(TextOf(object, "cDevDriver"), "<missing>") << "no names block on this path";
        std::string order = "nCopies lCollate nPapersize nPaperBin nOrientation nDuplex nQuality "
                            "nColor cDevPrinter";
        if (expected.copies > 1)
            order = "nCopies lCollate " + order;  // the interim 1 and false
        EXPECT_EQ(Joined(writes.names), order);
        EXPECT_EQ(HostDialogCount(host), 0);
        EXPECT_EQ(HostFailedPropertyWrites(host), 0);
        EXPECT_NE(DeleteDC(context), 0);
    }
}

// Copies and collation: several copies the driver keeps are asked for
// again after the interim 1; a driver that dropped the collation asked
// for leaves one copy.
struct CollateFlip {
    uint32_t object;
    int reads;
};

// After the first read of "lCollate" the property turns false, so the
// read after the merge disagrees with the collation the driver kept.
static void FlipAfterFirstCollateRead(Host *host, HostRequest *request, void *context)
{
    CollateFlip *flip = static_cast<CollateFlip *>(context);
    const char *name = reinterpret_cast<const char *>(request->argument3);
    if (lstrcmpiA(name, "lCollate") == 0 && ++flip->reads == 1)
        HostSetPropertyValue(host, flip->object, "lCollate", FoxLogical(false));
}

TEST_F(Printing, CopiesAndCollation)
{
    Settings three = {3, true, DMPAPER_LETTER, 1, DMORIENT_PORTRAIT, DMDUP_SIMPLEX, 300, DMCOLOR_COLOR};
    uint32_t object = SettingsObject(three);
    HDC context = PrinterOpen(FoxString(printerName), object);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(IntOf(object, "nCopies"), 3);
    EXPECT_EQ(IntOf(object, "lCollate"), 1);
    DeleteDC(context);

    // The collation the driver answers differs from the one asked for (as
    // with a driver that cannot collate): one copy.
    object = SettingsObject(three);
    CollateFlip flip = {object, 0};
    HostSetServiceHook(host, ServiceGetProperty, FlipAfterFirstCollateRead, &flip);
    context = PrinterOpen(FoxString(printerName), object);
    HostSetServiceHook(host, ServiceGetProperty, nullptr, nullptr);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(flip.reads, 2) << "lCollate is read again after the merge";
    EXPECT_EQ(IntOf(object, "nCopies"), 1);
    DeleteDC(context);

    // Any non-zero lCollate asks for collation, and a driver that keeps it
    // keeps the copies too.
    object = SettingsObject(three);
    HostSetPropertyValue(host, object, "lCollate", FoxInt(2));
    context = PrinterOpen(FoxString(printerName), object);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(IntOf(object, "nCopies"), 3);
    EXPECT_EQ(IntOf(object, "lCollate"), 1);
    DeleteDC(context);
}

// The printer from the settings object: "cDevPrinter", or the default
// printer when it holds no name (empty, missing, or not a text).
TEST_F(Printing, DirectThroughSettings)
{
    char defaultName[256];
    DWORD size = sizeof defaultName;
    ASSERT_TRUE(GetDefaultPrinterA(defaultName, &size));
    EXPECT_STREQ(defaultName, printerName) << "the set-up makes the test printer the default";
    struct Case {
        const char *what;
        FoxValue printer;  // type 0: no "cDevPrinter" at all
    } cases[] = {
        {"named", FoxString(printerName)},
        {"empty", FoxString("")},
        {"missing", FoxValue()},
        {"a number", FoxInt(12)},
        {"a logical", FoxLogical(true)},
    };
    Settings plain = {1, false, DMPAPER_LETTER, 1, DMORIENT_PORTRAIT, DMDUP_SIMPLEX, 300, DMCOLOR_COLOR};
    for (const Case &c : cases) {
        uint32_t object = SettingsObject(plain);
        if (c.printer.type != 0)
            HostSetPropertyValue(host, object, "cDevPrinter", c.printer);
        HDC context = PrinterOpen(FoxLogical(true), object);
        EXPECT_NE(context, nullptr) << c.what;
        EXPECT_EQ(TextOf(object, "cDevPrinter"), defaultName) << c.what;
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << c.what;
        EXPECT_EQ(HostDialogCount(host), 0);
        DeleteDC(context);
    }
}

// A printer the driver does not know: 0, and the settings object exactly
// as it was.
TEST_F(Printing, UnknownPrinter)
{
    std::string longName = std::string(printerName) + std::string(300, 'x');
    struct Case {
        const char *what;
        FoxValue choice;
        const char *devPrinter;
    } cases[] = {
        {"no such printer", FoxString("No Such Printer"), nullptr},
        {"empty name, not looked up in cDevPrinter", FoxString(""), printerName},
        {"cDevPrinter names no printer", FoxLogical(true), "No Such Printer"},
        {"a name over 255 characters", FoxString(longName.c_str()), nullptr},
        {"cDevPrinter over 255 characters", FoxLogical(true), longName.c_str()},
    };
    Settings plain = {2, true, DMPAPER_LETTER, 1, DMORIENT_PORTRAIT, DMDUP_SIMPLEX, 300, DMCOLOR_COLOR};
    for (const Case &c : cases) {
        uint32_t object = SettingsObject(plain);
        if (c.devPrinter != nullptr)
            HostSetPropertyValue(host, object, "cDevPrinter", FoxString(c.devPrinter));
        std::string before = Snapshot(object);
        EXPECT_EQ(PrinterOpen(c.choice, object), nullptr) << c.what;
        EXPECT_EQ(Snapshot(object), before) << c.what;
        EXPECT_EQ(HostServiceCount(host, ServiceSetProperty), 0) << c.what;
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << c.what;
    }
}

static void DeletePrinterNamed(const char *name)
{
    HANDLE printer;
    PRINTER_DEFAULTSA access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterA(const_cast<char *>(name), &printer, &access)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
}

// Names longer than 255 characters are cut to 255, from parameter 1 and
// from "cDevPrinter" alike. The printer with the longest name lives only
// for this test: Wine's print dialog cannot list it.
TEST_F(Printing, LongNames)
{
    ASSERT_EQ(longPrinterName.size(), 255u);
    std::string arguments = "C:\\printer\\long.ps \"" + longPrinterName + "\"";
    ASSERT_EQ(RunBeside("testprinter.exe", arguments.c_str()), 0);
    std::string tooLong = longPrinterName + std::string(45, 'x');
    Settings plain = {1, false, DMPAPER_LETTER, 1, DMORIENT_PORTRAIT, DMDUP_SIMPLEX, 300, DMCOLOR_COLOR};
    for (bool inSettings : {false, true}) {
        uint32_t object = SettingsObject(plain);
        if (inSettings)
            HostSetPropertyValue(host, object, "cDevPrinter", FoxString(tooLong.c_str()));
        FoxValue choice = inSettings ? FoxLogical(true) : FoxString(tooLong.c_str());
        HDC context = PrinterOpen(choice, object);
        EXPECT_NE(context, nullptr) << (inSettings ? "cDevPrinter" : "parameter 1");
        EXPECT_EQ(TextOf(object, "cDevPrinter"), longPrinterName);
        DeleteDC(context);
    }
    // One character short of the long name is no printer.
    uint32_t object = SettingsObject(plain);
    EXPECT_EQ(PrinterOpen(FoxString(longPrinterName.substr(0, 254).c_str()), object), nullptr);
    DeletePrinterNamed(longPrinterName.c_str());
}

// A whole job: the context from fkPrinterOpen, a named document, a page
// the test draws, and the PostScript the printer wrote.
TEST_F(Printing, Documents)
{
    Settings three = {3, true, DMPAPER_A4, 1, DMORIENT_PORTRAIT, DMDUP_SIMPLEX, 300, DMCOLOR_COLOR};
    uint32_t object = SettingsObject(three);
    DeleteFileA(outputPath);
    HDC context = PrinterOpen(FoxString(printerName), object);
    ASSERT_NE(context, nullptr);
    int32_t job = CallOnContext("fkPrinterStartDoc", context, "Invoice 42");
    EXPECT_GT(job, 0);
    EXPECT_GT(StartPage(context), 0);
    HFONT font = CreateFontA(-60, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Helvetica");
    HGDIOBJ old = SelectObject(context, font);
    const char drawn[] = "Falkmoor page 42";
    EXPECT_TRUE(TextOutA(context, 200, 200, drawn, int(strlen(drawn))));
    SelectObject(context, old);
    DeleteObject(font);
    EXPECT_GT(EndPage(context), 0);
    EXPECT_GT(CallOnContext("fkPrinterEndDoc", context), 0);
    EXPECT_NE(CallOnContext("fkPrinterClose", context), 0);
    std::string postscript = ReadFileText(outputPath);
    ASSERT_FALSE(postscript.empty()) << "nothing at " << outputPath;
    EXPECT_EQ(postscript.compare(0, 4, "%!PS"), 0);
    EXPECT_NE(postscript.find("%%Title: Invoice 42"), std::string::npos);
    EXPECT_NE(ShownText(postscript).find(drawn), std::string::npos)
        << "shown: " << ShownText(postscript);
    EXPECT_NE(postscript.find("*PageSize A4"), std::string::npos);
    EXPECT_NE(postscript.find("copies=3"), std::string::npos) << "the three copies reach the job";
    // The context is gone: a second close fails.
    EXPECT_EQ(CallOnContext("fkPrinterClose", context), 0);

    // An empty document name, and an end without a start.
    context = PrinterOpen(FoxString(printerName), SettingsObject(three));
    ASSERT_NE(context, nullptr);
    EXPECT_GT(CallOnContext("fkPrinterStartDoc", context, ""), 0);
    EXPECT_GT(CallOnContext("fkPrinterEndDoc", context), 0);
    postscript = ReadFileText(outputPath);
    EXPECT_NE(postscript.find("%%Title: \n"), std::string::npos) << postscript.substr(0, 300);
    int32_t again = CallOnContext("fkPrinterEndDoc", context);
    HDC fresh = CreateDCA(nullptr, printerName, nullptr, nullptr);
    EXPECT_EQ(again, EndDoc(fresh)) << "EndDoc's own answer without a document";
    DeleteDC(fresh);
    EXPECT_NE(CallOnContext("fkPrinterClose", context), 0);
}

TEST_F(Printing, NoContext)
{
    EXPECT_LE(CallOnContext("fkPrinterStartDoc", nullptr, "Invoice 42"), 0);
    EXPECT_LE(CallOnContext("fkPrinterEndDoc", nullptr), 0);
    EXPECT_EQ(CallOnContext("fkPrinterClose", nullptr), 0);
    HDC unrelated = reinterpret_cast<HDC>(uintptr_t(0x12345));
    EXPECT_LE(CallOnContext("fkPrinterStartDoc", unrelated, "x"), 0);
    EXPECT_EQ(CallOnContext("fkPrinterClose", unrelated), 0);
}

// ---- The dialogs, driven as a person would from a second thread --------

// What the person sees in the Print dialog and what they do there.
struct DialogScript {
    DWORD thread;              // the thread that shows the dialog
    // seen
    bool found;
    char printer[256], from[16], to[16], copies[16];
    bool allChecked, selectionChecked, pagesChecked, collateChecked;
    bool selectionEnabled, pagesEnabled, toFileEnabled;
    // done
    const char *setFrom, *setTo, *setCopies;  // null: left alone
    int pick;                  // a range button to click, or 0
    int button;                // IDOK or IDCANCEL
};

static BOOL CALLBACK FindDialog(HWND window, LPARAM found)
{
    char name[16];
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

static void SetField(HWND dialog, int id, const char *text)
{
    if (text != nullptr)
        SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

static bool Checked(HWND dialog, int id)
{
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static DWORD WINAPI PlayPerson(void *argument)
{
    DialogScript *script = static_cast<DialogScript *>(argument);
    HWND dialog = nullptr;
    for (int i = 0; i < 200 && dialog == nullptr; i++) {
        Sleep(50);
        EnumThreadWindows(script->thread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
    }
    if (dialog == nullptr)
        return 0;
    // Let the dialog finish filling its fields: the printer's name is the
    // last to come on a busy machine. Give up waiting after 5 s and read
    // what is there.
    Sleep(100);
    for (int i = 0; i < 100; i++) {
        GetDlgItemTextA(dialog, PrinterList, script->printer, sizeof script->printer);
        if (script->printer[0] != '\0')
            break;
        Sleep(50);
    }
    Sleep(100);
    script->found = true;
    GetDlgItemTextA(dialog, PrinterList, script->printer, sizeof script->printer);
    GetDlgItemTextA(dialog, FromField, script->from, sizeof script->from);
    GetDlgItemTextA(dialog, ToField, script->to, sizeof script->to);
    GetDlgItemTextA(dialog, CopiesField, script->copies, sizeof script->copies);
    script->allChecked = Checked(dialog, AllPagesButton);
    script->selectionChecked = Checked(dialog, SelectionButton);
    script->pagesChecked = Checked(dialog, PagesButton);
    script->collateChecked = Checked(dialog, CollateBox);
    script->selectionEnabled = IsWindowEnabled(GetDlgItem(dialog, SelectionButton)) != FALSE;
    script->pagesEnabled = IsWindowEnabled(GetDlgItem(dialog, PagesButton)) != FALSE;
    script->toFileEnabled = IsWindowEnabled(GetDlgItem(dialog, PrintToFileBox)) != FALSE;
    SetField(dialog, CopiesField, script->setCopies);
    SetField(dialog, FromField, script->setFrom);
    SetField(dialog, ToField, script->setTo);
    if (script->pick != 0)
        SendMessageA(GetDlgItem(dialog, script->pick), BM_CLICK, 0, 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(script->button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, script->button)));
    return 0;
}

class PrintDialogs : public Printing {
protected:
    PrintSeams seams = {};
    VersionCalls savedVersion = {};
    PrinterMemoryCalls savedMemory = {};
    PrintDialogBinding savedBinding = {};

    // Tests here run on the library with its stand-in points reachable.
    void SetUp() override
    {
        Open("print_probe.fll");
        if (host == nullptr)
            return;
        PrintProbeCall probe = reinterpret_cast<PrintProbeCall>(
            reinterpret_cast<void *>(GetProcAddress(HostModule(host), PRINT_PROBE_EXPORT)));
        ASSERT_NE(probe, nullptr);
        probe(&seams);
        savedVersion = *seams.version;
        savedMemory = *seams.memory;
        savedBinding = *seams.dialog;
    }
    void TearDown() override
    {
        if (seams.version != nullptr) {
            *seams.version = savedVersion;
            *seams.memory = savedMemory;
            *seams.dialog = savedBinding;
        }
        Printing::TearDown();
    }

    // Settings object for the dialog: page options and the printer names.
    uint32_t DialogObject(int rangeType, bool allowRange, bool allowSelection, bool allowFile,
                          bool collate)
    {
        Settings plain = {1, collate, DMPAPER_LETTER, 1, DMORIENT_PORTRAIT, DMDUP_SIMPLEX, 300,
                          DMCOLOR_COLOR};
        uint32_t object = SettingsObject(plain);
        HostSetPropertyValue(host, object, "cDevPrinter", FoxString(printerName));
        HostSetPropertyValue(host, object, "cDevDriver", FoxString("winspool"));
        HostSetPropertyValue(host, object, "cDevOutput", FoxString("FKTEST:"));
        HostSetPropertyValue(host, object, "nPageRangeType", FoxInt(rangeType));
        HostSetPropertyValue(host, object, "lAllowPrintRange", FoxLogical(allowRange));
        HostSetPropertyValue(host, object, "lAllowPrintSelection", FoxLogical(allowSelection));
        HostSetPropertyValue(host, object, "lAllowPrintToFile", FoxLogical(allowFile));
        HostSetPropertyValue(host, object, "nPageRanges", FoxInt(1));
        HostSetPropertyValue(host, object, "nFromPage1", FoxInt(2));
        HostSetPropertyValue(host, object, "nToPage1", FoxInt(4));
        HostSetPropertyValue(host, object, "nMinPage", FoxInt(1));
        HostSetPropertyValue(host, object, "nMaxPage", FoxInt(10));
        return object;
    }

    // fkPrinterOpen on the dialog path with a person at the dialog.
    HDC OpenWithPerson(uint32_t object, DialogScript *script)
    {
        script->thread = GetCurrentThreadId();
        HANDLE person = CreateThread(nullptr, 0, PlayPerson, script, 0, nullptr);
        HDC context = PrinterOpen(FoxLogical(false), object);
        WaitForSingleObject(person, 15000);
        CloseHandle(person);
        return context;
    }
};

static BOOL WINAPI OlderWindows(OSVERSIONINFOA *info)
{
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 0;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

// Windows 2000 and later: the property-sheet dialog, which Wine shows as
// the classic Print dialog.
TEST_F(PrintDialogs, PropertySheetDialog)
{
    uint32_t object = DialogObject(3, true, false, false, true);
    DialogScript script = {};
    script.setCopies = "2";
    script.button = IDOK;
    HDC context = OpenWithPerson(object, &script);
    ASSERT_TRUE(script.found) << "no dialog came up";
    EXPECT_STREQ(script.printer, printerName) << "the printer of the names block";
    EXPECT_TRUE(script.pagesChecked);
    EXPECT_STREQ(script.from, "2");
    EXPECT_STREQ(script.to, "4");
    EXPECT_FALSE(script.selectionEnabled);
    EXPECT_TRUE(script.pagesEnabled);
    EXPECT_FALSE(script.toFileEnabled);
    EXPECT_TRUE(script.collateChecked);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(GetDeviceCaps(context, TECHNOLOGY), DT_RASPRINTER);
    EXPECT_EQ(TextOf(object, "cDevPrinter"), printerName);
    EXPECT_EQ(TextOf(object, "cDevDriver"), "wineps.drv") << "the names the dialog chose";
    std::string port = TextOf(object, "cDevOutput");
    EXPECT_TRUE(port.size() > 8 && port.compare(port.size() - 8, 8, "/page.ps") == 0) << port;
    EXPECT_EQ(IntOf(object, "nPageRangeType"), 3);
    // The copies and collation are the application's to make, not the driver's.
    EXPECT_EQ(IntOf(object, "nAppCopies"), 2);
    EXPECT_EQ(IntOf(object, "lAppCollate"), 1);
    EXPECT_EQ(IntOf(object, "nCopies"), 1);
    DeleteDC(context);

    // Cancel: no context, the names and driver settings stay as they were,
    // the page choice and the application's copies are still written.
    object = DialogObject(2, true, true, true, false);
    HostSetPropertyValue(host, object, "cDevOutput", FoxString("kept"));
    script = DialogScript();
    script.button = IDCANCEL;
    context = OpenWithPerson(object, &script);
    ASSERT_TRUE(script.found);
    EXPECT_TRUE(script.selectionChecked);
    EXPECT_TRUE(script.selectionEnabled);
    EXPECT_TRUE(script.toFileEnabled);
    EXPECT_FALSE(script.collateChecked);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(TextOf(object, "cDevOutput"), "kept");
    EXPECT_EQ(IntOf(object, "nPageRangeType"), 2);
    EXPECT_EQ(IntOf(object, "lAppCollate"), 0);
    // Written all the same, as an integer of width 10, from whatever count
    // the cancelled dialog left in the record.
    IntOf(object, "nAppCopies");

    // No page numbers allowed: the option is off and the limits are not read.
    object = DialogObject(0, false, true, true, false);
    WriteLog reads;
    HostSetServiceHook(host, ServiceGetProperty, RecordRead, &reads);
    script = DialogScript();
    script.button = IDCANCEL;
    OpenWithPerson(object, &script);
    HostSetServiceHook(host, ServiceGetProperty, nullptr, nullptr);
    ASSERT_TRUE(script.found);
    EXPECT_FALSE(script.pagesEnabled);
    EXPECT_TRUE(script.allChecked);
    EXPECT_FALSE(Contains(reads.names, "nMinPage")) << Joined(reads.names);
    EXPECT_FALSE(Contains(reads.names, "nFromPage1")) << Joined(reads.names);
}

// Before Windows 2000 the default printer is the profile's "device" entry
// (name, driver, port), cut at its first comma; with no entry the name is
// a single comma, which no driver knows. (Wine keeps the spooler's default
// printer in the same entry, so the two paths cannot be told apart by
// giving them different printers.)
TEST_F(PrintDialogs, OlderWindowsDefaultPrinter)
{
    seams.version->getVersionEx = OlderWindows;
    char saved[512];
    DWORD savedLength = GetProfileStringA("windows", "device", "", saved, sizeof saved);
    Settings plain = {1, false, DMPAPER_LETTER, 1, DMORIENT_PORTRAIT, DMDUP_SIMPLEX, 300, DMCOLOR_COLOR};

    std::string entry = std::string(printerName) + ",winspool,FKTEST:";
    ASSERT_TRUE(WriteProfileStringA("windows", "device", entry.c_str()));
    uint32_t object = SettingsObject(plain);
    HostSetPropertyValue(host, object, "cDevPrinter", FoxString(""));
    HDC context = PrinterOpen(FoxLogical(true), object);
    EXPECT_NE(context, nullptr);
    EXPECT_EQ(TextOf(object, "cDevPrinter"), printerName);
    DeleteDC(context);

    ASSERT_TRUE(WriteProfileStringA("windows", "device", nullptr));
    char check[16];
    GetProfileStringA("windows", "device", ",,,", check, sizeof check);
    EXPECT_STREQ(check, ",,,");
    object = SettingsObject(plain);
    std::string before = Snapshot(object);
    EXPECT_EQ(PrinterOpen(FoxLogical(true), object), nullptr);
    EXPECT_EQ(Snapshot(object), before);

    // An entry without a comma is the name as it stands.
    ASSERT_TRUE(WriteProfileStringA("windows", "device", printerName));
    object = SettingsObject(plain);
    context = PrinterOpen(FoxLogical(true), object);
    EXPECT_NE(context, nullptr);
    EXPECT_EQ(TextOf(object, "cDevPrinter"), printerName);
    DeleteDC(context);
    WriteProfileStringA("windows", "device", savedLength > 0 ? saved : nullptr);
}

// Before Windows 2000: PrintDlgA, one page range, and the person's choice
// comes back through the record.
TEST_F(PrintDialogs, ClassicDialog)
{
    seams.version->getVersionEx = OlderWindows;
    uint32_t object = DialogObject(3, true, true, true, false);
    DialogScript script = {};
    script.setFrom = "1";
    script.setTo = "3";
    script.setCopies = "2";
    script.button = IDOK;
    HDC context = OpenWithPerson(object, &script);
    ASSERT_TRUE(script.found);
    EXPECT_TRUE(script.pagesChecked);
    EXPECT_STREQ(script.from, "2");
    EXPECT_STREQ(script.to, "4");
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(IntOf(object, "nPageRangeType"), 3);
    EXPECT_EQ(IntOf(object, "nPageRanges"), 1);
    EXPECT_EQ(IntOf(object, "nFromPage1"), 1);
    EXPECT_EQ(IntOf(object, "nToPage1"), 3);
    EXPECT_EQ(TextOf(object, "cDevPrinter"), printerName);
    EXPECT_EQ(IntOf(object, "nAppCopies"), 2);
    EXPECT_EQ(IntOf(object, "lAppCollate"), 0);
    DeleteDC(context);

    // "Current page" does not exist here: the dialog opens on all pages;
    // the person picks the selection.
    object = DialogObject(1, true, true, true, false);
    script = DialogScript();
    script.pick = SelectionButton;
    script.button = IDOK;
    context = OpenWithPerson(object, &script);
    ASSERT_TRUE(script.found);
    EXPECT_TRUE(script.allChecked);
    EXPECT_NE(context, nullptr);
    EXPECT_EQ(IntOf(object, "nPageRangeType"), 2);
    DeleteDC(context);

    // Cancel: no context, and the page fields are still written back.
    object = DialogObject(3, true, true, true, true);
    script = DialogScript();
    script.button = IDCANCEL;
    context = OpenWithPerson(object, &script);
    ASSERT_TRUE(script.found);
    EXPECT_TRUE(script.collateChecked);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(IntOf(object, "nFromPage1"), 2);
    EXPECT_EQ(IntOf(object, "nToPage1"), 4);
    EXPECT_EQ(IntOf(object, "nPageRangeType"), 3);
    EXPECT_EQ(IntOf(object, "lAppCollate"), 1);
    EXPECT_EQ(TextOf(object, "cDevPrinter"), printerName) << "as it was";
}

// ---- The property-sheet dialog played through its binding --------------
// Wine's classic dialog cannot give several page ranges or settings
// applied and then cancelled; this stand-in answers as Windows' own
// property-sheet dialog does, and keeps what it was handed.

struct DialogPlay {
    int calls;
    PRINTDLGEXA seen;
    PRINTPAGERANGE seenRanges[7];
    DEVMODEA seenMode;
    WORD offsets[4];      // driver, device, output, default
    std::string driver, device, output;
    // the answer
    HRESULT answer;
    DWORD action;
    bool giveContext;
    DWORD flags;
    DWORD copies;
    DWORD rangeCount;
    PRINTPAGERANGE ranges[7];
    HDC given;
};
static DialogPlay play;

static HRESULT WINAPI PlayedPrintDlgEx(PRINTDLGEXA *record)
{
    play.calls++;
    play.seen = *record;
    if (record->lpPageRanges != nullptr)
        memcpy(play.seenRanges, record->lpPageRanges, sizeof play.seenRanges);
    const DEVMODEA *mode = static_cast<const DEVMODEA *>(GlobalLock(record->hDevMode));
    if (mode != nullptr) {
        play.seenMode = *mode;
        GlobalUnlock(record->hDevMode);
    }
    const char *names = static_cast<const char *>(GlobalLock(record->hDevNames));
    if (names != nullptr) {
        const DEVNAMES *n = reinterpret_cast<const DEVNAMES *>(names);
        WORD offsets[4] = {n->wDriverOffset, n->wDeviceOffset, n->wOutputOffset, n->wDefault};
        memcpy(play.offsets, offsets, sizeof offsets);
        play.driver = names + n->wDriverOffset;
        play.device = names + n->wDeviceOffset;
        play.output = names + n->wOutputOffset;
        GlobalUnlock(record->hDevNames);
    }
    if (play.answer != S_OK)
        return play.answer;
    record->dwResultAction = play.action;
    record->Flags = play.flags;
    record->nCopies = play.copies;
    record->nPageRanges = play.rangeCount;
    if (record->lpPageRanges != nullptr)
        memcpy(record->lpPageRanges, play.ranges, sizeof play.ranges);
    if (play.giveContext) {
        play.given = CreateDCA(nullptr, printerName, nullptr, nullptr);
        record->hDC = play.given;
    }
    return S_OK;
}

static FARPROC WINAPI BindPlayed(HMODULE module, LPCSTR name)
{
    if (strcmp(name, "PrintDlgExA") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(PlayedPrintDlgEx));
    return GetProcAddress(module, name);
}
static FARPROC WINAPI BindNothing(HMODULE, LPCSTR) { return nullptr; }
static HMODULE WINAPI NoLibrary(LPCSTR) { return nullptr; }

// Global memory that fails at the nth allocation or lock of a call.
static int allocCalls, failAllocAt, lockCalls, failLockAt;
static HGLOBAL WINAPI CountedAlloc(UINT flags, SIZE_T bytes)
{
    return ++allocCalls == failAllocAt ? nullptr : GlobalAlloc(flags, bytes);
}
static LPVOID WINAPI CountedLock(HGLOBAL block)
{
    return ++lockCalls == failLockAt ? nullptr : GlobalLock(block);
}

class PlayedDialog : public PrintDialogs {
protected:
    void SetUp() override
    {
        PrintDialogs::SetUp();
        play = DialogPlay();
        if (seams.dialog != nullptr)
            seams.dialog->getProcAddress = BindPlayed;
    }
};

TEST_F(PlayedDialog, Record)
{
    struct Case {
        int rangeType;
        bool range, selection, file, collate;
        DWORD flags;
    } cases[] = {
        {3, true, false, false, true,
         PD_RETURNDC | PD_PAGENUMS | PD_DISABLEPRINTTOFILE | PD_NOSELECTION | PD_COLLATE},
        {1, true, true, true, false, PD_RETURNDC | PD_CURRENTPAGE},
        {2, false, true, true, false, PD_RETURNDC | PD_SELECTION | PD_NOPAGENUMS},
        {0, true, false, true, false, PD_RETURNDC | PD_NOSELECTION},
        {9, false, false, false, true,
         PD_RETURNDC | PD_DISABLEPRINTTOFILE | PD_NOSELECTION | PD_NOPAGENUMS | PD_COLLATE},
    };
    for (const Case &c : cases) {
        play = DialogPlay();
        uint32_t object = DialogObject(c.rangeType, c.range, c.selection, c.file, c.collate);
        HostSetPropertyValue(host, object, "nCopies", FoxInt(4));
        HostSetPropertyValue(host, object, "nFromPage7", FoxInt(70));
        HostSetPropertyValue(host, object, "nToPage7", FoxInt(71));
        EXPECT_EQ(PrinterOpen(FoxLogical(false), object), nullptr) << "the played dialog cancels";
        ASSERT_EQ(play.calls, 1);
        const PRINTDLGEXA &r = play.seen;
        EXPECT_EQ(r.lStructSize, 84u);
        EXPECT_EQ(r.hwndOwner, owner);
        EXPECT_EQ(r.Flags, c.flags) << std::hex << r.Flags << " for range type " << c.rangeType;
        EXPECT_EQ(r.Flags2, 0u);
        EXPECT_EQ(r.ExclusionFlags, 0x8100u);
        EXPECT_EQ(r.nStartPage, 0xFFFFFFFFu);
        EXPECT_EQ(r.nCopies, 0u);
        EXPECT_EQ(r.hInstance, nullptr);
        EXPECT_EQ(r.nPropertyPages, 0u);
        if (c.range) {
            ASSERT_NE(r.lpPageRanges, nullptr);
            EXPECT_EQ(r.nMaxPageRanges, 7u);
            EXPECT_EQ(r.nPageRanges, 1u);
            EXPECT_EQ(r.nMinPage, 1u);
            EXPECT_EQ(r.nMaxPage, 10u);
            EXPECT_EQ(play.seenRanges[0].nFromPage, 2u);
            EXPECT_EQ(play.seenRanges[0].nToPage, 4u);
            EXPECT_EQ(play.seenRanges[6].nFromPage, 70u) << "all seven pairs are read";
            EXPECT_EQ(play.seenRanges[6].nToPage, 71u);
        } else {
            EXPECT_EQ(r.lpPageRanges, nullptr);
            EXPECT_EQ(r.nMaxPageRanges, 0u);
            EXPECT_EQ(r.nMinPage, 0u);
            EXPECT_EQ(r.nMaxPage, 0u);
        }
        // The driver settings block as the settings object filled it.
        EXPECT_EQ(play.seenMode.dmFields, 0x9F03u) << std::hex << play.seenMode.dmFields;
        EXPECT_EQ(play.seenMode.dmCopies, 4);
        EXPECT_EQ(play.seenMode.dmCollate, c.collate ? 1 : 0);
        EXPECT_STREQ(reinterpret_cast<const char *>(play.seenMode.dmDeviceName), printerName);
        // The names block: driver, device, output.
        EXPECT_EQ(play.offsets[0], 8);
        EXPECT_EQ(play.offsets[1], 8 + strlen("winspool") + 1);
        EXPECT_EQ(play.offsets[2], play.offsets[1] + strlen(printerName) + 1);
        EXPECT_EQ(play.offsets[3], 0);
        EXPECT_EQ(play.driver, "winspool");
        EXPECT_EQ(play.device, printerName);
        EXPECT_EQ(play.output, "FKTEST:");
    }

    // Empty names, and names that are no texts: three empty strings.
    play = DialogPlay();
    uint32_t object = DialogObject(0, true, true, true, false);
    HostSetPropertyValue(host, object, "cDevPrinter", FoxString(""));
    HostSetPropertyValue(host, object, "cDevDriver", FoxInt(5));
    HostSetPropertyValue(host, object, "cDevOutput", FoxLogical(true));
    PrinterOpen(FoxLogical(false), object);
    ASSERT_EQ(play.calls, 1) << "the default printer's settings, then the dialog";
    EXPECT_EQ(play.offsets[0], 8);
    EXPECT_EQ(play.offsets[1], 9);
    EXPECT_EQ(play.offsets[2], 10);
    EXPECT_EQ(play.driver + play.device + play.output, "");
}

// What the person chose comes back into the settings object.
TEST_F(PlayedDialog, Choices)
{
    struct Case {
        const char *what;
        DWORD action;
        DWORD flags;
        DWORD copies;
        DWORD rangeCount;
        int rangeType;       // written back
        bool context;        // kept
    } cases[] = {
        {"pages 1-3 and 7, 3 collated copies", PD_RESULT_PRINT, PD_PAGENUMS | PD_COLLATE, 3, 2, 3, true},
        {"the selection", PD_RESULT_PRINT, PD_SELECTION, 1, 0, 2, true},
        {"the current page", PD_RESULT_PRINT, PD_CURRENTPAGE, 1, 0, 1, true},
        {"all pages", PD_RESULT_PRINT, 0, 1, 0, 0, true},
        {"applied, then cancelled", PD_RESULT_APPLY, PD_PAGENUMS, 2, 1, 3, false},
        {"cancelled", PD_RESULT_CANCEL, PD_SELECTION, 1, 0, 2, false},
    };
    for (const Case &c : cases) {
        play = DialogPlay();
        play.action = c.action;
        play.flags = c.flags;
        play.copies = c.copies;
        play.rangeCount = c.rangeCount;
        play.ranges[0] = {1, 3};
        play.ranges[1] = {7, 7};
        play.ranges[2] = {9, 9};
        play.giveContext = c.action != PD_RESULT_CANCEL;
        uint32_t object = DialogObject(3, true, true, true, false);
        HDC context = PrinterOpen(FoxLogical(false), object);
        ASSERT_EQ(play.calls, 1) << c.what;
        EXPECT_EQ(context != nullptr, c.context) << c.what;
        if (c.context) {
            EXPECT_EQ(context, play.given) << c.what;
        }
        EXPECT_EQ(IntOf(object, "nPageRangeType"), c.rangeType) << c.what;
        EXPECT_EQ(IntOf(object, "nAppCopies"), int32_t(c.copies)) << c.what;
        EXPECT_EQ(IntOf(object, "lAppCollate"), (c.flags & PD_COLLATE) ? 1 : 0) << c.what;
        if (c.flags & PD_PAGENUMS) {
            EXPECT_EQ(IntOf(object, "nPageRanges"), int32_t(c.rangeCount)) << c.what;
            EXPECT_EQ(IntOf(object, "nFromPage1"), 1) << c.what;
            EXPECT_EQ(IntOf(object, "nToPage1"), 3) << c.what;
        }
        if (c.rangeCount == 2) {
            EXPECT_EQ(IntOf(object, "nFromPage2"), 7);
            EXPECT_EQ(IntOf(object, "nToPage2"), 7);
        }
        FoxValue third;
        EXPECT_FALSE(HostGetPropertyValue(host, object, "nFromPage3", &third))
            << "only the ranges given are written";
        if (c.action == PD_RESULT_APPLY) {
            // The settings were applied: written back, and the context deleted.
            EXPECT_EQ(TextOf(object, "cDevDriver"), "winspool");
            EXPECT_EQ(GetObjectType(play.given), 0u) << "the discarded context is deleted";
        }
        if (c.action == PD_RESULT_CANCEL) {
            EXPECT_EQ(TextOf(object, "cDevOutput"), "FKTEST:") << "no names written back";
        }
        if (context != nullptr)
            DeleteDC(context);
    }

    // A dialog that reports more ranges than the seven the block holds:
    // the count goes back as given, the pairs only as far as the block.
    play = DialogPlay();
    play.action = PD_RESULT_PRINT;
    play.flags = PD_PAGENUMS;
    play.copies = 1;
    play.rangeCount = 9;
    for (DWORD k = 0; k < 7; k++)
        play.ranges[k] = {10 * (k + 1), 10 * (k + 1) + 1};
    play.giveContext = true;
    uint32_t object = DialogObject(3, true, true, true, false);
    HDC context = PrinterOpen(FoxLogical(false), object);
    ASSERT_EQ(play.calls, 1);
    EXPECT_NE(context, nullptr);
    EXPECT_EQ(IntOf(object, "nPageRanges"), 9);
    for (int k = 1; k <= 7; k++) {
        std::string digit = std::to_string(k);
        EXPECT_EQ(IntOf(object, ("nFromPage" + digit).c_str()), 10 * k) << "range " << k;
        EXPECT_EQ(IntOf(object, ("nToPage" + digit).c_str()), 10 * k + 1) << "range " << k;
    }
    FoxValue eighth;
    EXPECT_FALSE(HostGetPropertyValue(host, object, "nFromPage8", &eighth))
        << "nothing is read past the block";
    if (context != nullptr)
        DeleteDC(context);
}

// No property-sheet dialog to be had: 0, no message, and the write-back
// from the record as it was filled.
TEST_F(PlayedDialog, Unavailable)
{
    struct Case {
        const char *what;
        HMODULE(WINAPI *load)(LPCSTR);
        FARPROC(WINAPI *bind)(HMODULE, LPCSTR);
        HRESULT answer;
    } cases[] = {
        {"no Comdlg32.dll", NoLibrary, BindPlayed, S_OK},
        {"no PrintDlgExA in it", LoadLibraryA, BindNothing, S_OK},
        {"the call fails", LoadLibraryA, BindPlayed, E_HANDLE},
    };
    for (const Case &c : cases) {
        for (bool collate : {false, true}) {
            play = DialogPlay();
            play.answer = c.answer;
            seams.dialog->loadLibrary = c.load;
            seams.dialog->getProcAddress = c.bind;
            uint32_t object = DialogObject(3, true, true, true, collate);
            EXPECT_EQ(PrinterOpen(FoxLogical(false), object), nullptr) << c.what;
            EXPECT_EQ(IntOf(object, "nAppCopies"), 0) << c.what;
            EXPECT_EQ(IntOf(object, "lAppCollate"), collate ? 1 : 0) << c.what;
            EXPECT_EQ(IntOf(object, "nPageRangeType"), 3) << c.what;
            EXPECT_EQ(IntOf(object, "nPageRanges"), 1) << c.what;
            EXPECT_EQ(IntOf(object, "nFromPage1"), 2) << c.what;
            EXPECT_EQ(HostDialogCount(host), 0) << c.what;
        }
    }
}

// A driver settings, device-name or page-range block that cannot be had
// (or locked): 0, no dialog, and the settings object as it was.
TEST_F(PlayedDialog, BlocksThatCannotBeHad)
{
    struct Case {
        const char *what;
        bool direct;
        int failAlloc, failLock;
    } cases[] = {
        {"driver settings, direct", true, 1, 0},
        {"driver settings, dialog", false, 1, 0},
        {"driver settings lock", true, 0, 1},
        {"device names", false, 2, 0},
        {"device names lock", false, 0, 2},
        {"page ranges", false, 3, 0},
        {"driver settings lock at the write-back", true, 0, 2},
    };
    seams.memory->alloc = CountedAlloc;
    seams.memory->lock = CountedLock;
    for (const Case &c : cases) {
        play = DialogPlay();
        play.action = PD_RESULT_PRINT;
        play.giveContext = true;
        allocCalls = lockCalls = 0;
        failAllocAt = c.failAlloc;
        failLockAt = c.failLock;
        uint32_t object = DialogObject(3, true, true, true, false);
        std::string before = Snapshot(object);
        FoxValue choice = c.direct ? FoxString(printerName) : FoxLogical(false);
        EXPECT_EQ(PrinterOpen(choice, object), nullptr) << c.what;
        EXPECT_EQ(play.calls, 0) << c.what;
        EXPECT_EQ(Snapshot(object), before) << c.what;
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << c.what;
    }
    // The same blocks, had: the calls go through.
    allocCalls = lockCalls = 0;
    failAllocAt = failLockAt = 0;
    play = DialogPlay();
    play.action = PD_RESULT_PRINT;
    play.giveContext = true;
    HDC context = PrinterOpen(FoxLogical(false), DialogObject(3, true, true, true, false));
    EXPECT_NE(context, nullptr);
    EXPECT_EQ(allocCalls, 3) << "driver settings, device names, page ranges";
    DeleteDC(context);
}
