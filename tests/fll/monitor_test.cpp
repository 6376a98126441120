// The event monitor and callback timer, driven through the host as the
// run time drives it: events and idle turns through the handlers that the
// load row installs, real key states and real menus.
#include <gtest/gtest.h>
#include <string.h>
#include "fllhost.h"

// Reason bits as the application sees them in "nReasonMask".
const int32_t Menu = 0x01, LockKeys = 0x02, Owner = 0x04, Front = 0x08;
const int32_t TrapClick = 0x10, TrapOther = 0x20;
const uint16_t Shift = 0x1000, Ctrl = 0x2000;

// Runs queued messages of this thread, as the host's event loop would, so
// that key states follow the input sent.
static void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

// A key pressed and released with real input; the thread's key state
// follows once its messages are pumped.
static void PressKey(BYTE key, BYTE scan, DWORD extended)
{
    keybd_event(key, scan, extended, 0);
    keybd_event(key, scan, extended | KEYEVENTF_KEYUP, 0);
    PumpMessages();
}

// A session on falkmoor.fll with one timer object that has both
// properties the monitor uses.
class Monitor : public ::testing::Test {
protected:
    Host *host = nullptr;
    uint32_t timer = 0;
    void SetUp() override
    {
        char path[MAX_PATH];
        ASSERT_TRUE(HostPathBesideProgram("falkmoor.fll", path, sizeof path));
        host = HostOpen(path);
        ASSERT_NE(host, nullptr) << HostOpenError();
        timer = NewTimer();
    }
    void TearDown() override
    {
        if (host != nullptr) {
            EXPECT_EQ(HostClose(host), 0) << "handles leaked over the session";
        }
    }
    uint32_t NewTimer()
    {
        uint32_t object = HostNewObject(host);
        HostSetPropertyValue(host, object, "nReasonMask", FoxInt(0));
        HostSetPropertyValue(host, object, "Enabled", FoxLogical(false));
        return object;
    }
    // Calls a function that answers an integer and returns it.
    int32_t Int(const char *name, const FoxValue *args = nullptr, int count = 0)
    {
        FoxValue result;
        EXPECT_EQ(HostCall(host, name, args, count, &result), 0u) << name;
        EXPECT_EQ(HostLastCall(host)->results, 1) << name;
        EXPECT_EQ(result.type, 'I') << name;
        EXPECT_EQ(result.width, 10) << name;
        return result.integer;
    }
    void Call(const char *name, const FoxValue *args = nullptr, int count = 0)
    {
        FoxValue result;
        EXPECT_EQ(HostCall(host, name, args, count, &result), 0u) << name;
        EXPECT_EQ(HostLastCall(host)->results, 0) << name << " sets no result";
    }
    void Register(uint32_t object, int32_t watch)
    {
        FoxValue args[2] = {FoxObject(object), FoxInt(watch)};
        Call("fkSetCallbackTimer", args, 2);
    }
    void Trigger(int32_t reasons)
    {
        FoxValue arg = FoxInt(reasons);
        Call("fkTriggerCallback", &arg, 1);
    }
    void Trigger(int32_t reasons, int32_t flag)
    {
        FoxValue args[2] = {FoxInt(reasons), FoxInt(flag)};
        Call("fkTriggerCallback", args, 2);
    }
    uint32_t Fire(uint16_t code, uint32_t key = 0, uint16_t modifiers = 0, uint32_t window = 0)
    {
        FoxEvent event = {code, key, modifiers};
        uint32_t result = 0xdeadbeef;
        EXPECT_EQ(HostFireEvent(host, window, &event, &result), 0u);
        return result;
    }
    FoxValue Property(uint32_t object, const char *name)
    {
        FoxValue value = {};
        EXPECT_TRUE(HostGetPropertyValue(host, object, name, &value)) << name;
        return value;
    }
    // One idle turn; answers what it delivered to object (0 for nothing)
    // and hands "nReasonMask" back to the library, as the application's
    // timer code does.
    int32_t Delivered(uint32_t object)
    {
        EXPECT_EQ(HostFireIdle(host), 0u);
        FoxValue mask = Property(object, "nReasonMask");
        FoxValue enabled = Property(object, "Enabled");
        EXPECT_EQ(mask.type, 'I');
        EXPECT_EQ(enabled.type, 'L');
        EXPECT_EQ(enabled.length, mask.integer != 0 ? 1u : 0u) << "Enabled goes with a delivery";
        HostSetPropertyValue(host, object, "nReasonMask", FoxInt(0));
        HostSetPropertyValue(host, object, "Enabled", FoxLogical(false));
        return mask.integer;
    }
};

