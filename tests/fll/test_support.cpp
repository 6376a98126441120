// What several library tests share besides the host: running a program
// that lies beside the test, and reading a print job back from the test
// printer's output file.
#include "test_support.h"
#include <stdio.h>
#include "fllhost.h"

// Runs a program beside this one and answers its exit code (-1 when it
// cannot be started).
int RunBeside(const char *program, const char *arguments)
{
    char path[MAX_PATH], command[2 * MAX_PATH];
    if (!HostPathBesideProgram(program, path, sizeof path))
        return -1;
    snprintf(command, sizeof command, "\"%s\" %s", path, arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    WaitForSingleObject(process.hThread, INFINITE);
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}

std::string ReadFileText(const char *path)
{
    std::string text;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[65536];
    DWORD read;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

// The text a PostScript job shows: its "(text) show" strings and the
// glyphs it shows one by one by name ("/H glyphshow", "/space glyphshow").
std::string ShownText(const std::string &postscript)
{
    static const char *const digits[] = {"zero", "one", "two", "three", "four",
                                         "five", "six", "seven", "eight", "nine"};
    std::string shown;
    size_t at = 0;
    while ((at = postscript.find(" glyphshow", at)) != std::string::npos) {
        size_t slash = postscript.rfind('/', at);
        std::string glyph = postscript.substr(slash + 1, at - slash - 1);
        at++;
        if (glyph.size() == 1)
            shown += glyph;
        else if (glyph == "space")
            shown += ' ';
        for (int d = 0; d < 10; d++)
            if (glyph == digits[d])
                shown += char('0' + d);
    }
    at = 0;
    while ((at = postscript.find(") show", at)) != std::string::npos) {
        size_t open = postscript.rfind('(', at);
        shown += postscript.substr(open + 1, at - open - 1);
        at++;
    }
    return shown;
}


const ExpectedRow expectedLibraryRows[] = {
    {"fkAbout", 0, ""},
    {"fkGetFLLVersion", 0, ""},
    {"fkGetActivityCount", 1, ".?"},
    {"fkIsPath", 1, "C"},
    {"fkAddProperty", 2, "O,C"},
    {"fkSaveAsDialog", 9, ".C,.C,.?,.I,.C,.C,.C,.C,.C"},
    {"fkOpenDialog", 9, ".C,.C,.?,.I,.C,.C,.C,.C,.C"},
    {"fkTriggerCallback", 2, "I,.I"},
    {"fkSetMouseTrap", 1, "I"},
    {"fkSetCallbackTimer", 2, "O,I"},
    {"fkCancelCallbackTimer", 0, ""},
    {"fkEncrypt", 2, "?,C"},
    {"fkGetUserName", 1, "C"},
    {"fkFieldInfo", 3, "?,.R,.R"},
    {"fkRegDeleteKey", 2, "I,C"},
    {"fkRegDeleteValue", 2, "I,C"},
    {"fkRegGetValue", 3, "I,C,R"},
    {"fkRegSetString", 3, "I,C,C"},
    {"fkRegSetInteger", 3, "I,C,I"},
    {"fkRegSetBinaryString", 3, "I,C,C"},
    {"fkKeyModifier", 0, ""},
    {"fkLastKey", 0, ""},
    {"fkSetConfirmPrompt", 2, "C,C"},
    {"fkZip", 2, "C,C"},
    {"fkUnZip", 3, "C,C,C"},
    {"fkPrinterOpen", 2, "?,O"},
    {"fkPrinterClose", 1, "I"},
    {"fkPrinterStartDoc", 2, "I,C"},
    {"fkPrinterEndDoc", 1, "I"},
    {"fkRegisterControl", 1, "C"},
    {"fkUnregisterControl", 1, "C"},
    {"ONLOAD", -2, ""},
    {"ONUNLOAD", -3, ""},
};
const int expectedLibraryRowCount = int(sizeof expectedLibraryRows / sizeof expectedLibraryRows[0]);
