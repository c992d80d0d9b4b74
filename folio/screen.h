// Text routines for pages that take free text from visitors and put it back
// into HTML: a line screen, conversions between quotes or angle brackets and
// their entity texts, the search-and-replace under them, and upper-casing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A plain character and its entity text (no closing semicolon).
struct Tag {
    const char* plain;
    const char* entity;
};

// The double quote, less-than and greater-than signs, in the order they are
// converted.
extern const Tag tags[3];

// 1 when `line` is between `shortest` and `longest` bytes long, holds no
// control character and none of the forbidden texts (markup that could
// restructure a page, server-side commands, program references) in any case;
// else 0. The text ends at a NUL byte, if any.
int valid_line(std::string_view line, std::size_t longest, std::size_t shortest);

// Replaces every occurrence of `pattern` in `str`, left to right, by
// `replacement`; the replacement is never searched again. An empty pattern
// changes nothing. Answers &str, or nullptr (with `str` unchanged) when memory
// cannot be had.
std::string* snr(std::string& str, std::string_view pattern, std::string_view replacement);

// Each plain character of `tags` to its entity text, in order. 1 on success;
// 0 when memory cannot be had (the replacements made so far stay).
int xtoe(std::string& str);

// Each entity text of `tags` back to its plain character, in order. As xtoe.
int etox(std::string& str);

// Upper-cases `str` in place (POSIX-locale letters only).
void upper(std::string& str);
