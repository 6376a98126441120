// The text work of the file dialogs, called directly: filter conversion
// with its extension slots, the extension splice, and the view command and
// flags taken from the caller's flags.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "../../fll/ui/file_dialog_text.h"

// Bytes as C-escaped text, so a failing check shows where the NULs are.
static std::string Shown(const char *bytes, size_t count)
{
    std::string shown;
    for (size_t i = 0; i < count; i++) {
        if (bytes[i] == '\0')
            shown += "\\0";
        else
            shown += bytes[i];
    }
    return shown;
}

// Slot i of state as text: up to four characters, no NUL needed.
static std::string SlotText(const char slots[FilterSlotCount][FilterSlotWidth], int i)
{
    return std::string(slots[i], strnlen(slots[i], FilterSlotWidth));
}

// The buffer and slots of one conversion, with room past the buffer so a
// write beyond it shows.
struct Converted {
    char buffer[FilterBufferBytes + 64];
    char slots[FilterSlotCount][FilterSlotWidth];
    int32_t separators;
};

static void Convert(const std::string &text, Converted *out)
{
    memset(out->buffer, 0x5A, sizeof out->buffer);
    memset(out->slots, 0, sizeof out->slots);
    out->separators = ConvertFilter(text.data(), uint32_t(text.size()), out->buffer, out->slots);
}

struct FilterCase {
    const char *text;
    const char *list;        // the converted list: one byte per character, then two NULs
    int32_t separators;
    const char *slots[3];    // the first three slots
};

TEST(FileDialogText, FilterConversion)
{
    const FilterCase cases[] = {
        {"Text files:*.txt;*.log|All files:*.*", "Text files\0*.txt;*.log\0All files\0*.*\0\0", 1, {"txt", "", ""}},
        {"Web:*.html|Text:*.txt|Any:*.*", "Web\0*.html\0Text\0*.txt\0Any\0*.*\0\0", 2,
         {"html", "txt", ""}},
        // Four characters at most, and no terminator in a full slot.
        {"Pictures:*.jpeg2000", "Pictures\0*.jpeg2000\0\0", 0, {"jpeg", "", ""}},
        // Dots inside a pattern are skipped, not ends.
        {"Archives:*.tar.gz", "Archives\0*.tar.gz\0\0", 0, {"targ", "", ""}},
        // ";" ends the first pattern early.
        {"C:*.c;*.h", "C\0*.c;*.h\0\0", 0, {"c", "", ""}},
        // A second colon in one pair starts the slot again without
        // clearing it.
        {"A:*.html:*.c", "A\0*.html\0*.c\0\0", 0, {"ctml", "", ""}},
        // The description is never recorded; a pair without a colon
        // records nothing.
        {"Only words|B:*.bmp", "Only words\0B\0*.bmp\0\0", 1, {"", "bmp", ""}},
        {"|:*.x", "\0\0*.x\0\0", 1, {"", "x", ""}},
        {"", "\0\0", 0, {"", "", ""}},
    };
    for (const FilterCase &c : cases) {
        size_t listBytes = strlen(c.text) + 2;
        Converted out;
        Convert(c.text, &out);
        EXPECT_EQ(Shown(out.buffer, listBytes), Shown(c.list, listBytes)) << c.text;
        EXPECT_EQ(out.separators, c.separators) << c.text;
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(SlotText(out.slots, i), c.slots[i]) << c.text << " slot " << i;
        EXPECT_EQ(out.buffer[listBytes], 0x5A) << c.text << ": written past the list";
    }
}

TEST(FileDialogText, FilterLimits)
{
    // 1500 characters: the first 1022 are converted, then two NULs, and
    // nothing beyond the 1024-byte buffer is touched.
    std::string text = "Long:*.long";
    while (text.size() < 1500)
        text += "|X:*.y";
    Converted out;
    Convert(text, &out);
    EXPECT_EQ(out.buffer[FilterTextLimit], '\0');
    EXPECT_EQ(out.buffer[FilterTextLimit + 1], '\0');
    char last = text[FilterTextLimit - 1];
    EXPECT_EQ(out.buffer[FilterTextLimit - 1], last == '|' || last == ':' ? '\0' : last);
    for (size_t i = FilterBufferBytes; i < sizeof out.buffer; i++)
        ASSERT_EQ(out.buffer[i], 0x5A) << "byte " << i << " past the buffer was written";
    int bars = 0;
    for (uint32_t i = 0; i < FilterTextLimit; i++)
        bars += text[i] == '|';
    EXPECT_EQ(out.separators, bars) << "only bars within the limit count";

    // Filters past the 25th are counted but have no slot.
    std::string many;
    for (int i = 1; i <= 30; i++)
        many += (i > 1 ? "|F" : "F") + std::to_string(i) + ":*.e" + std::to_string(i);
    Convert(many, &out);
    EXPECT_EQ(out.separators, 29);
    for (int i = 0; i < FilterSlotCount; i++)
        EXPECT_EQ(SlotText(out.slots, i), "e" + std::to_string(i + 1)) << "slot " << i;

    // The length given is what is read: bytes behind it do not count.
    const char padded[] = "A:*.abc|B:*.def";
    Converted shortOut;
    memset(shortOut.buffer, 0x5A, sizeof shortOut.buffer);
    memset(shortOut.slots, 0, sizeof shortOut.slots);
    EXPECT_EQ(ConvertFilter(padded, 7, shortOut.buffer, shortOut.slots), 0);
    EXPECT_EQ(Shown(shortOut.buffer, 9), Shown("A\0*.abc\0\0", 9));
    EXPECT_EQ(SlotText(shortOut.slots, 1), "");
}

