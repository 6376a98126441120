// The event monitor and callback timer.
#include "monitor.h"
#include <string.h>
#include "../bridge/handles.h"
#include "../bridge/host_services.h"
#include "confirm_prompt.h"
#include "text_control.h"

MonitorState monitor;

// Modifier-word bits of the host's events.
const uint16_t ModifierShift = 0x1000;
const uint16_t ModifierCtrl = 0x2000;

// Trap-mask bits.
const uint8_t TrapOtherCtrl = 0x01;
const uint8_t TrapOtherShift = 0x02;
const uint8_t TrapClickCtrl = 0x04;
const uint8_t TrapClickShift = 0x08;

// Host event codes the monitor acts on.
enum MonitorEvent : uint16_t {
    EventDialogOpened = 1,
    EventWindowChanged = 2,
    EventWindowActivity = 6,
    EventDialogClosed = 8,
    EventClick = 9,
    EventActivity11 = 11,
    EventOtherMouse = 13,
    EventActivity16 = 16,
    EventKey = 17,
    EventMenu = 21,
};

// Key codes of keyboard event 17: 256 plus the scan code.
const uint32_t KeyUp = 328, KeyLeft = 331, KeyRight = 333, KeyDown = 336;
const uint32_t KeyInsert = 338;

// Positions of the watched menu that are polled.
const int WatchedMenuItems = 6;

// A host object value naming the registered object, every other field 0.
static HostValue TimerObjectValue()
{
    HostValue object;
    memset(&object, 0, sizeof object);
    object.type = 'O';
    object.object = monitor.timerObject;
    return object;
}

void fkSetCallbackTimer(ParamBlock *parameters)
{
    HostValue *object = &parameters->slots[0].value;
    if (monitor.timerObject == 0) {
        HostObjectReference(object);
        monitor.timerObject = object->object;
    }
    monitor.watchMask = uint8_t(parameters->slots[1].value.longValue);
}

void fkCancelCallbackTimer(ParamBlock *)
{
    if (monitor.timerObject == 0)
        return;
    HostValue object = TimerObjectValue();
    HostObjectRelease(&object);
    HostObjectFree(&object);
    monitor.timerObject = 0;
    monitor.watchMask = 0;
    monitor.pendingReasons = 0;
}

// A negative first value without a second parameter clears the click
// trigger: the absent parameter carries nothing to read.
void fkTriggerCallback(ParamBlock *parameters)
{
    int32_t reasons = parameters->slots[0].value.longValue;
    if (reasons >= 0) {
        monitor.pendingReasons |= uint8_t(reasons);
        return;
    }
    bool flagGiven = parameters->count >= 2;
    monitor.clickTrigger = flagGiven ? uint8_t(parameters->slots[1].value.longValue) : 0;
}

void fkSetMouseTrap(ParamBlock *parameters)
{
    int32_t mask = parameters->slots[0].value.longValue;
    if (mask != -1)
        monitor.trapMask = uint8_t(mask);
    HostReturnInt(int8_t(monitor.trapMask), IntegerWidth);
}

void fkGetActivityCount(ParamBlock *parameters)
{
    if (parameters->count > 0)
        monitor.activityCount++;
    HostReturnInt(int32_t(monitor.activityCount), IntegerWidth);
}

void fkLastKey(ParamBlock *)
{
    HostReturnInt(monitor.lastKey, IntegerWidth);
}

void fkKeyModifier(ParamBlock *)
{
    int32_t answer = 0;
    if (monitor.keyModifiers & ModifierShift)
        answer += 1;
    if (monitor.keyModifiers & ModifierCtrl)
        answer += 2;
    HostReturnInt(answer, IntegerWidth);
}

void MonitorLoad(ParamBlock *)
{
    monitor.eventHandlerId = HostSetEventHandler(MonitorEventHandler, 1);
    monitor.idleHandlerId = HostSetIdleHandler(MonitorIdleHandler, 1);
}

