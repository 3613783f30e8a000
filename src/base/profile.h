// Profile (INI) text read and edited the way the Windows profile functions
// treat it, for the platforms that have no GetPrivateProfileStringA. Pure
// functions over a byte buffer, so tests and fuzzers feed them bytes
// directly. The rules, as Windows (and Wine) apply them:
//  - lines end in CR LF, LF or a lone CR; a UTF-8 byte-order mark is skipped;
//    a NUL ends the text of its line;
//  - "[name]" starts a section (the last "]" of the line closes the name);
//    keys before the first section belong to the section named "";
//  - "key=value" at the first "="; key, value and names lose their
//    surrounding white space; a line without "=" is a key without a value;
//  - lines whose first non-blank character is ";" are comments;
//  - names match without regard to case, and only the first section of a
//    name and the first key of a name in it count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// GetPrivateProfileStringA: copies the value of key in section (or def,
// without its trailing blanks, when the key is missing or has no "=") into
// out, cut to size - 1 characters, and returns the number stored. A value
// loses one pair of matching surrounding quotes.
uint32_t ProfileGetString(const char* text, size_t length, const char* section, const char* key, const char* def,
                          char* out, uint32_t size);

// GetPrivateProfileSectionA: the section's lines as "key=value" (or "key"),
// each ending in a NUL, then one more NUL; values keep their quotes. The
// section name is taken as given, blanks included. Returns
// the characters stored without the last NUL; when they do not fit, as much
// as fits before two NULs, and size - 2.
uint32_t ProfileGetSection(const char* text, size_t length, const char* section, char* out, uint32_t size);

// Returns text with key in section set to value: an existing key line is
// replaced, a missing key is added at the end of its section, a missing
// section is appended. New lines end in CR LF. A byte-order mark stays in
// front of the text.
std::string ProfileSetString(const std::string& text, const char* section, const char* key, const char* value);
