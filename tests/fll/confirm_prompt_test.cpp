// The confirmation prompt on real dialogs: dialog-class windows 273 and
// 253 pixels wide stand for the host's confirmation dialog, paint their
// own white background and blue text, and are captured after a repaint.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "fllhost.h"

const uint32_t DialogHostWindow = 20;
const UINT Probe = WM_USER + 2;
const COLORREF OwnBackground = RGB(255, 255, 255);
const COLORREF OwnText = RGB(0, 0, 255);

static int paints;
static int probes;

// The stand-in dialog paints itself: white, with blue text where the
// prompt's message goes.
static INT_PTR CALLBACK StandInDialog(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == Probe) {
        probes++;
        return TRUE;
    }
    if (message != WM_PAINT)
        return FALSE;
    paints++;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    RECT client;
    GetClientRect(dialog, &client);
    HBRUSH white = CreateSolidBrush(OwnBackground);
    FillRect(dc, &client, white);
    DeleteObject(white);
    SetTextColor(dc, OwnText);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 60, 20, "The dialog's own text", 21);
    EndPaint(dialog, &paint);
    return TRUE;
}

// A dialog of that outer width, 150 pixels high, at 300, 200.
static HWND StandIn(int width)
{
    struct alignas(4) Template {
        DLGTEMPLATE dialog;
        WORD menu, windowClass, title;
    } layout = {};
    layout.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    layout.dialog.cx = 100;
    layout.dialog.cy = 50;
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &layout.dialog, nullptr,
                                             StandInDialog, 0);
    SetWindowPos(dialog, nullptr, 300, 200, width, 150, SWP_NOZORDER);
    SetWindowTextA(dialog, "Own caption");
    UpdateWindow(dialog);
    return dialog;
}

