// The library's single entry point and the value table it keeps for the
// host.
#pragma once
#include "records.h"

// Acts on one request block and returns 0; every answer travels in the
// block. A host error raised while the request runs lands here and ends
// the request.
extern "C" __declspec(dllexport) int __fastcall DispatchAPI(void *block);

// Stores value in the first free slot from the hint on and returns its
// index, or 0 when the table is full. Storing 0 leaves the slot free.
uint32_t ValueAdd(ValueTable *table, uint32_t value);

// Frees the slot at index; index 0, indexes past the table and free slots
// are ignored.
void ValueRemove(ValueTable *table, uint32_t index);

// The value at index; 0 for index 0, indexes past the table and free slots.
uint32_t ValueGet(const ValueTable *table, uint32_t index);