TEST_F(Monitor, LoadAndUnloadRows)
{
    const FunctionEntry *load = HostFindRow(host, "ONLOAD");
    const FunctionEntry *unload = HostFindRow(host, "ONUNLOAD");
    ASSERT_NE(load, nullptr);
    ASSERT_NE(unload, nullptr);
    EXPECT_EQ(load->parameterCount, -2);
    EXPECT_EQ(unload->parameterCount, -3);
    EXPECT_STREQ(load->signature, "");
    EXPECT_STREQ(unload->signature, "");
    // Loading ran the load row: one handler of each kind.
    EXPECT_EQ(HostServiceCount(host, ServiceSetEventHandler), 1);
    EXPECT_EQ(HostServiceCount(host, ServiceSetIdleHandler), 1);
    EXPECT_EQ(HostEventHandlers(host), 1);
    EXPECT_EQ(HostIdleHandlers(host), 1);
    // The host refuses to call the rows as functions.
    EXPECT_EQ(HostCall(host, "ONLOAD", nullptr, 0, nullptr), HostRejectNoFunction);
    // The unload row, run as the host runs it, removes both and releases
    // the registered object.
    Register(timer, 0);
    EXPECT_EQ(HostObjectReferences(host, timer), 1);
    uint8_t buffer[sizeof(DispatchBlock) + sizeof(ParamBlock)] = {};
    DispatchBlock *block = reinterpret_cast<DispatchBlock *>(buffer);
    block->request = RequestCallFunction;
    block->function = reinterpret_cast<uint32_t>(unload->function);
    HostDispatchEntry(host)(block);
    EXPECT_EQ(HostEventHandlers(host), 0);
    EXPECT_EQ(HostIdleHandlers(host), 0);
    EXPECT_EQ(HostServiceCount(host, ServiceClearEventHandler), 1);
    EXPECT_EQ(HostServiceCount(host, ServiceClearIdleHandler), 1);
    EXPECT_EQ(HostObjectReferences(host, timer), 0);
    EXPECT_EQ(HostObjectFrees(host, timer), 1);
}

