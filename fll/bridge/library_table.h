// The table through which the host learns the library's functions.
#pragma once
#include "records.h"

// Constant for as long as the library is loaded; requests 0 and 14 hand
// out its address.
extern const LibraryTable libraryTable;