// The windows go back to their own procedures last, once no handler can
// subclass them again.
void MonitorUnload(ParamBlock *parameters)
{
    if (monitor.idleHandlerId != 0)
        HostClearIdleHandler(monitor.idleHandlerId);
    if (monitor.eventHandlerId != 0)
        HostClearEventHandler(monitor.eventHandlerId);
    fkCancelCallbackTimer(parameters);
    RestoreConfirmDialogs();
    RestoreTextControls();
}

// True when the watch mask has all of bits.
static bool Watching(uint8_t bits)
{
    return (monitor.watchMask & bits) == bits;
}

// Mouse event 9: a click. Trapped with Ctrl or Shift when the trap mask
// and watch bit 0x10 say so.
static int32_t OnClick(uint16_t modifiers)
{
    monitor.lastKey = -1;
    monitor.activityCount++;
    monitor.keyModifiers = modifiers;
    if (monitor.clickTrigger != 0)
        monitor.pendingReasons |= ReasonMenu;
    bool trapped = ((monitor.trapMask & TrapClickCtrl) && (modifiers & ModifierCtrl)) ||
                   ((monitor.trapMask & TrapClickShift) && (modifiers & ModifierShift));
    if (Watching(ReasonTrappedClick) && trapped) {
        monitor.pendingReasons |= ReasonTrappedClick;
        return 1;
    }
    return 0;
}

// Mouse event 13, trapped like a click under its own bits.
static int32_t OnOtherMouse(uint16_t modifiers)
{
    monitor.activityCount++;
    monitor.keyModifiers = modifiers;
    monitor.lastKey = -3;
    bool trapped = ((monitor.trapMask & TrapOtherCtrl) && (modifiers & ModifierCtrl)) ||
                   ((monitor.trapMask & TrapOtherShift) && (modifiers & ModifierShift));
    if (Watching(ReasonTrappedOther) && trapped) {
        monitor.pendingReasons |= ReasonTrappedOther;
        return 1;
    }
    return 0;
}

// Keyboard event 17. The arrow keys are tested on the key's low 16 bits,
// Insert on the whole code.
static void OnKey(uint32_t key, uint16_t modifiers)
{
    monitor.keyModifiers = modifiers;
    monitor.lastKey = int16_t(key);
    monitor.activityCount++;
    uint16_t code = uint16_t(key);
    bool arrow = code == KeyUp || code == KeyLeft || code == KeyRight || code == KeyDown;
    if (monitor.clickTrigger != 0 && arrow)
        monitor.pendingReasons |= ReasonMenu;
    if (Watching(ReasonLockKeys) && key == KeyInsert)
        monitor.pendingReasons |= ReasonLockKeys;
}

// Event 21 carries no modifier word: Shift and Ctrl are read from the
// keyboard, and only ever added.
static void OnMenu()
{
    monitor.lastKey = -1;
    monitor.activityCount++;
    if (Watching(ReasonMenu))
        monitor.pendingReasons |= ReasonMenu;
    if (GetAsyncKeyState(VK_SHIFT) < 0)
        monitor.keyModifiers |= ModifierShift;
    if (GetAsyncKeyState(VK_CONTROL) < 0)
        monitor.keyModifiers |= ModifierCtrl;
}

int32_t MonitorEventHandler(uint32_t hostWindow, void *eventRecord)
{
    const uint8_t *record = static_cast<const uint8_t *>(eventRecord);
    uint16_t code, modifiers;
    uint32_t key;
    memcpy(&code, record + EventCodeOffset, sizeof code);
    memcpy(&key, record + EventKeyOffset, sizeof key);
    memcpy(&modifiers, record + EventModifiersOffset, sizeof modifiers);
    switch (code) {
    case EventDialogOpened:
        ApplyConfirmPrompt(hostWindow);
        monitor.pendingReasons |= ReasonFrontWindow;
        monitor.activityCount++;
        return 0;
    case EventWindowChanged:
        monitor.pendingReasons |= ReasonFrontWindow;
        monitor.activityCount++;
        return 0;
    case EventWindowActivity:
        if (Watching(ReasonOwnerWindow) && hostWindow == HostOwnerWindow(0, 1))
            monitor.pendingReasons |= ReasonOwnerWindow;
        monitor.activityCount++;
        return 0;
    case EventDialogClosed:
        DisarmConfirmPrompt();
        return 0;
    case EventClick:
        return OnClick(modifiers);
    case EventActivity11:
    case EventActivity16:
        monitor.activityCount++;
        return 0;
    case EventOtherMouse:
        return OnOtherMouse(modifiers);
    case EventKey:
        OnKey(key, modifiers);
        return 0;
    case EventMenu:
        OnMenu();
        return 0;
    default:
        return 0;
    }
}

