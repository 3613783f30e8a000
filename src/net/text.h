// Text tools for downloaded texts: HTML character entities and white space.
#pragma once

// Turns the HTML character entities of a writable text into plain characters,
// in place; the text can only get shorter. An "&" begins an entity when a
// ";" follows it 3 to 9 characters on; "&quot;", "&amp;", "&lt;", "&gt;",
// "&nbsp;" (in any case) and "&#n;" become their character, any other entity
// of that length shrinks to a lone "&". A replacement is never read again.
void DecodeEntities(char* text);

// Removes leading and trailing white space in place (blank, tab, LF, VT, FF,
// CR; never a byte above 127). 1, or 0 for an absent or empty text.
int TrimWhiteSpace(char* text);
