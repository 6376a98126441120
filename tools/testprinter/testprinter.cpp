// testprinter.exe [OUTPUT [NAME]]: gives the Wine prefix a PostScript printer of
// the project's own and makes it the default printer, so that printing can
// be tried on a machine that has none.
//
// The printer, "Falkmoor Test PostScript", uses Wine's PostScript driver
// with the printer description testprinter.ppd found beside this program.
// Its port is a plain file: every job overwrites OUTPUT (a Windows path,
// default C:\printer\page.ps, which lies in the prefix's drive_c) with the
// job's PostScript. Running the tool again keeps a printer that already
// prints to OUTPUT and rebuilds one that prints elsewhere.
//
// With NAME, a further printer of that name is made the same way, and the
// default printer is left as it is.
//
// Prints "printer: NAME" and "output: WINDOWS-PATH = UNIX-PATH"; exit code
// 0, or 1 with a message on standard error.
#include <windows.h>
#include <winspool.h>
#include <stdio.h>
#include <string.h>

static const char standardName[] = "Falkmoor Test PostScript";
static const char *printerName = standardName;
static const char driverName[] = "Falkmoor Test PostScript Driver";
static const char defaultOutput[] = "C:\\printer\\page.ps";

// Wine's own path conversion; its answer lives on the process heap.
typedef char *(CDECL *UnixFileNameCall)(const WCHAR *path);

static int Fail(const char *what, DWORD error)
{
    fprintf(stderr, "testprinter: %s failed with %lu\n", what, error);
    return 1;
}

// The Unix path the Wine prefix gives a Windows path; false outside Wine.
static bool UnixPathOf(const char *windowsPath, char *unixPath, size_t capacity)
{
    UnixFileNameCall convert = reinterpret_cast<UnixFileNameCall>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    WCHAR wide[MAX_PATH];
    if (convert == nullptr || MultiByteToWideChar(CP_ACP, 0, windowsPath, -1, wide, MAX_PATH) == 0)
        return false;
    char *converted = convert(wide);
    if (converted == nullptr)
        return false;
    bool fits = strlen(converted) < capacity;
    if (fits)
        strcpy(unixPath, converted);
    HeapFree(GetProcessHeap(), 0, converted);
    return fits;
}

// Makes the folder of path, and its parents, where missing. Every
// backslash ends a folder to make; the drive ("C:") fails harmlessly.
static void MakeFolderOf(const char *path)
{
    char folder[MAX_PATH];
    lstrcpynA(folder, path, MAX_PATH);
    for (char *p = folder; *p != '\0'; p++)
        if (*p == '\\' && p > folder) {
            *p = '\0';
            CreateDirectoryA(folder, nullptr);
            *p = '\\';
        }
}

// Whether the printer exists. Its port goes into port, or the empty text
// when its details cannot be read, so that such a printer is rebuilt
// rather than added a second time.
static bool PrinterExists(char *port, size_t capacity)
{
    port[0] = '\0';
    HANDLE printer;
    if (!OpenPrinterA(const_cast<char *>(printerName), &printer, nullptr))
        return false;
    DWORD needed = 0;
    GetPrinterA(printer, 2, nullptr, 0, &needed);
    BYTE *buffer = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed + 1));
    bool known = buffer != nullptr && GetPrinterA(printer, 2, buffer, needed, &needed);
    if (known)
        lstrcpynA(port, reinterpret_cast<PRINTER_INFO_2A *>(buffer)->pPortName, int(capacity));
    HeapFree(GetProcessHeap(), 0, buffer);
    ClosePrinter(printer);
    return true;
}

static bool DeleteOldPrinter()
{
    HANDLE printer;
    PRINTER_DEFAULTSA access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterA(const_cast<char *>(printerName), &printer, &access))
        return false;
    BOOL deleted = DeletePrinter(printer);
    ClosePrinter(printer);
    return deleted != FALSE;
}

// Installs the driver: Wine's PostScript driver with our description file,
// which Wine copies into its driver folder.
static bool AddDriver(const char *descriptionPath)
{
    char driverFile[] = "C:\\windows\\system32\\wineps.drv";
    DRIVER_INFO_3A driver;
    memset(&driver, 0, sizeof driver);
    driver.cVersion = 3;
    driver.pName = const_cast<char *>(driverName);
    driver.pEnvironment = nullptr;
    driver.pDriverPath = driverFile;
    driver.pConfigFile = driverFile;
    driver.pDataFile = const_cast<char *>(descriptionPath);
    return AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE *>(&driver),
                               APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY) != FALSE;
}

// Adds the printer on the file port. AddPrinterA may leave a stray last
// error behind on success: only the handle tells.
static bool AddFilePrinter(const char *port)
{
    PRINTER_INFO_2A info;
    memset(&info, 0, sizeof info);
    info.pPrinterName = const_cast<char *>(printerName);
    info.pPortName = const_cast<char *>(port);
    info.pDriverName = const_cast<char *>(driverName);
    info.pPrintProcessor = const_cast<char *>("WinPrint");
    info.pDatatype = const_cast<char *>("RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE *>(&info));
    if (printer == nullptr)
        return false;
    ClosePrinter(printer);
    return true;
}

int main(int argc, char **argv)
{
    const char *output = argc > 1 ? argv[1] : defaultOutput;
    if (argc > 2)
        printerName = argv[2];
    char description[MAX_PATH], port[MAX_PATH], current[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, description, MAX_PATH);
    char *slash = strrchr(description, '\\');
    if (length == 0 || length >= MAX_PATH || slash == nullptr ||
        size_t(slash + 1 - description) + sizeof "testprinter.ppd" > MAX_PATH)
        return Fail("GetModuleFileNameA", GetLastError());
    strcpy(slash + 1, "testprinter.ppd");
    if (GetFileAttributesA(description) == INVALID_FILE_ATTRIBUTES)
        return Fail("finding testprinter.ppd beside the program", GetLastError());
    MakeFolderOf(output);
    if (!UnixPathOf(output, port, sizeof port))
        return Fail("wine_get_unix_file_name (this tool needs Wine)", GetLastError());

    bool present = PrinterExists(current, sizeof current);
    if (!present || strcmp(current, port) != 0) {
        if (present && !DeleteOldPrinter())
            return Fail("DeletePrinter", GetLastError());
        if (!AddDriver(description))
            return Fail("AddPrinterDriverExA", GetLastError());
        if (!AddFilePrinter(port))
            return Fail("AddPrinterA", GetLastError());
    }
    if (printerName == standardName && !SetDefaultPrinterA(printerName))
        return Fail("SetDefaultPrinterA", GetLastError());
    printf("printer: %s\noutput: %s = %s\n", printerName, output, port);
    return 0;
}
