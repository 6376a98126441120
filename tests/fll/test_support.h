// What several library tests share besides the host (see test_support.cpp).
#pragma once
#include <stdint.h>

#include <string>

// Runs a program beside this one and answers its exit code (-1 when it
// cannot be started).
int RunBeside(const char *program, const char *arguments);

// The whole file, or the empty text when it cannot be read.
std::string ReadFileText(const char *path);

// The text a PostScript job shows: its "(text) show" strings and the
// glyphs it shows one by one by name ("/H glyphshow", "/space glyphshow").
std::string ShownText(const std::string &postscript);

// A row of the library table as host code knows it: name, parameter count
// (-2 and -3 for the load and unload rows) and signature.
struct ExpectedRow {
    const char *name;
    int16_t count;
    const char *signature;
};

// The 33 rows in the order the host reads them.
extern const ExpectedRow expectedLibraryRows[];
extern const int expectedLibraryRowCount;
