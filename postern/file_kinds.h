// The kinds of file a form may take with it, known by the extension of the
// file's name: the type the mail gives it, and the bytes such a file begins
// with. A file is attached only when its bytes are what its name says; the
// type the visitor's browser sent is never used.
#pragma once

#include <string_view>

struct FileKind {
    std::string_view extension;
    std::string_view type;
    std::string_view signature;  // empty: text, checked as UTF-8 without NUL bytes
};

inline constexpr FileKind fileKinds[] = {
    {"pdf", "application/pdf", "%PDF-"},
    {"doc", "application/msword", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"},  // the compound-document signature
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document", "PK\x03\x04"},
    {"odt", "application/vnd.oasis.opendocument.text", "PK\x03\x04"},
    {"rtf", "application/rtf", "{\\rtf"},
    {"txt", "text/plain; charset=UTF-8", ""},
};

// The bit of a form's setting that stands for fileKinds[i].
constexpr unsigned kindBit(std::size_t i)
{
    return 1U << i;
}
