// Letters as the form reader and the gateway compare them: names in either
// letter case of ASCII (a header's name, a charset's, a file's extension),
// and the letters of UTF-8.
#pragma once

#include <cstddef>
#include <string_view>

constexpr char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` is `name` in any letter case of ASCII.
constexpr bool same_name(std::string_view text, std::string_view name)
{
    if (text.size() != name.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (ascii_lower(text[i]) != ascii_lower(name[i]))
            return false;
    return true;
}

// The length of the UTF-8 letter `text` begins with, or 0 when it begins
// with none (RFC 3629: no overlong forms, no surrogates, nothing past
// U+10FFFF). An ASCII byte is a letter of one byte.
constexpr std::size_t utf8_letter(std::string_view text)
{
    if (text.empty())
        return 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(text[i])); };
    const unsigned c = byte(0);
    if (c < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned low = 0x80;  // the least second byte, against overlong forms and surrogates
    unsigned high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    return length;
}
