// What postern checks of a file a form sends with it, before it is attached:
// its name and its first bytes. Each answer names why a file is not taken.
#pragma once

#include <cstdint>
#include <string_view>

#include "postern/file_kinds.h"

// The last component of a file name as sent: a browser may send a whole
// Windows path.
std::string_view last_component(std::string_view filename);

// The longest file name taken: the most that common file systems allow, and
// a header line of mail has room for once encoded.
inline constexpr std::size_t longestFileName = 255;

// The kind of file `name` says it is, by its extension in any letter case,
// among the kinds of `bits` (kindBit); nullptr when it is none of them.
const FileKind* kind_of_name(std::string_view name, unsigned bits);

// Whether `bytes` begin as a file of `kind` does; a text must be UTF-8 (or
// ASCII) without a NUL byte.
bool begins_as(const FileKind& kind, std::string_view bytes);