struct SpliceCase {
    const char *name;
    const char *slot;   // four bytes are read at most
    const char *spliced;
};

TEST(FileDialogText, ExtensionSplice)
{
    const SpliceCase cases[] = {
        {"report.final.doc", "html", "report.htm"},
        {"notes", "html", "notes.htm"},
        {"report.txt", "\0\0\0\0", "report."},
        {"a", "c\0\0\0", "a.c"},
        {".profile", "txt\0", ".txt"},
        {"name.", "log\0", "name.log"},
        {"x.y", "ab\0d", "x.ab"},
    };
    for (const SpliceCase &c : cases) {
        char name[FileBufferBytes];
        memset(name, 0, sizeof name);
        strcpy(name, c.name);
        SpliceExtension(name, sizeof name, c.slot);
        EXPECT_STREQ(name, c.spliced) << c.name;
    }

    // The longest name the dialog hands over still takes a whole extension.
    char name[FileBufferBytes];
    memset(name, 'n', 249);
    name[249] = '\0';
    SpliceExtension(name, sizeof name, "html");
    EXPECT_EQ(strlen(name), 253u);
    EXPECT_STREQ(name + 249, ".htm");

    // In a small buffer the extension is cut, and the name stays
    // terminated inside it.
    char small[8];
    memset(small, 'z', sizeof small);
    memcpy(small, "abcdef", 7);
    SpliceExtension(small, sizeof small, "html");
    EXPECT_STREQ(small, "abcdef.");
    memset(small, 'z', sizeof small);  // not terminated at all
    SpliceExtension(small, sizeof small, "txt");
    EXPECT_EQ(small[7], '\0');
    EXPECT_EQ(std::string(small), "zzzzzzz");
}

TEST(FileDialogText, FilterSlots)
{
    FileDialogState state;
    memset(&state, 0, sizeof state);
    for (int i = 0; i < FilterSlotCount; i++)
        memset(state.slots[i], 'a' + i, FilterSlotWidth);
    EXPECT_EQ(FilterSlot(&state, 0), nullptr) << "the dialog counts filters from 1";
    EXPECT_EQ(FilterSlot(&state, 1), state.slots[0]);
    EXPECT_EQ(FilterSlot(&state, 25), state.slots[24]);
    EXPECT_EQ(FilterSlot(&state, 26), nullptr) << "no slot past the 25th filter";
    EXPECT_EQ(FilterSlot(&state, 0xFFFFFFFFu), nullptr);
}

struct FlagsCase {
    uint32_t flags;
    uint32_t view;
    uint32_t passed;
};

TEST(FileDialogText, ViewAndFlags)
{
    const FlagsCase cases[] = {
        {0x00, 0, 0x880028},
        {0x01, ViewLargeIcons, 0x880029},
        {0x20, ViewDetails, 0x880028},
        {0x21, ViewDetails, 0x880029},
        {0x40, ViewThumbnails, 0x880028},
        {0x41, ViewThumbnails, 0x880029},
        {0x60, ViewThumbnails, 0x880028},
        {0x61, ViewThumbnails, 0x880029},
        {0x04, 0, 0x88002C},
        {0xFFFFFFFF, ViewThumbnails, 0xFFFFFFBF},  // 0x20 is the hook bit too
    };
    for (const FlagsCase &c : cases) {
        EXPECT_EQ(ViewCommandFor(c.flags), c.view) << std::hex << "flags 0x" << c.flags;
        EXPECT_EQ(DialogFlagsFor(c.flags), c.passed) << std::hex << "flags 0x" << c.flags;
    }
}
