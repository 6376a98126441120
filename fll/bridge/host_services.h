// Calls from library code into the host: one call core, one wrapper per
// service, and the helpers that hand a result to the calling host code.
// Every call runs on the calling thread through the callback that request 0
// left in its context. A host error (service 83, or 84 left in any request
// by the host) never returns to the caller: it lands in the innermost
// DispatchAPI entry on the thread.
#pragma once
#include <windows.h>
#include "records.h"

// The call core, one form per argument count: fills a HostRequest with the
// service code and arguments, runs it through the host callback and answers
// the word the host left at offset 0.
uint32_t CallHost1(uint32_t service, uint32_t a1);
uint32_t CallHost2(uint32_t service, uint32_t a1, uint32_t a2);
uint32_t CallHost3(uint32_t service, uint32_t a1, uint32_t a2, uint32_t a3);
uint32_t CallHost4(uint32_t service, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4);
uint32_t CallHost5(uint32_t service, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4,
                   uint32_t a5);

// Service 11: value becomes the calling host function's result. A 'C' or
// 'H' value hands its handle to the host.
void HostReturnValue(HostValue *value);
// Service 23: the file channel of the memo file of the table in workArea.
int32_t HostMemoChannel(int16_t workArea);
// Service 25: offset of the memo field's data in its channel; a negative
// answer is a host error number, negated.
int32_t HostMemoFind(HostLocator *field);
// Service 26: length in bytes of the memo field's data.
uint32_t HostMemoSize(HostLocator *field);
// Service 29: stores a copy of value into the referenced variable or field;
// the caller keeps (and frees) a character value's handle.
void HostStore(HostLocator *target, HostValue *value);
// Service 30: fills value from the referenced variable or field; a
// character value comes in a new handle that the caller frees.
void HostLoad(HostLocator *source, HostValue *value);
// Service 33: reads count bytes from the channel into buffer; answers the
// number of bytes read.
uint32_t HostChannelRead(int32_t channel, void *buffer, uint32_t count);
// Service 34: moves the channel to offset, counted from the start.
void HostChannelSeek(int32_t channel, uint32_t offset);
// Service 45: the host's front window (host window handle).
uint32_t HostFrontWindow(uint32_t which);
// Services 56 and 57: installs an event handler, run by the host through
// DispatchAPI (request 11); answers the id that removes it again.
uint32_t HostSetEventHandler(EventHandler handler, int16_t flag);
void HostClearEventHandler(uint32_t id);
// Services 58 and 59: the same for an idle handler (request 10).
uint32_t HostSetIdleHandler(IdleHandler handler, int16_t flag);
void HostClearIdleHandler(uint32_t id);
// Service 82: a host dialog of that kind with text and up to three button
// labels (null where not given).
void HostDialog(uint32_t kind, const char *text, uint32_t a3, uint32_t a4,
                const char *const labels[3]);
// Service 83: raises host error number. Never returns.
[[noreturn]] void HostError(uint32_t number);
// Service 112: the Windows window of a host window.
HWND HostWindowToHwnd(uint32_t hostWindow);
// Service 113: the host window used as owner of dialogs.
uint32_t HostOwnerWindow(uint32_t a1, uint32_t a2);
// Service 122: assigns value to the object's property; add 1 where the
// property may be new, 0 where the object must already have it.
void HostSetProperty(HostValue *object, const char *name, HostValue *value, uint32_t add);
// Service 123: fills value from the object's property; 0 on success,
// anything else is failure.
uint32_t HostGetProperty(HostValue *value, HostValue *object, const char *name);
// Services 124, 125 and 127: host references on an object.
void HostObjectReference(HostValue *object);
void HostObjectRelease(HostValue *object);
void HostObjectFree(HostValue *object);

// The display width of every integer the library hands to the host.
const int16_t IntegerWidth = 10;

// Returns an integer of that width ('I').
void HostReturnInt(int32_t value, int16_t width);
// Returns a logical: 1 for any non-zero flag, else 0.
void HostReturnLogical(uint32_t flag);
// Returns a copy of text in a new handle ('H'). When no handle can be had
// nothing is returned and no error is raised.
void HostReturnString(const char *text);
