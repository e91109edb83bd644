// Builds the front end's "unicode.bin" from the Unicode character database
// (UnicodeData.txt and SpecialCasing.txt of a unicode-data directory).
//
// The tables follow Python's string rules, which the front end's patterns were
// written against: word characters are letters and numerics (isalnum), white
// space is isspace, digits are decimal digits, lower case is full lower(), and
// the fold of a code point makes two characters equal exactly when Python's
// case-insensitive matching takes them as equal. The cleaning map gives every
// character the ASCII the grapheme-to-phoneme step reads: letters in lower
// case without their accents, digits of any script as ASCII digits, white
// space as a blank, and punctuation kept; what has no such reading (controls,
// letters of other scripts, symbols) gets no entry and vanishes.
#pragma once

/* 0 / -1 (message in the error text). Writes outpath through a temporary file
   in the same folder. */
int tv_ucd_build(const char *srcdir, const char *outpath);