// The whole 16-bit key state, pressed and toggled bits alike, widened.
static int32_t KeyState(int key)
{
    return int32_t(GetKeyState(key));
}

// Idle step 1: a change of either lock key's state.
static void PollLockKeys()
{
    int32_t caps = KeyState(VK_CAPITAL);
    int32_t num = KeyState(VK_NUMLOCK);
    if (caps == monitor.capsLockState && num == monitor.numLockState)
        return;
    monitor.pendingReasons |= ReasonLockKeys;
    monitor.capsLockState = caps;
    monitor.numLockState = num;
}

// The second menu of the owner window's menu bar; 0 while it has none.
static HMENU FindWatchedMenu()
{
    HWND owner = HostWindowToHwnd(HostOwnerWindow(0, 1));
    HMENU bar = GetMenu(owner);
    return bar != nullptr ? GetSubMenu(bar, 1) : nullptr;
}

// Idle step 3: a change in the state of the watched menu's first items.
// The menu handle is cached and looked up again only once it stops naming
// a menu.
static void PollMenu()
{
    if (monitor.watchedMenu == nullptr ||
        GetMenuState(monitor.watchedMenu, 0, MF_BYPOSITION) == UINT(-1))
        monitor.watchedMenu = FindWatchedMenu();
    for (int position = 0; position < WatchedMenuItems; position++) {
        int32_t state = int32_t(GetMenuState(monitor.watchedMenu, position, MF_BYPOSITION));
        if (state != monitor.menuStates[position]) {
            monitor.pendingReasons |= ReasonMenu;
            monitor.menuStates[position] = state;
        }
    }
}

// Idle step 4: a new front window. The second answer is the one kept.
static void PollFrontWindow()
{
    if (HostFrontWindow(0) == monitor.frontWindow)
        return;
    monitor.frontWindow = HostFrontWindow(0);
    monitor.pendingReasons |= ReasonFrontWindow;
}

// Idle step 6: hands the pending reasons to the registered object once its
// "nReasonMask" reads 0. Without a registered object nothing is asked and
// the reasons wait for one.
static void DeliverReasons()
{
    if (monitor.timerObject == 0)
        return;
    HostValue object = TimerObjectValue();
    HostValue value;
    memset(&value, 0, sizeof value);
    if (HostGetProperty(&value, &object, "nReasonMask") != 0)
        return;
    // A text read from the property is ours to free; only the integer
    // field counts.
    if (value.type == 'C')
        HandleFree(value.handle);
    if (value.longValue != 0)
        return;
    memset(&value, 0, sizeof value);
    value.type = 'I';
    value.width = IntegerWidth;
    value.longValue = int8_t(monitor.pendingReasons);
    HostSetProperty(&object, "nReasonMask", &value, 0);
    memset(&value, 0, sizeof value);
    value.type = 'L';
    value.length = 1;
    HostSetProperty(&object, "Enabled", &value, 0);
    monitor.pendingReasons = 0;
}

int32_t MonitorIdleHandler(uint32_t, uint32_t)
{
    if (Watching(ReasonLockKeys))
        PollLockKeys();
    FixTextControls();
    if (Watching(ReasonMenu))
        PollMenu();
    if (Watching(ReasonFrontWindow))
        PollFrontWindow();
    if (monitor.pendingReasons != 0)
        DeliverReasons();
    return 1;
}
