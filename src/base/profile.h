// Profile (INI) text read and edited the way the Windows profile functions
// treat it, for the platforms that have no GetPrivateProfileStringA. Only the
// parts the agent uses are here: one value by section and key, and setting one
// value. Pure functions over a byte buffer, so tests and fuzzers feed them
// bytes directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Copies the value of key in section (or def, without its trailing blanks,
// when the key is missing or has no "=") into out, cut to size - 1
// characters, and returns the number of characters stored. Section and key
// names match without regard to case; the first section of that name is the
// one searched. The value loses its surrounding white space and one pair of
// matching surrounding quotes. Lines whose first non-blank character is ";"
// are comments.
uint32_t ProfileGetString(const char* text, size_t length, const char* section, const char* key, const char* def,
                          char* out, uint32_t size);

// Returns text with key in section set to value: an existing key line is
// replaced, a missing key is added at the end of its section, a missing
// section is appended. New lines end in CR LF.
std::string ProfileSetString(const std::string& text, const char* section, const char* key, const char* value);