// Each case starts from a key event for key 65 with the modifiers pre,
// registers the watch mask and sets trap mask and click trigger, lets an
// idle turn take what those produced, then fires the event.
TEST_F(Monitor, EventTable)
{
    const uint32_t ownerWindow = 7;
    HostSetOwnerWindow(host, ownerWindow);
    const int16_t Unchanged = 65;
    struct Case {
        uint16_t code;
        uint32_t key;
        uint16_t modifiers;
        uint32_t window;
        int32_t watch, trap, click;
        uint16_t pre;
        uint32_t result;
        int32_t reasons;
        uint32_t counted;
        int16_t lastKey;
        int32_t keyModifier;
    } cases[] = {
        {1, 0, 0, 0, 0, 0, 0, 0, 0, Front, 1, Unchanged, 0},
        {2, 0, 0, 0, 0, 0, 0, Shift, 0, Front, 1, Unchanged, 1},
        {6, 0, 0, ownerWindow, Owner, 0, 0, 0, 0, Owner, 1, Unchanged, 0},
        {6, 0, 0, ownerWindow, 0, 0, 0, 0, 0, 0, 1, Unchanged, 0},
        {6, 0, 0, ownerWindow + 1, Owner, 0, 0, 0, 0, 0, 1, Unchanged, 0},
        {8, 0, 0, 0, 0xff, 0xff, 1, 0, 0, 0, 0, Unchanged, 0},
        {9, 0, Shift, 0, TrapClick, 0x08, 0, 0, 1, TrapClick, 1, -1, 1},
        {9, 0, Shift, 0, 0, 0x08, 0, 0, 0, 0, 1, -1, 1},
        {9, 0, Ctrl, 0, TrapClick, 0x04, 0, Shift, 1, TrapClick, 1, -1, 2},
        {9, 0, Ctrl, 0, TrapClick, 0x08, 0, 0, 0, 0, 1, -1, 2},
        {9, 0, Shift, 0, TrapClick, 0x01 | 0x02, 0, 0, 0, 0, 1, -1, 1},
        {9, 0, 0, 0, 0, 0, 1, 0, 0, Menu, 1, -1, 0},
        {9, 0, Shift | Ctrl, 0, TrapClick, 0x08, 1, 0, 1, TrapClick | Menu, 1, -1, 3},
        {11, 0, Shift, 0, 0xff, 0xff, 1, 0, 0, 0, 1, Unchanged, 0},
        {13, 0, Ctrl, 0, TrapOther, 0x01, 0, 0, 1, TrapOther, 1, -3, 2},
        {13, 0, Shift, 0, TrapOther, 0x02, 0, 0, 1, TrapOther, 1, -3, 1},
        {13, 0, Shift, 0, TrapOther, 0x01 | 0x04 | 0x08, 0, 0, 0, 0, 1, -3, 1},
        {13, 0, Ctrl, 0, TrapClick, 0x01, 0, 0, 0, 0, 1, -3, 2},
        {13, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, -3, 0},
        {16, 0, 0, 0, 0, 0, 0, Ctrl, 0, 0, 1, Unchanged, 2},
        {17, 328, 0, 0, 0, 0, 1, 0, 0, Menu, 1, 328, 0},
        {17, 331, 0, 0, 0, 0, 1, 0, 0, Menu, 1, 331, 0},
        {17, 333, 0, 0, 0, 0, 1, 0, 0, Menu, 1, 333, 0},
        {17, 336, 0, 0, 0, 0, 1, 0, 0, Menu, 1, 336, 0},
        {17, 336, 0, 0, 0, 0, 0, 0, 0, 0, 1, 336, 0},
        {17, 0x10000 | 328, 0, 0, 0, 0, 1, 0, 0, Menu, 1, 328, 0},
        {17, 338, 0, 0, LockKeys, 0, 0, 0, 0, LockKeys, 1, 338, 0},
        {17, 338, 0, 0, 0, 0, 1, 0, 0, 0, 1, 338, 0},
        {17, 0x10000 | 338, 0, 0, LockKeys, 0, 0, 0, 0, 0, 1, 338, 0},
        {17, 65, Shift | Ctrl, 0, 0, 0, 0, 0, 0, 0, 1, 65, 3},
        {17, 0xffff, Ctrl, 0, 0, 0, 0, Shift, 0, 0, 1, -1, 2},
        {21, 0, 0, 0, Menu, 0, 0, Shift, 0, Menu, 1, -1, 1},
        {21, 0, 0, 0, 0, 0, 0, Shift | Ctrl, 0, 0, 1, -1, 3},
        {99, 0, Shift, 0, 0xff, 0xff, 1, 0, 0, 0, 0, Unchanged, 0},
        {0, 0, Shift, 0, 0xff, 0xff, 1, 0, 0, 0, 0, Unchanged, 0},
    };
    Register(timer, 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "event " << c.code << " key " << c.key << " modifiers "
                                        << c.modifiers << " watch " << c.watch << " trap "
                                        << c.trap << " click " << c.click);
        Register(timer, c.watch);
        FoxValue trap = FoxInt(c.trap);
        Int("fkSetMouseTrap", &trap, 1);
        Trigger(-1, c.click);
        Fire(17, 65, c.pre);
        Delivered(timer);
        int32_t before = Int("fkGetActivityCount");
        EXPECT_EQ(Fire(c.code, c.key, c.modifiers, c.window), c.result);
        EXPECT_EQ(Int("fkGetActivityCount") - before, int32_t(c.counted));
        EXPECT_EQ(Int("fkLastKey"), c.lastKey);
        EXPECT_EQ(Int("fkKeyModifier"), c.keyModifier);
        EXPECT_EQ(Delivered(timer), c.reasons);
    }
    // The owner window is asked for only while watch bit 0x04 is set.
    Register(timer, 0);
    int asked = HostServiceCount(host, ServiceOwnerWindow);
    Fire(6, 0, 0, ownerWindow);
    EXPECT_EQ(HostServiceCount(host, ServiceOwnerWindow), asked);
    Register(timer, Owner);
    Fire(6, 0, 0, ownerWindow);
    EXPECT_EQ(HostServiceCount(host, ServiceOwnerWindow), asked + 1);
}