// The dialog's client area after a repaint, as 0x00RRGGBB pixels.
struct Capture {
    int width, height;
    std::vector<uint32_t> pixels;
    COLORREF At(int x, int y) const
    {
        uint32_t p = pixels[size_t(y) * size_t(width) + size_t(x)];
        return RGB((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff);
    }
};

static Capture Repainted(HWND dialog)
{
    InvalidateRect(dialog, nullptr, TRUE);
    UpdateWindow(dialog);
    RECT client;
    GetClientRect(dialog, &client);
    Capture capture;
    capture.width = client.right;
    capture.height = client.bottom;
    capture.pixels.resize(size_t(capture.width) * size_t(capture.height));
    HDC dc = GetDC(dialog);
    HDC memory = CreateCompatibleDC(dc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, capture.width, capture.height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    memcpy(capture.pixels.data(), bits, capture.pixels.size() * 4);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(dialog, dc);
    return capture;
}

static bool Dark(COLORREF c)
{
    return GetRValue(c) < 0x60 && GetGValue(c) < 0x60 && GetBValue(c) < 0x60;
}

// What a capture shows in the message area (42, 0, 350 x 60).
struct MessageArea {
    int face = 0, dark = 0, blue = 0, white = 0, other = 0;
    int darkOutsideLayout = 0;
    int darkTop = 1000, darkBottom = -1;
};

static MessageArea Examine(const Capture &capture)
{
    MessageArea area;
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (int y = 0; y < 60 && y < capture.height; y++)
        for (int x = 42; x < 392 && x < capture.width; x++) {
            COLORREF c = capture.At(x, y);
            if (c == face) {
                area.face++;
            } else if (Dark(c)) {
                area.dark++;
                if (x < 44 || x >= 384 || y < 8 || y >= 53)
                    area.darkOutsideLayout++;
                area.darkTop = y < area.darkTop ? y : area.darkTop;
                area.darkBottom = y > area.darkBottom ? y : area.darkBottom;
            } else if (c == OwnText) {
                area.blue++;
            } else if (c == OwnBackground) {
                area.white++;
            } else {
                area.other++;
            }
        }
    return area;
}

static bool SameMessageArea(const Capture &a, const Capture &b)
{
    for (int y = 0; y < 60 && y < a.height && y < b.height; y++)
        for (int x = 42; x < 392 && x < a.width && x < b.width; x++)
            if (a.At(x, y) != b.At(x, y))
                return false;
    return true;
}

class ConfirmPrompt : public ::testing::Test {
protected:
    Host *host = nullptr;
    std::vector<HWND> dialogs;
    void SetUp() override
    {
        paints = 0;
        probes = 0;
        char path[MAX_PATH];
        ASSERT_TRUE(HostPathBesideProgram("falkmoor.fll", path, sizeof path));
        host = HostOpen(path);
        ASSERT_NE(host, nullptr) << HostOpenError();
    }
    void TearDown() override
    {
        for (HWND dialog : dialogs)
            DestroyWindow(dialog);
        if (host != nullptr) {
            EXPECT_EQ(HostClose(host), 0) << "handles leaked over the session";
        }
    }
    HWND Dialog(int width, uint32_t hostWindow = DialogHostWindow)
    {
        HWND dialog = StandIn(width);
        dialogs.push_back(dialog);
        HostRegisterWindow(host, hostWindow, dialog);
        RECT outer;
        GetWindowRect(dialog, &outer);
        EXPECT_EQ(outer.right - outer.left, width);
        return dialog;
    }
    void Arm(const std::string &title, const std::string &message)
    {
        FoxValue args[2] = {FoxBytes(title.data(), uint32_t(title.size())),
                            FoxBytes(message.data(), uint32_t(message.size()))};
        FoxValue result;
        ASSERT_EQ(HostCall(host, "fkSetConfirmPrompt", args, 2, &result), 0u);
        EXPECT_EQ(HostLastCall(host)->results, 0) << "sets no result";
    }
    void Fire(uint16_t code, uint32_t hostWindow = DialogHostWindow)
    {
        FoxEvent event = {code, 0, 0};
        uint32_t result = 0xdeadbeef;
        EXPECT_EQ(HostFireEvent(host, hostWindow, &event, &result), 0u);
        EXPECT_EQ(result, 0u);
    }
};

static std::string Caption(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

static RECT Outer(HWND window)
{
    RECT outer;
    GetWindowRect(window, &outer);
    return outer;
}

static bool Unchanged(const RECT &before, HWND window)
{
    RECT now = Outer(window);
    return EqualRect(&before, &now) != FALSE;
}

TEST_F(ConfirmPrompt, Layouts)
{
    struct Case {
        int width;
        int shift, newWidth, newHeight;  // newWidth 0: left as it was
    } cases[] = {
        {273, 55, 390, 124},
        {253, 20, 320, 124},
        {300, 0, 0, 0},
        {272, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "outer width " << c.width);
        HWND dialog = Dialog(c.width);
        RECT before = Outer(dialog);
        Arm("Please confirm", "Delete the record?");
        Fire(1);
        RECT after = Outer(dialog);
        if (c.newWidth == 0) {
            EXPECT_TRUE(EqualRect(&before, &after)) << "unchanged";
            EXPECT_EQ(Caption(dialog), "Own caption");
        } else {
            EXPECT_EQ(after.left, before.left - c.shift);
            EXPECT_EQ(after.top, before.top);
            EXPECT_EQ(after.right - after.left, c.newWidth);
            EXPECT_EQ(after.bottom - after.top, c.newHeight);
            EXPECT_EQ(Caption(dialog), "Please confirm");
        }
        // Disarmed by that event, whatever the width: the next dialog of
        // a known layout is left alone.
        HWND next = Dialog(273, DialogHostWindow + 1);
        RECT nextBefore = Outer(next);
        Fire(1, DialogHostWindow + 1);
        RECT nextAfter = Outer(next);
        EXPECT_TRUE(EqualRect(&nextBefore, &nextAfter));
        EXPECT_EQ(Caption(next), "Own caption");
    }
}

TEST_F(ConfirmPrompt, ArmingAndDisarming)
{
    HWND dialog = Dialog(273);
    RECT before = Outer(dialog);
    Fire(1);
    EXPECT_TRUE(Unchanged(before, dialog)) << "never armed";
    Arm("", "A message without title");
    Fire(1);
    EXPECT_TRUE(Unchanged(before, dialog)) << "an empty title arms nothing";
    Arm("Title", "Message");
    Fire(8);
    Fire(1);
    EXPECT_TRUE(Unchanged(before, dialog)) << "event 8 disarmed it";
    EXPECT_EQ(Caption(dialog), "Own caption");
    // Other events leave it armed.
    Arm("Title", "Message");
    for (uint16_t code : {2, 6, 9, 11, 13, 16, 17, 21})
        Fire(code);
    Fire(1);
    EXPECT_EQ(Outer(dialog).right - Outer(dialog).left, 390);
    // A host window without a native window disarms it as well.
    Arm("Again", "Message");
    Fire(1, 99);
    HWND second = Dialog(253, DialogHostWindow + 2);
    Fire(1, DialogHostWindow + 2);
    EXPECT_EQ(Outer(second).right - Outer(second).left, 253);
}

TEST_F(ConfirmPrompt, TitleCutAt127)
{
    std::string title;
    for (int i = 0; i < 200; i++)
        title += char('A' + i % 26);
    HWND dialog = Dialog(253);
    Arm(title, "m");
    Fire(1);
    EXPECT_EQ(Caption(dialog), title.substr(0, 127));
    HWND other = Dialog(253, DialogHostWindow + 1);
    Arm(title.substr(0, 127), "m");
    Fire(1, DialogHostWindow + 1);
    EXPECT_EQ(Caption(other), title.substr(0, 127)) << "exactly 127 fits";
}

// The wider layout is painted over: a button-face rectangle over the
// dialog's own text, the message in black, centred vertically in it.
TEST_F(ConfirmPrompt, PaintingOfTheWiderLayout)
{
    HWND dialog = Dialog(273);
    Capture own = Repainted(dialog);
    EXPECT_GT(Examine(own).blue, 0) << "the stand-in draws its own text";
    Arm("Confirm", "Save the changes?");
    Fire(1);
    int paintsBefore = paints;
    Capture painted = Repainted(dialog);
    EXPECT_EQ(paints - paintsBefore, 1) << "the dialog painted itself once first";
    MessageArea area = Examine(painted);
    printf("message area: face %d dark %d blue %d white %d other %d, dark rows %d-%d\n", area.face,
           area.dark, area.blue, area.white, area.other, area.darkTop, area.darkBottom);
    EXPECT_EQ(area.blue, 0) << "the dialog's own text is covered";
    EXPECT_EQ(area.white, 0) << "the rectangle covers the area";
    EXPECT_GT(area.face, 10000) << "button-face background";
    EXPECT_GT(area.dark, 20) << "black text";
    EXPECT_EQ(area.darkOutsideLayout, 0) << "text stays in its layout rectangle";
    int middle = (area.darkTop + area.darkBottom) / 2;
    EXPECT_GE(middle, 24) << "centred on row 30";
    EXPECT_LE(middle, 37) << "centred on row 30";
    // Outside the rectangle the dialog's own painting shows.
    EXPECT_EQ(painted.At(20, 30), OwnBackground);
    EXPECT_EQ(painted.At(100, 75), OwnBackground);

    // The message is read at every repaint: an empty one leaves the
    // rectangle alone, a new one is drawn.
    Arm("", "");
    area = Examine(Repainted(dialog));
    EXPECT_EQ(area.dark, 0) << "empty message: the rectangle alone";
    EXPECT_EQ(area.blue, 0);
    EXPECT_GT(area.face, 15000);
    // A message of 600 characters is drawn with its first 511: the
    // picture is the one of those 511 alone, and a shorter text gives
    // another picture, so the length does show. (Text that overflows the
    // layout rectangle is drawn above it by Wine; only the rectangle is
    // compared.)
    std::string words;
    while (words.size() < 600)
        words += "words ";
    words = words.substr(0, 600);
    Arm("", words);
    Capture full = Repainted(dialog);
    area = Examine(full);
    EXPECT_GT(area.dark, 200) << "600 characters drawn";
    Arm("", words.substr(0, 511));
    Capture cut = Repainted(dialog);
    Arm("", words.substr(0, 400));
    Capture shorter = Repainted(dialog);
    EXPECT_TRUE(SameMessageArea(full, cut)) << "the first 511 characters";
    EXPECT_FALSE(SameMessageArea(cut, shorter)) << "the picture shows the length";
    EXPECT_EQ(Caption(dialog), "Confirm");
}

// The narrower layout keeps its own painting.
TEST_F(ConfirmPrompt, NarrowerLayoutKeepsItsPainting)
{
    HWND dialog = Dialog(253);
    Arm("Confirm", "Save the changes?");
    Fire(1);
    LONG procedure = GetWindowLongA(dialog, GWL_WNDPROC);
    MessageArea area = Examine(Repainted(dialog));
    EXPECT_GT(area.blue, 0);
    EXPECT_EQ(area.dark, 0);
    EXPECT_EQ(area.face, 0);
    EXPECT_EQ(GetWindowLongA(dialog, GWL_WNDPROC), procedure);
}

// Someone else's subclass of a dialog, made before the library's.
static WNDPROC foreignNext;
static int foreignProbes;
static LRESULT CALLBACK ForeignDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == Probe)
        foreignProbes++;
    return CallWindowProcA(foreignNext, window, message, wParam, lParam);
}

// Two dialogs subclassed one after the other each go on to their own
// procedure; a dialog subclassed already is not subclassed again.
TEST_F(ConfirmPrompt, EachDialogKeepsItsOwnProcedure)
{
    foreignProbes = 0;
    HWND first = Dialog(273, DialogHostWindow);
    foreignNext = reinterpret_cast<WNDPROC>(
        SetWindowLongA(first, GWL_WNDPROC, reinterpret_cast<LONG>(ForeignDialogProc)));
    HWND second = Dialog(273, DialogHostWindow + 1);
    Arm("One", "First message");
    Fire(1, DialogHostWindow);
    Arm("Two", "Second message");
    Fire(1, DialogHostWindow + 1);
    SendMessageA(first, Probe, 0, 0);
    EXPECT_EQ(foreignProbes, 1) << "the first dialog's own chain";
    EXPECT_EQ(probes, 1);
    SendMessageA(second, Probe, 0, 0);
    EXPECT_EQ(foreignProbes, 1);
    EXPECT_EQ(probes, 2);

    // Back to 273 pixels and prompted again: resized and captioned, but
    // painted through one subclassing only.
    LONG procedure = GetWindowLongA(second, GWL_WNDPROC);
    SetWindowPos(second, nullptr, 300, 200, 273, 150, SWP_NOZORDER);
    Arm("Three", "Third message");
    Fire(1, DialogHostWindow + 1);
    EXPECT_EQ(Outer(second).right - Outer(second).left, 390);
    EXPECT_EQ(Caption(second), "Three");
    EXPECT_EQ(GetWindowLongA(second, GWL_WNDPROC), procedure);
    int before = paints;
    MessageArea area = Examine(Repainted(second));
    EXPECT_EQ(paints - before, 1);
    EXPECT_GT(area.dark, 20);
    SendMessageA(second, Probe, 0, 0);
    EXPECT_EQ(probes, 3);
    SetWindowLongA(first, GWL_WNDPROC, reinterpret_cast<LONG>(foreignNext));
}
