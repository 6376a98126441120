// The parts of the file dialogs that are plain text work: the one-line
// filter turned into the dialog's list of pairs (recording each filter's
// extension on the way), the extension put onto a typed name, and the view
// command and dialog flags taken from the caller's flags. Nothing here
// calls Windows, so tests and the fuzz target call it directly.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Filters whose extension is remembered, and the characters kept of each.
const int FilterSlotCount = 25;
const int FilterSlotWidth = 4;

// The converted list: at most this many characters of the filter text,
// then two NULs, in a buffer of FilterBufferBytes.
const uint32_t FilterTextLimit = 1022;
const uint32_t FilterBufferBytes = FilterTextLimit + 2;

// The file buffer and the longest name the dialog is allowed to write.
const uint32_t FileBufferBytes = 256;
const uint32_t FileNameLimit = 254;

// The label controls whose texts the caller may replace, in the order
// they are set: file name, file type, OK button, look in.
const int LabelCount = 4;
const int LabelControls[LabelCount] = {1090, 1089, 1, 1091};

// The shell file view's commands for its large-icon, details and
// thumbnail views.
const uint32_t ViewLargeIcons = 28713;
const uint32_t ViewDetails = 28716;
const uint32_t ViewThumbnails = 28717;

// What the dialog hook needs while the dialog runs; lives on the stack of
// one call.
struct FileDialogState {
    uint32_t viewCommand;     // 0 once sent, or when none was asked for
    int32_t separatorCount;   // "|" met in the filter; 0 keeps typed names as they are
    char slots[FilterSlotCount][FilterSlotWidth];  // a full slot has no NUL
    const char *labels[LabelCount];  // null where the caller gave no text
};

// The view command that the caller's flags ask for, or 0: bit 0x01 large
// icons, 0x20 details, 0x40 thumbnails; the later bit wins.
uint32_t ViewCommandFor(uint32_t flags);

// The flags the dialog receives: the caller's, less the two view bits,
// with resizing, Explorer style, the hook and no change of directory.
uint32_t DialogFlagsFor(uint32_t flags);

// Converts at most FilterTextLimit characters of text (length bytes, not
// NUL-terminated) into buffer, which has FilterBufferBytes: ":" and "|"
// become NULs and two NULs end the list. The start of each filter's first
// pattern, less wildcards and dots, goes into its slot (first
// FilterSlotCount filters only). Answers the number of "|" met.
int32_t ConvertFilter(const char *text, uint32_t length, char *buffer,
                      char slots[FilterSlotCount][FilterSlotWidth]);

// The slot of the filter at filterIndex, counted from 1 as the dialog
// counts; null for 0 and for filters past the remembered ones.
const char *FilterSlot(const FileDialogState *state, uint32_t filterIndex);

// Cuts name (NUL-terminated within capacity bytes) at its first "." or its
// end and puts there a "." followed by at most three characters of slot
// (fewer at a NUL in the slot). What does not fit in capacity is dropped.
void SpliceExtension(char *name, size_t capacity, const char *slot);
