// The rows of the library table, in the order the host expects them. Each
// unit of functions declares them in its own header; a function that is
// not built yet simply has no row, and the rows keep their order.
#include "library_table.h"
#include "../system/utility.h"
#include "../ui/file_dialogs.h"

static const FunctionEntry libraryRows[] = {
    {"fkAbout", fkAbout, 0, ""},
    {"fkGetFLLVersion", fkGetFLLVersion, 0, ""},
    // fkGetActivityCount
    {"fkIsPath", fkIsPath, 1, "C"},
    {"fkAddProperty", fkAddProperty, 2, "O,C"},
    {"fkSaveAsDialog", fkSaveAsDialog, 9, ".C,.C,.?,.I,.C,.C,.C,.C,.C"},
    {"fkOpenDialog", fkOpenDialog, 9, ".C,.C,.?,.I,.C,.C,.C,.C,.C"},
    // fkTriggerCallback
    // fkSetMouseTrap
    // fkSetCallbackTimer
    // fkCancelCallbackTimer
    // fkEncrypt
    {"fkGetUserName", fkGetUserName, 1, "C"},
    {"fkFieldInfo", fkFieldInfo, 3, "?,.R,.R"},
    // fkRegDeleteKey
    // fkRegDeleteValue
    // fkRegGetValue
    // fkRegSetString
    // fkRegSetInteger
    // fkRegSetBinaryString
    // fkKeyModifier
    // fkLastKey
    // fkSetConfirmPrompt
    // fkZip
    // fkUnZip
    // fkPrinterOpen
    // fkPrinterClose
    // fkPrinterStartDoc
    // fkPrinterEndDoc
    // fkRegisterControl
    // fkUnregisterControl
    // ONLOAD
    // ONUNLOAD
};

const LibraryTable libraryTable = {
    nullptr,
    static_cast<int16_t>(sizeof libraryRows / sizeof libraryRows[0]),
    libraryRows,
};