// Event 21 has no modifier word of its own: it adds what the keyboard
// really holds, and never takes bits away.
TEST_F(Monitor, MenuEventReadsRealShiftAndCtrl)
{
    Fire(17, 65, 0);
    keybd_event(VK_SHIFT, 0x2a, 0, 0);
    Fire(21);
    keybd_event(VK_SHIFT, 0x2a, KEYEVENTF_KEYUP, 0);
    EXPECT_EQ(Int("fkKeyModifier"), 1) << "Shift held at event 21";
    keybd_event(VK_CONTROL, 0x1d, 0, 0);
    Fire(21);
    keybd_event(VK_CONTROL, 0x1d, KEYEVENTF_KEYUP, 0);
    PumpMessages();
    EXPECT_EQ(Int("fkKeyModifier"), 3) << "Ctrl added, Shift kept";
    Fire(21);
    EXPECT_EQ(Int("fkKeyModifier"), 3) << "nothing held: nothing taken away";
    EXPECT_EQ(Int("fkLastKey"), -1);
    Fire(9, 0, 0);
    EXPECT_EQ(Int("fkKeyModifier"), 0) << "a mouse event's own word replaces it";
}

TEST_F(Monitor, Functions)
{
    FoxValue query = FoxInt(-1), mask200 = FoxInt(200), mask5 = FoxInt(5);
    EXPECT_EQ(Int("fkSetMouseTrap", &query, 1), 0);
    EXPECT_EQ(Int("fkSetMouseTrap", &mask200, 1), -56) << "the mask reads as a signed byte";
    EXPECT_EQ(Int("fkSetMouseTrap", &query, 1), -56) << "-1 only queries";
    EXPECT_EQ(Int("fkSetMouseTrap", &mask5, 1), 5);
    FoxValue big = FoxInt(0x1234);
    EXPECT_EQ(Int("fkSetMouseTrap", &big, 1), 0x34) << "low 8 bits";

    EXPECT_EQ(Int("fkGetActivityCount"), 0);
    FoxValue anything[] = {FoxString("x"), FoxInt(0), FoxLogical(false), FoxObject(timer)};
    int32_t expected = 0;
    for (const FoxValue &value : anything)
        EXPECT_EQ(Int("fkGetActivityCount", &value, 1), ++expected) << "type " << value.type;
    EXPECT_EQ(Int("fkGetActivityCount"), expected) << "no parameter: unchanged";
    Fire(11);
    EXPECT_EQ(Int("fkGetActivityCount"), expected + 1);

    EXPECT_EQ(Int("fkLastKey"), 0) << "zero at load";
    EXPECT_EQ(Int("fkKeyModifier"), 0);
    Fire(17, 65, Shift | Ctrl);
    EXPECT_EQ(Int("fkLastKey"), 65);
    EXPECT_EQ(Int("fkKeyModifier"), 3);
    EXPECT_EQ(Int("fkKeyModifier"), 3) << "read, not cleared";
    Fire(13);
    EXPECT_EQ(Int("fkLastKey"), -3);

    // The host enforces the rows' signatures.
    FoxValue text = FoxString("5");
    EXPECT_EQ(HostCall(host, "fkSetMouseTrap", &text, 1, nullptr), HostRejectType);
    EXPECT_EQ(HostCall(host, "fkTriggerCallback", nullptr, 0, nullptr), HostRejectTooFew);
    FoxValue two[2] = {FoxInt(1), FoxInt(2)};
    EXPECT_EQ(HostCall(host, "fkGetActivityCount", two, 2, nullptr), HostRejectTooMany);
    FoxValue notObject[2] = {FoxInt(1), FoxInt(2)};
    EXPECT_EQ(HostCall(host, "fkSetCallbackTimer", notObject, 2, nullptr), HostRejectType);
}

