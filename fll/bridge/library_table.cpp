// The rows of the library table, in the order the host expects them; each
// unit of functions declares its functions in its own header.
#include "library_table.h"
#include "../system/archive.h"
#include "../system/controls.h"
#include "../system/registry.h"
#include "../system/scramble.h"
#include "../system/utility.h"
#include "../ui/confirm_prompt.h"
#include "../ui/file_dialogs.h"
#include "../ui/monitor.h"
#include "../ui/printer_document.h"
#include "../ui/printer_select.h"

static const FunctionEntry libraryRows[] = {
    {"fkAbout", fkAbout, 0, ""},
    {"fkGetFLLVersion", fkGetFLLVersion, 0, ""},
    {"fkGetActivityCount", fkGetActivityCount, 1, ".?"},
    {"fkIsPath", fkIsPath, 1, "C"},
    {"fkAddProperty", fkAddProperty, 2, "O,C"},
    {"fkSaveAsDialog", fkSaveAsDialog, 9, ".C,.C,.?,.I,.C,.C,.C,.C,.C"},
    {"fkOpenDialog", fkOpenDialog, 9, ".C,.C,.?,.I,.C,.C,.C,.C,.C"},
    {"fkTriggerCallback", fkTriggerCallback, 2, "I,.I"},
    {"fkSetMouseTrap", fkSetMouseTrap, 1, "I"},
    {"fkSetCallbackTimer", fkSetCallbackTimer, 2, "O,I"},
    {"fkCancelCallbackTimer", fkCancelCallbackTimer, 0, ""},
    {"fkEncrypt", fkEncrypt, 2, "?,C"},
    {"fkGetUserName", fkGetUserName, 1, "C"},
    {"fkFieldInfo", fkFieldInfo, 3, "?,.R,.R"},
    {"fkRegDeleteKey", fkRegDeleteKey, 2, "I,C"},
    {"fkRegDeleteValue", fkRegDeleteValue, 2, "I,C"},
    {"fkRegGetValue", fkRegGetValue, 3, "I,C,R"},
    {"fkRegSetString", fkRegSetString, 3, "I,C,C"},
    {"fkRegSetInteger", fkRegSetInteger, 3, "I,C,I"},
    {"fkRegSetBinaryString", fkRegSetBinaryString, 3, "I,C,C"},
    {"fkKeyModifier", fkKeyModifier, 0, ""},
    {"fkLastKey", fkLastKey, 0, ""},
    {"fkSetConfirmPrompt", fkSetConfirmPrompt, 2, "C,C"},
    {"fkZip", fkZip, 2, "C,C"},
    {"fkUnZip", fkUnZip, 3, "C,C,C"},
    {"fkPrinterOpen", fkPrinterOpen, 2, "?,O"},
    {"fkPrinterClose", fkPrinterClose, 1, "I"},
    {"fkPrinterStartDoc", fkPrinterStartDoc, 2, "I,C"},
    {"fkPrinterEndDoc", fkPrinterEndDoc, 1, "I"},
    {"fkRegisterControl", fkRegisterControl, 1, "C"},
    {"fkUnregisterControl", fkUnregisterControl, 1, "C"},
    {"ONLOAD", MonitorLoad, LoadRowCount, ""},
    {"ONUNLOAD", MonitorUnload, UnloadRowCount, ""},
};

const LibraryTable libraryTable = {
    nullptr,
    static_cast<int16_t>(sizeof libraryRows / sizeof libraryRows[0]),
    libraryRows,
};
