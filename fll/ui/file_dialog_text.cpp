// Filter conversion, extension splice, view command and dialog flags.
#include "file_dialog_text.h"

const uint32_t LargeIconFlag = 0x01;
const uint32_t DetailsFlag = 0x20;
const uint32_t ThumbnailFlag = 0x40;

// OFN_ENABLESIZING | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_NOCHANGEDIR.
const uint32_t AlwaysOnFlags = 0x880028;

// Characters of a slot put after the dot: the dialog shows three-letter
// extensions even for a four-letter pattern such as *.html.
const int SplicedCharacters = 3;

uint32_t ViewCommandFor(uint32_t flags)
{
    uint32_t command = 0;
    if ((flags & LargeIconFlag) != 0)
        command = ViewLargeIcons;
    if ((flags & DetailsFlag) != 0)
        command = ViewDetails;
    if ((flags & ThumbnailFlag) != 0)
        command = ViewThumbnails;
    return command;
}

uint32_t DialogFlagsFor(uint32_t flags)
{
    return (flags & ~(DetailsFlag | ThumbnailFlag)) | AlwaysOnFlags;
}

int32_t ConvertFilter(const char *text, uint32_t length, char *buffer,
                      char slots[FilterSlotCount][FilterSlotWidth])
{
    uint32_t count = length < FilterTextLimit ? length : FilterTextLimit;
    int32_t filter = 0;
    char *slot = nullptr;  // where the current filter's extension goes, if anywhere
    int recorded = 0;
    for (uint32_t i = 0; i < count; i++) {
        char c = text[i];
        if (c == ':') {
            buffer[i] = '\0';
            if (filter < FilterSlotCount) {
                slot = slots[filter];
                recorded = 0;
            }
            continue;
        }
        if (c == '|') {
            buffer[i] = '\0';
            filter++;
            slot = nullptr;
            continue;
        }
        buffer[i] = c;
        if (slot == nullptr || c == '*' || c == '.')
            continue;
        if (c == ';' || recorded >= FilterSlotWidth) {
            slot = nullptr;
            continue;
        }
        slot[recorded++] = c;
    }
    buffer[count] = '\0';
    buffer[count + 1] = '\0';
    return filter;
}

const char *FilterSlot(const FileDialogState *state, uint32_t filterIndex)
{
    if (filterIndex < 1 || filterIndex > uint32_t(FilterSlotCount))
        return nullptr;
    return state->slots[filterIndex - 1];
}

void SpliceExtension(char *name, size_t capacity, const char *slot)
{
    if (capacity == 0)
        return;
    size_t end = 0;
    while (end + 1 < capacity && name[end] != '\0' && name[end] != '.')
        end++;
    if (end + 1 < capacity)
        name[end++] = '.';
    for (int i = 0; i < SplicedCharacters && slot[i] != '\0' && end + 1 < capacity; i++)
        name[end++] = slot[i];
    name[end] = '\0';
}
