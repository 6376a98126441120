// Font installation for all users (request 3, switch -f).
#pragma once

// Installs every font item of the list from the executable's folder; 1 when
// at least one item ended present or installed, else 0.
int InstallFont(const char *text);
