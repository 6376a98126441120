#include "fonts.h"
// Not built yet.
int InstallFont(const char *) { return 0; }
