#include "register.h"
// Not built yet.
int RegisterControls(const char *) { return 0; }
int RegisterControl(const char *) { return 0; }
