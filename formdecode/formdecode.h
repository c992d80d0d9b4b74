// Reading an application/x-www-form-urlencoded request body field by field,
// splitting a field into name and value, and the two URL decodings.
//
// Text is 8-bit bytes with no character set assumed. A NUL byte, raw in the
// body or decoded from %00, ends the text of a field: nothing after it is kept.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// One field of a submitted form, in body order.
struct FormEntry {
    std::string name;
    std::string value;
};

// CONTENT_LENGTH as atoi reads it (leading white space, a sign, the digits up
// to the first non-digit; 0 when there are none), except that a value beyond
// the range of int counts as its nearest end instead of wrapping round.
int content_length(const char* text);

// Reads the next word of `in` up to the stop character, one byte per read,
// lowering `cl` by one for every read (the stop character's and a read that
// meets the end included). The word ends at the stop character (not kept), at
// end of input (nothing kept for the failed read), or after the byte that
// brings `cl` to exactly 0. The buffer starts with room for `block` bytes,
// the program's own block size.
std::string fmakeword(std::FILE* in, char stop, int& cl, std::size_t block);

// True once a read of `in` has met the end of input (or failed): the reading
// loops stop there. Never looks ahead.
bool at_end(std::FILE* in);

// Reads and drops what is left of a body: up to `cl` more bytes (none when
// `cl` is 0 or below), stopping at end of input. A program calls it before
// it ends with part of the body unread: a server that passes the body over a
// socket (Apache's mod_cgid) resets the connection, answer and all, when the
// program closes it with unread bytes in it.
void discard_rest(std::FILE* in, int cl);

// Returns the text of `line` before the first stop character; `line` keeps
// only the text after it, or becomes empty when there is none.
std::string makeword(std::string& line, char stop);

// As makeword, into the caller's `word`.
void getword(std::string& word, std::string& line, char stop);

// The byte that two hexadecimal digits stand for. Other characters are not
// refused: each gives ch - 48 when ch <= 64 (as a signed byte), otherwise
// (ch & 0xDF) - 55.
char x2c(const char* what);

// Decodes %XX escapes in place. A percent sign with fewer than two characters
// after it stays as it is. A decoded NUL ends the string there.
void unescape_url(std::string& url);

// Replaces every plus sign by a space.
void plustospace(std::string& str);
