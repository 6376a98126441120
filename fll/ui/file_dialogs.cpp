// The file dialogs: the Windows common open and save dialogs, Explorer
// style, with the additions carried out by a hook.
#include "file_dialogs.h"
#include <commdlg.h>
#include <string.h>
#include "file_dialog_text.h"
#include "../bridge/handles.h"
#include "../bridge/host_services.h"
#include "../bridge/param_text.h"

// The dialog record counts its trailing reserved fields and FlagsEx: the
// size that the Explorer-style dialogs of newer Windows expect.
static_assert(sizeof(OPENFILENAMEA) == 88, "the dialog record has 88 bytes");

// Parameter positions, counted from 1.
const int FileNameParameter = 1;
const int FilterParameter = 2;
const int FilterIndexParameter = 3;
const int FlagsParameter = 4;
const int TitleParameter = 5;
const int FirstLabelParameter = 6;

// The file-name field: edt1 in dialogs that have one, else the combo box
// cmb13 that the newer Explorer-style dialogs use instead.
const int FileNameEdit = 1152;
const int FileNameCombo = 1148;

// Room CDM_GETSPEC may fill, inside a buffer of FileBufferBytes.
const WPARAM TypedNameLimit = 250;

// The parameter at position (from 1), or null when the call has fewer.
static ParamSlot *Parameter(ParamBlock *parameters, int position)
{
    return parameters->count >= position ? &parameters->slots[position - 1] : nullptr;
}

// A character parameter of length 0 counts as not given.
static bool TextGiven(ParamBlock *parameters, int position)
{
    ParamSlot *slot = Parameter(parameters, position);
    return slot != nullptr && slot->value.length > 0;
}

// Locks the label texts that were given and keeps their addresses for the
// hook, which reads them while the dialog runs; locked[i] is the handle
// to unlock afterwards, 0 for none.
static void LockLabels(ParamBlock *parameters, FileDialogState *state, MemHandle locked[LabelCount])
{
    for (int i = 0; i < LabelCount; i++) {
        locked[i] = 0;
        if (!TextGiven(parameters, FirstLabelParameter + i))
            continue;
        const HostValue &text = parameters->slots[FirstLabelParameter - 1 + i].value;
        state->labels[i] = ParamStringLocked(text.handle, text.length);
        locked[i] = text.handle;
    }
}

static void UnlockLabels(const MemHandle locked[LabelCount])
{
    for (int i = 0; i < LabelCount; i++)
        if (locked[i] != 0)
            HandleUnlock(locked[i]);
}

// Copies the initial file name into the file buffer, cut to the longest
// name the dialog may write; the buffer is zero-filled, so it stays
// terminated.
static void CopyFileName(const HostValue &name, char *file)
{
    const char *bytes = static_cast<const char *>(HandleToPtr(name.handle));
    if (bytes == nullptr)
        return;
    uint32_t count = name.length < FileNameLimit ? name.length : FileNameLimit;
    memcpy(file, bytes, count);
    file[count] = '\0';
}

// Converts the filter text into filter; answers the number of "|" met.
static int32_t ConvertFilterParameter(const HostValue &text, char *filter, FileDialogState *state)
{
    const char *bytes = static_cast<const char *>(HandleToPtr(text.handle));
    uint32_t length = bytes != nullptr ? text.length : 0;
    return ConvertFilter(bytes, length, filter, state->slots);
}

// The starting filter index from a number, an integer, or a variable
// holding one. Anything else is host error 302; a text loaded through the
// reference is freed first, and the labels are unlocked on the way out.
static DWORD InitialFilterIndex(ParamSlot *slot, const MemHandle locked[LabelCount])
{
    HostValue value = slot->value;
    if (slot->value.type == 'R') {
        memset(&value, 0, sizeof value);
        HostLoad(&slot->locator, &value);
        if (value.type == 'C')
            HandleFree(value.handle);
    }
    if (value.type != 'N' && value.type != 'I') {
        UnlockLabels(locked);
        HostError(HostErrorBadType);
    }
    return DWORD(value.longValue);
}

// Stores the dialog's final filter index into the referenced variable.
static void StoreFilterIndex(ParamSlot *slot, DWORD filterIndex)
{
    HostValue value;
    memset(&value, 0, sizeof value);
    value.type = 'I';
    value.width = IntegerWidth;
    value.longValue = int32_t(filterIndex);
    value.real = 0.0;
    HostStore(&slot->locator, &value);
}