// The click trigger: set and cleared through a negative first value,
// never touching the pending reasons.
TEST_F(Monitor, ClickTrigger)
{
    Register(timer, 0);
    struct Step {
        int32_t second;  // -99: no second parameter
        int32_t clickReasons;
    } steps[] = {{1, Menu}, {0, 0}, {0x100, 0}, {7, Menu}, {-99, 0}, {1, Menu}};
    for (const Step &step : steps) {
        SCOPED_TRACE(testing::Message() << "second value " << step.second);
        if (step.second == -99)
            Trigger(-1);
        else
            Trigger(-5, step.second);
        EXPECT_EQ(Delivered(timer), 0) << "nothing pending from the trigger itself";
        Fire(9);
        EXPECT_EQ(Delivered(timer), step.clickReasons);
        Fire(17, 333);
        EXPECT_EQ(Delivered(timer), step.clickReasons) << "arrow key";
    }
}

TEST_F(Monitor, Delivery)
{
    // Reasons wait while nothing is registered; the host is not asked.
    Trigger(5);
    Fire(2);
    EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(HostServiceCount(host, ServiceGetProperty), 0);
    EXPECT_EQ(Property(timer, "nReasonMask").integer, 0);
    Register(timer, 0);
    EXPECT_EQ(HostObjectReferences(host, timer), 1);
    EXPECT_EQ(Delivered(timer), 5 | Front);
    EXPECT_EQ(Delivered(timer), 0) << "delivered once";

    // Handshake: no delivery while "nReasonMask" is not 0; reasons pile up.
    Trigger(1);
    EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(Property(timer, "nReasonMask").integer, 1);
    Trigger(2);
    int reads = HostServiceCount(host, ServiceGetProperty);
    int writes = HostServiceCount(host, ServiceSetProperty);
    EXPECT_EQ(HostFireIdle(host), 0u);
    Trigger(0x40);
    EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(HostServiceCount(host, ServiceGetProperty) - reads, 2) << "one read per turn";
    EXPECT_EQ(HostServiceCount(host, ServiceSetProperty) - writes, 0) << "no write while taken";
    EXPECT_EQ(Property(timer, "nReasonMask").integer, 1);
    HostSetPropertyValue(host, timer, "nReasonMask", FoxInt(0));
    EXPECT_EQ(Delivered(timer), 0x42);

    // The reason byte is signed: 0x80 arrives as a negative number.
    Trigger(0x80);
    EXPECT_EQ(Delivered(timer), -128);
    Trigger(0x81);
    Trigger(0x300);  // only the low byte counts
    EXPECT_EQ(Delivered(timer), -127);

    // Only the integer field counts: a text there reads as 0, is freed by
    // the library, and the reasons go out.
    HostSetPropertyValue(host, timer, "nReasonMask", FoxString("taken"));
    Trigger(8);
    EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << "the text read was freed";
    EXPECT_EQ(Property(timer, "nReasonMask").type, 'I');
    EXPECT_EQ(Delivered(timer), 8);

    // No reasons pending: nothing is asked.
    reads = HostServiceCount(host, ServiceGetProperty);
    EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(HostServiceCount(host, ServiceGetProperty), reads);
    EXPECT_EQ(HostFailedPropertyWrites(host), 0);
}

TEST_F(Monitor, RegistrationAndCancel)
{
    // Cancelling with nothing registered does nothing.
    Call("fkCancelCallbackTimer");
    EXPECT_EQ(HostServiceCount(host, ServiceObjectRelease), 0);
    EXPECT_EQ(HostServiceCount(host, ServiceObjectFree), 0);

    Register(timer, 0);
    uint32_t other = NewTimer();
    Register(other, Front);
    EXPECT_EQ(HostObjectReferences(host, timer), 1);
    EXPECT_EQ(HostObjectReferences(host, other), 0) << "the second object is ignored";
    HostSetFrontWindow(host, 31);
    EXPECT_EQ(Delivered(timer), Front) << "the new watch mask, the first object";
    EXPECT_EQ(Property(other, "nReasonMask").integer, 0);

    // Cancelling releases the object and drops what was pending.
    Trigger(4);
    Call("fkCancelCallbackTimer");
    EXPECT_EQ(HostObjectReferences(host, timer), 0);
    EXPECT_EQ(HostObjectFrees(host, timer), 1);
    Register(other, 0);
    EXPECT_EQ(HostObjectReferences(host, other), 1);
    EXPECT_EQ(Delivered(other), 0) << "pending reasons were cleared";
    Register(other, Front);
    HostSetFrontWindow(host, 32);
    EXPECT_EQ(Delivered(other), Front) << "the front window cache survived the cancel";
    EXPECT_EQ(Delivered(other), 0);
    Call("fkCancelCallbackTimer");
    Call("fkCancelCallbackTimer");
    EXPECT_EQ(HostObjectFrees(host, other), 1) << "once";
}

