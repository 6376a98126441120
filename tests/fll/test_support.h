// What several library tests share besides the host (see test_support.cpp).
#pragma once
#include <string>

// Runs a program beside this one and answers its exit code (-1 when it
// cannot be started).
int RunBeside(const char *program, const char *arguments);

// The whole file, or the empty text when it cannot be read.
std::string ReadFileText(const char *path);

// The text a PostScript job shows: its "(text) show" strings and the
// glyphs it shows one by one by name ("/H glyphshow", "/space glyphshow").
std::string ShownText(const std::string &postscript);