void ShowFileDialog(ParamBlock *parameters, bool save)
{
    char file[FileBufferBytes];
    char filter[FilterBufferBytes];
    FileDialogState state;
    memset(file, 0, sizeof file);
    memset(filter, 0, sizeof filter);
    memset(&state, 0, sizeof state);

    MemHandle locked[LabelCount];
    LockLabels(parameters, &state, locked);

    ParamSlot *flagsSlot = Parameter(parameters, FlagsParameter);
    uint32_t flags = flagsSlot != nullptr ? uint32_t(flagsSlot->value.longValue) : 0;
    state.viewCommand = ViewCommandFor(flags);

    if (ParamSlot *name = Parameter(parameters, FileNameParameter))
        CopyFileName(name->value, file);

    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = HostWindowToHwnd(HostOwnerWindow(0, 1));
    dialog.lpstrFile = file;
    dialog.nMaxFile = FileNameLimit;
    dialog.Flags = DialogFlagsFor(flags);
    dialog.lCustData = reinterpret_cast<LPARAM>(&state);
    dialog.lpfnHook = FileDialogHook;

    ParamSlot *indexSlot = Parameter(parameters, FilterIndexParameter);
    if (TextGiven(parameters, FilterParameter)) {
        int32_t separators =
            ConvertFilterParameter(parameters->slots[FilterParameter - 1].value, filter, &state);
        if (save)
            state.separatorCount = separators;
        dialog.lpstrFilter = filter;
        if (indexSlot != nullptr)
            dialog.nFilterIndex = InitialFilterIndex(indexSlot, locked);
    }

    if (TextGiven(parameters, TitleParameter)) {
        const HostValue &title = parameters->slots[TitleParameter - 1].value;
        dialog.lpstrTitle = ParamString(title.handle, title.length);
    }

    BOOL chosen = save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    HostReturnString(chosen ? file : "");

    // Even after a cancel, and even without a filter, the variable learns
    // the index the dialog ended on.
    if (indexSlot != nullptr && indexSlot->value.type == 'R')
        StoreFilterIndex(indexSlot, dialog.nFilterIndex);
    UnlockLabels(locked);
}

void fkOpenDialog(ParamBlock *parameters)
{
    ShowFileDialog(parameters, false);
}

void fkSaveAsDialog(ParamBlock *parameters)
{
    ShowFileDialog(parameters, true);
}

// Sends the pending view command to the file view once the dialog has
// made it; until then it stays pending for the next notification.
static void SendPendingView(HWND dialog, FileDialogState *state)
{
    if (state->viewCommand == 0)
        return;
    HWND view = FindWindowExA(dialog, nullptr, "SHELLDLL_DefView", nullptr);
    if (view == nullptr)
        return;
    SendMessageA(view, WM_COMMAND, state->viewCommand, 0);
    state->viewCommand = 0;
}

static void SetLabels(HWND dialog, const FileDialogState *state)
{
    for (int i = 0; i < LabelCount; i++)
        if (state->labels[i] != nullptr)
            SendMessageA(dialog, CDM_SETCONTROLTEXT, LabelControls[i],
                         reinterpret_cast<LPARAM>(state->labels[i]));
}

// Gives the typed name the extension of the file type just chosen. Open
// dialogs and single filters keep the name as typed, and so does a filter
// past the remembered ones, since nothing is known of its extension.
static void ChangeExtension(HWND dialog, const FileDialogState *state, DWORD filterIndex)
{
    char name[FileBufferBytes];
    memset(name, 0, sizeof name);
    SendMessageA(dialog, CDM_GETSPEC, TypedNameLimit, reinterpret_cast<LPARAM>(name));
    name[sizeof name - 1] = '\0';
    if (name[0] == '\0' || state->separatorCount == 0)
        return;
    const char *slot = FilterSlot(state, filterIndex);
    if (slot == nullptr)
        return;
    SpliceExtension(name, sizeof name, slot);
    int field = GetDlgItem(dialog, FileNameEdit) != nullptr ? FileNameEdit : FileNameCombo;
    SendMessageA(dialog, CDM_SETCONTROLTEXT, field, reinterpret_cast<LPARAM>(name));
}

UINT_PTR CALLBACK FileDialogHook(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_NOTIFY)
        return 0;
    const OFNOTIFYA *notice = reinterpret_cast<const OFNOTIFYA *>(lParam);
    FileDialogState *state = reinterpret_cast<FileDialogState *>(notice->lpOFN->lCustData);
    HWND dialog = GetParent(window);
    SendPendingView(dialog, state);
    if (notice->hdr.code == CDN_INITDONE)
        SetLabels(dialog, state);
    else if (notice->hdr.code == CDN_TYPECHANGE)
        ChangeExtension(dialog, state, notice->lpOFN->nFilterIndex);
    return 0;
}