// An object without "nReasonMask": every read fails and the reasons wait.
TEST_F(Monitor, FailedReadKeepsReasons)
{
    uint32_t bare = HostNewObject(host);
    Register(bare, 0);
    Trigger(3);
    for (int turn = 0; turn < 3; turn++)
        EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(HostServiceCount(host, ServiceGetProperty), 3) << "tried on every turn";
    EXPECT_EQ(HostServiceCount(host, ServiceSetProperty), 0);
    EXPECT_EQ(HostPropertyCount(host, bare), 0);
    HostSetPropertyValue(host, bare, "nReasonMask", FoxInt(0));
    HostSetPropertyValue(host, bare, "Enabled", FoxLogical(false));
    Trigger(0x10);
    EXPECT_EQ(Delivered(bare), 0x13);
    // Writes go without the add flag: an object without "Enabled" gets the
    // mask, and the write of "Enabled" fails without adding it.
    Call("fkCancelCallbackTimer");
    uint32_t half = HostNewObject(host);
    HostSetPropertyValue(host, half, "nReasonMask", FoxInt(0));
    Register(half, 0);
    Trigger(6);
    EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(Property(half, "nReasonMask").integer, 6);
    EXPECT_EQ(HostPropertyCount(host, half), 1);
    EXPECT_EQ(HostFailedPropertyWrites(host), 1);
    HostSetPropertyValue(host, half, "nReasonMask", FoxInt(0));
    EXPECT_EQ(HostFireIdle(host), 0u);
    EXPECT_EQ(Property(half, "nReasonMask").integer, 0) << "cleared even though a write failed";
}

// A window of this thread with the focus, so that key input reaches it.
static HWND FocusWindow()
{
    HWND window = CreateWindowA("STATIC", "keys", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 120, 80,
                                nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(window);
    SetFocus(window);
    PumpMessages();
    return window;
}

TEST_F(Monitor, LockKeys)
{
    HWND window = FocusWindow();
    ASSERT_NE(window, nullptr);
    bool anyState = GetKeyState(VK_CAPITAL) != 0 || GetKeyState(VK_NUMLOCK) != 0;
    Register(timer, LockKeys);
    EXPECT_EQ(Delivered(timer), anyState ? LockKeys : 0) << "first turn compares with 0";
    EXPECT_EQ(Delivered(timer), 0);
    SHORT capsBefore = GetKeyState(VK_CAPITAL);
    PressKey(VK_CAPITAL, 0x3a, 0);
    EXPECT_NE(GetKeyState(VK_CAPITAL) & 1, capsBefore & 1) << "Caps Lock toggled";
    EXPECT_EQ(Delivered(timer), LockKeys) << "Caps Lock";
    EXPECT_EQ(Delivered(timer), 0);
    PressKey(VK_NUMLOCK, 0x45, KEYEVENTF_EXTENDEDKEY);
    EXPECT_EQ(Delivered(timer), LockKeys) << "Num Lock";
    PressKey(VK_NUMLOCK, 0x45, KEYEVENTF_EXTENDEDKEY);
    EXPECT_EQ(Delivered(timer), LockKeys) << "Num Lock back";
    // Not watched: the change waits unseen, and is seen once watched.
    Register(timer, 0);
    PressKey(VK_CAPITAL, 0x3a, 0);
    EXPECT_EQ(Delivered(timer), 0);
    Register(timer, LockKeys);
    EXPECT_EQ(Delivered(timer), LockKeys);
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, capsBefore & 1) << "Caps Lock as it was";
    DestroyWindow(window);
}

// A main window whose menu bar's second menu has items; checks and
// greyed items make the states differ.
static HMENU MenuBar(int items, UINT firstState)
{
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, 100, "Open");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "File");
    HMENU edit = CreatePopupMenu();
    for (int i = 0; i < items; i++)
        AppendMenuA(edit, MF_STRING | (i == 0 ? firstState : 0), 200 + i, "Item");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "Edit");
    return bar;
}

