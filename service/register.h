// Registration of ActiveX/COM control files (request 2, switch -r).
#pragma once

// Registers every item of the list; 1 when all succeeded (or the list is
// empty), 0 when one failed or OLE could not be initialised. An item is a
// control's path, or "<destination>source": the source is copied over the
// destination, which is then registered ("<destination" alone registers the
// destination without a copy).
int RegisterControls(const char *text);

// Loads one control file, calls its DllRegisterServer and logs the outcome;
// 1 on success, 0 otherwise.
int RegisterControl(const char *path);
