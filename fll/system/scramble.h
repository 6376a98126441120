// Keyed scrambling of character values and memo fields. The same call
// with the same key undoes itself.
#pragma once
#include "../bridge/records.h"

// Scrambles parameter 1 (a character value, or a reference to a memo field
// of an open table) with the key in parameter 2 and returns the result as
// a character value. A character value is scrambled in its own block,
// which becomes the result; a memo field is read into a new block and left
// as it is.
void fkEncrypt(ParamBlock *parameters);