TEST_F(Monitor, MenuStates)
{
    HWND main = CreateWindowA("STATIC", "main", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                              MenuBar(6, 0), nullptr, nullptr);
    ASSERT_NE(main, nullptr);
    HostRegisterWindow(host, 3, main);
    HostSetOwnerWindow(host, 3);
    Register(timer, Menu);
    EXPECT_EQ(Delivered(timer), 0) << "six plain items read 0, as the cache starts";
    HMENU edit = GetSubMenu(GetMenu(main), 1);
    struct Change {
        UINT position, flags;
    } changes[] = {{0, MF_CHECKED}, {5, MF_GRAYED}, {3, MF_DISABLED}};
    for (const Change &change : changes) {
        SCOPED_TRACE(testing::Message() << "position " << change.position);
        if (change.flags == MF_CHECKED)
            CheckMenuItem(edit, change.position, MF_BYPOSITION | MF_CHECKED);
        else
            EnableMenuItem(edit, change.position, MF_BYPOSITION | change.flags);
        EXPECT_EQ(Delivered(timer), Menu);
        EXPECT_EQ(Delivered(timer), 0);
    }
    // Items past the sixth are not watched.
    AppendMenuA(edit, MF_STRING | MF_CHECKED, 300, "Seventh");
    EXPECT_EQ(Delivered(timer), 0);
    // A new menu bar: the old menu stops naming a menu and the new second
    // menu is found, with only four items (positions 4 and 5 read -1).
    HMENU old = GetMenu(main);
    SetMenu(main, MenuBar(4, 0));
    DestroyMenu(old);
    EXPECT_EQ(Delivered(timer), Menu);
    EXPECT_EQ(Delivered(timer), 0);
    CheckMenuItem(GetSubMenu(GetMenu(main), 1), 2, MF_BYPOSITION | MF_CHECKED);
    EXPECT_EQ(Delivered(timer), Menu) << "the new menu is the one watched";
    // Without a menu bar nothing is watched; the search repeats each turn.
    old = GetMenu(main);
    SetMenu(main, nullptr);
    DestroyMenu(old);
    EXPECT_EQ(Delivered(timer), Menu) << "every position now reads -1";
    EXPECT_EQ(Delivered(timer), 0);
    SetMenu(main, MenuBar(6, MF_CHECKED));
    EXPECT_EQ(Delivered(timer), Menu) << "found again on a later turn";
    DestroyWindow(main);
}

// Answers of service 45 in order, one per request, then the host's own.
struct FrontAnswers {
    uint32_t answers[4];
    int used;
    int count;
};

static void AnswerFront(Host *, HostRequest *request, void *context)
{
    FrontAnswers *front = static_cast<FrontAnswers *>(context);
    if (front->used < front->count)
        request->argument1 = front->answers[front->used++];
}

TEST_F(Monitor, FrontWindow)
{
    Register(timer, Front);
    EXPECT_EQ(Delivered(timer), 0) << "no front window: the cache's 0";
    HostSetFrontWindow(host, 12);
    EXPECT_EQ(Delivered(timer), Front);
    int queries = HostServiceCount(host, ServiceFrontWindow);
    EXPECT_EQ(Delivered(timer), 0);
    EXPECT_EQ(HostServiceCount(host, ServiceFrontWindow) - queries, 2)
        << "one for the text-control pass, one for the check";
    // On a change the second answer is the one kept: the pass sees 20,
    // the check 21, the second query 22; 22 is the front window from then.
    FrontAnswers front = {{20, 21, 22}, 0, 3};
    HostSetServiceHook(host, ServiceFrontWindow, AnswerFront, &front);
    EXPECT_EQ(Delivered(timer), Front);
    EXPECT_EQ(front.used, 3);
    HostSetServiceHook(host, ServiceFrontWindow, nullptr, nullptr);
    HostSetFrontWindow(host, 22);
    EXPECT_EQ(Delivered(timer), 0) << "22 was kept";
    // Not watched: no check.
    Register(timer, 0);
    HostSetFrontWindow(host, 23);
    queries = HostServiceCount(host, ServiceFrontWindow);
    EXPECT_EQ(Delivered(timer), 0);
    EXPECT_EQ(HostServiceCount(host, ServiceFrontWindow) - queries, 1);
}
