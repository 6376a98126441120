// Fuzz target for the file dialogs' text work, built natively for the
// build machine with libFuzzer and the address and undefined-behaviour
// sanitizers (see run.sh). Every buffer is a heap block of exactly the
// size the code is promised, so a read or write past it is caught; the
// results are checked against a second, simpler reading of the rules.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "../../fll/ui/file_dialog_text.h"

static void Check(bool holds)
{
    if (!holds)
        abort();
}

// The slots as the rules describe them, filter by filter: every ":" of a
// filter writes the start of what follows it (up to the next ":" or the
// filter's end), wildcards and dots dropped, cut at ";", four at most,
// over the slot's first characters.
static void ExpectedSlots(const uint8_t *text, uint32_t count,
                          char slots[FilterSlotCount][FilterSlotWidth])
{
    memset(slots, 0, FilterSlotCount * FilterSlotWidth);
    int filter = 0;
    for (uint32_t i = 0; i < count; i++) {
        if (text[i] == '|')
            filter++;
        if (text[i] != ':' || filter >= FilterSlotCount)
            continue;
        int kept = 0;
        for (uint32_t j = i + 1; j < count && text[j] != ':' && text[j] != '|'; j++) {
            if (text[j] == '*' || text[j] == '.')
                continue;
            if (text[j] == ';' || kept == FilterSlotWidth)
                break;
            slots[filter][kept++] = char(text[j]);
        }
    }
}

static void CheckConversion(const uint8_t *data, size_t size, FileDialogState *state)
{
    char *text = static_cast<char *>(malloc(size > 0 ? size : 1));
    memcpy(text, data, size);
    char *list = static_cast<char *>(malloc(FilterBufferBytes));
    uint32_t length = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(size);
    int32_t separators = ConvertFilter(text, length, list, state->slots);

    uint32_t count = length < FilterTextLimit ? length : FilterTextLimit;
    int32_t bars = 0;
    for (uint32_t i = 0; i < count; i++) {
        bars += text[i] == '|';
        char expected = text[i] == ':' || text[i] == '|' ? '\0' : text[i];
        Check(list[i] == expected);
    }
    Check(list[count] == '\0' && list[count + 1] == '\0');
    Check(separators == bars);

    char expected[FilterSlotCount][FilterSlotWidth];
    ExpectedSlots(data, count, expected);
    Check(memcmp(expected, state->slots, sizeof expected) == 0);
    free(list);
    free(text);
}

// Splices every slot (and the indexes around them) onto a name made of
// the input, in a block of a capacity the input chooses.
static void CheckSplice(const uint8_t *data, size_t size, const FileDialogState *state)
{
    size_t capacity = size > 0 ? 1 + data[0] % 255 : 1;
    for (uint32_t index = 0; index <= FilterSlotCount + 2; index++) {
        const char *slot = FilterSlot(state, index);
        Check((slot == nullptr) == (index < 1 || index > uint32_t(FilterSlotCount)));
        if (slot == nullptr)
            continue;
        Check(slot == state->slots[index - 1]);
        char *name = static_cast<char *>(malloc(capacity));
        size_t copied = size == 0 ? 0 : size - 1 < capacity ? size - 1 : capacity;
        memcpy(name, data + 1, copied);
        memset(name + copied, 0, capacity - copied);
        // Up to the first dot or NUL (within the block), the name stays.
        size_t kept = 0;
        while (kept + 1 < capacity && name[kept] != '\0' && name[kept] != '.')
            kept++;
        char *before = static_cast<char *>(malloc(capacity));
        memcpy(before, name, capacity);

        SpliceExtension(name, capacity, slot);
        size_t end = strnlen(name, capacity);
        Check(end < capacity);
        Check(memcmp(name, before, kept) == 0);
        if (kept + 1 < capacity) {
            Check(name[kept] == '.');
            size_t added = 0;
            // Characters go on while one byte is left for the NUL.
            while (added < 3 && slot[added] != '\0' && kept + 1 + added + 1 < capacity)
                added++;
            Check(end == kept + 1 + added);
            Check(memcmp(name + kept + 1, slot, added) == 0);
        } else {
            Check(end == kept);
        }
        free(before);
        free(name);
    }
}

static void CheckFlags(const uint8_t *data, size_t size)
{
    uint32_t flags = 0;
    memcpy(&flags, data, size < sizeof flags ? size : sizeof flags);
    uint32_t passed = DialogFlagsFor(flags);
    Check((passed & 0x880028) == 0x880028);
    Check((passed & 0x40) == 0);
    Check((passed & ~0x880068u) == (flags & ~0x880068u));
    uint32_t view = ViewCommandFor(flags);
    Check(view == ((flags & 0x40) ? ViewThumbnails
                   : (flags & 0x20) ? ViewDetails
                   : (flags & 0x01) ? ViewLargeIcons : 0));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FileDialogState *state = static_cast<FileDialogState *>(malloc(sizeof(FileDialogState)));
    memset(state, 0, sizeof *state);
    CheckConversion(data, size, state);
    CheckSplice(data, size, state);
    CheckFlags(data, size);
    free(state);
    return 0;
}
