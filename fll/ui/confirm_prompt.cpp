// The confirmation prompt and the painting of its wider layout with GDI+.
#include "confirm_prompt.h"
#include <string.h>
#include <objidl.h>  // the GDI+ headers need the COM types that the lean headers omit
#include <gdiplus.h>
#include "../bridge/host_services.h"
#include "../bridge/param_text.h"
#include "subclass.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

const uint32_t TitleCapacity = 128;    // 127 bytes and a terminator
const uint32_t MessageCapacity = 512;  // 511 characters and a terminator

// The caption for the next dialog; armed while its first byte is not 0.
static char promptTitle[TitleCapacity];
// The message drawn into a subclassed dialog at every repaint.
static WCHAR promptMessage[MessageCapacity];

// Subclassed dialogs. A confirmation dialog is modal, so one is open at a
// time; a few entries cover dialogs left open by one host and the next.
const int DialogEntries = 8;
static SubclassEntry confirmDialogs[DialogEntries];

// The two layouts the prompt knows, by outer width.
struct DialogLayout {
    int width;       // outer width that identifies the layout
    int shiftLeft;   // pixels the left edge moves to the left
    int newWidth;
    int newHeight;
    bool paint;      // the message is painted over the dialog's text
};
static const DialogLayout dialogLayouts[] = {
    {273, 55, 390, 124, true},
    {253, 20, 320, 124, false},
};

// Where and how the message is drawn, in the dialog's client coordinates.
const INT BackgroundX = 42, BackgroundY = 0, BackgroundWidth = 350, BackgroundHeight = 60;
const RectF textLayout(44.0f, 8.0f, 340.0f, 45.0f);
const REAL fontSize = 8.25f;
const ARGB textColour = 0xFF000000;

// One message byte as a UTF-16 character: bytes below 0x80 keep their
// value; the others are read in the ANSI code page the host's texts use,
// and keep their value where it has no single-byte meaning.
static WCHAR MessageCharacter(uint8_t byte)
{
    if (byte < 0x80)
        return byte;
    WCHAR character = 0;
    char single = char(byte);
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &single, 1, &character, 1) != 1)
        return byte;
    return character;
}

void fkSetConfirmPrompt(ParamBlock *parameters)
{
    const HostValue &title = parameters->slots[0].value;
    const HostValue &message = parameters->slots[1].value;
    const char *titleText = ParamString(title.handle, title.length);
    const char *messageText = ParamString(message.handle, message.length);
    // The host's lengths count: zero bytes inside the message are copied.
    uint32_t messageLength = message.length < MessageCapacity - 1 ? message.length : MessageCapacity - 1;
    for (uint32_t i = 0; i < messageLength; i++)
        promptMessage[i] = MessageCharacter(uint8_t(messageText[i]));
    promptMessage[messageLength] = 0;
    uint32_t titleLength = title.length < TitleCapacity - 1 ? title.length : TitleCapacity - 1;
    memcpy(promptTitle, titleText, titleLength);
    promptTitle[titleLength] = '\0';
}

void DisarmConfirmPrompt()
{
    promptTitle[0] = '\0';
}

// The layout of a dialog of that outer width, or null.
static const DialogLayout *LayoutOfWidth(int width)
{
    for (const DialogLayout &layout : dialogLayouts)
        if (layout.width == width)
            return &layout;
    return nullptr;
}

void ApplyConfirmPrompt(uint32_t hostWindow)
{
    if (promptTitle[0] == '\0')
        return;
    HWND window = HostWindowToHwnd(hostWindow);
    RECT outer;
    if (window != nullptr && GetWindowRect(window, &outer)) {
        const DialogLayout *layout = LayoutOfWidth(outer.right - outer.left);
        if (layout != nullptr) {
            SetWindowPos(window, nullptr, outer.left - layout->shiftLeft, outer.top, layout->newWidth,
                         layout->newHeight, SWP_NOZORDER | SWP_NOCOPYBITS);
            SetWindowTextA(window, promptTitle);
            // A dialog that is subclassed already, or finds no free entry,
            // keeps the painting it has.
            if (layout->paint)
                SubclassWindow(confirmDialogs, DialogEntries, window, ConfirmDialogProc);
        }
    }
    // The prompt serves the first dialog after it was armed, matched or not.
    DisarmConfirmPrompt();
}

// The system colour 0x00BBGGRR as an opaque GDI+ colour 0xFFRRGGBB.
static ARGB OpaqueColour(COLORREF colour)
{
    return 0xFF000000u | uint32_t(GetRValue(colour)) << 16 | uint32_t(GetGValue(colour)) << 8 |
           GetBValue(colour);
}

// Draws the message on a button-face rectangle over the dialog's text
// area. Failed creations are not acted on: the later calls then fail on
// their own, and the dialog has painted itself already.
static void PaintMessage(HDC dc, COLORREF buttonFace)
{
    GpGraphics *graphics = nullptr;
    GpFontFamily *family = nullptr;
    GpFont *font = nullptr;
    GpStringFormat *format = nullptr;
    GpSolidFill *brush = nullptr;
    GdipCreateFromHDC(dc, &graphics);
    GdipCreateFontFamilyFromName(L"Arial", nullptr, &family);
    GdipCreateFont(family, fontSize, FontStyleRegular, UnitPoint, &font);
    GdipCreateStringFormat(0, LANG_NEUTRAL, &format);
    GdipCreateSolidFill(OpaqueColour(buttonFace), &brush);
    GdipFillRectangleI(graphics, brush, BackgroundX, BackgroundY, BackgroundWidth, BackgroundHeight);
    GdipSetSolidFillColor(brush, textColour);
    GdipSetStringFormatLineAlign(format, StringAlignmentCenter);
    GdipDrawString(graphics, promptMessage, -1, font, &textLayout, format, brush);
    GdipDeleteBrush(brush);
    GdipDeleteStringFormat(format);
    GdipDeleteFont(font);
    GdipDeleteFontFamily(family);
    GdipDeleteGraphics(graphics);
}

LRESULT CALLBACK ConfirmDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return PassToOriginal(confirmDialogs, DialogEntries, window, message, wParam, lParam);
    HDC dc = GetDC(window);
    COLORREF buttonFace = GetSysColor(COLOR_BTNFACE);
    LRESULT result = PassToOriginal(confirmDialogs, DialogEntries, window, message, wParam, lParam);
    PaintMessage(dc, buttonFace);
    ReleaseDC(window, dc);
    return result;
}

void RestoreConfirmDialogs()
{
    RestoreSubclassed(confirmDialogs, DialogEntries, ConfirmDialogProc);
}
