// The event monitor and callback timer: from load to unload the library
// watches the host's events and idle turns, counts user activity, keeps
// the last key and the Shift and Ctrl state, and collects reasons that it
// delivers to the registered host object through its "nReasonMask" and
// "Enabled" properties.
#pragma once
#include <windows.h>
#include "../bridge/records.h"

// Reason bits; the same values serve as watch-mask bits.
const uint8_t ReasonMenu = 0x01;        // watched menu items, event 21, clicks, arrows
const uint8_t ReasonLockKeys = 0x02;    // Caps Lock, Num Lock, Insert
const uint8_t ReasonOwnerWindow = 0x04; // event 6 on the host's owner window
const uint8_t ReasonFrontWindow = 0x08; // a new front window, events 1 and 2
const uint8_t ReasonTrappedClick = 0x10;  // trapped mouse event 9
const uint8_t ReasonTrappedOther = 0x20;  // trapped mouse event 13

// What the monitor keeps; zero at load.
struct MonitorState {
    uint32_t eventHandlerId;
    uint32_t idleHandlerId;
    uint32_t timerObject;     // object id of the registered object; 0 = none
    uint8_t watchMask;
    uint8_t pendingReasons;
    uint8_t trapMask;
    uint8_t clickTrigger;
    uint16_t keyModifiers;    // 0x1000 Shift, 0x2000 Ctrl
    int16_t lastKey;
    uint32_t activityCount;
    HMENU watchedMenu;
    int32_t menuStates[6];
    int32_t capsLockState;
    int32_t numLockState;
    uint32_t frontWindow;
};
extern MonitorState monitor;

// Registers the host object (parameter 1) unless one is registered, and
// sets the watch mask (parameter 2).
void fkSetCallbackTimer(ParamBlock *parameters);
// Releases the registered object and clears the watch mask and the
// pending reasons.
void fkCancelCallbackTimer(ParamBlock *parameters);
// Adds reasons (parameter 1), or with a negative first value sets the
// click trigger from parameter 2.
void fkTriggerCallback(ParamBlock *parameters);
// Sets the mouse-trap mask unless the value is -1; answers the mask.
void fkSetMouseTrap(ParamBlock *parameters);
// The activity count, first raised by 1 when a parameter is passed.
void fkGetActivityCount(ParamBlock *parameters);
// The key code of the last keyboard event (-1, -3 after some mouse events).
void fkLastKey(ParamBlock *parameters);
// 1 for Shift plus 2 for Ctrl in the last recorded modifier word.
void fkKeyModifier(ParamBlock *parameters);

// The load row: installs the event and idle handlers.
void MonitorLoad(ParamBlock *parameters);
// The unload row: removes the handlers, cancels the timer and gives the
// subclassed windows their own procedures back.
void MonitorUnload(ParamBlock *parameters);

// The host's event handler: answers 1 when the library takes the event.
int32_t MonitorEventHandler(uint32_t hostWindow, void *eventRecord);
// The host's idle handler: polls, then delivers pending reasons; always 1.
int32_t MonitorIdleHandler(uint32_t word0, uint32_t word1);
