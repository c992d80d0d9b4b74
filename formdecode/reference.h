// The form decoding as it is defined, one byte at a time, for the tests and
// the fuzzer to hold the library's faster paths to.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

#include "formdecode/formdecode.h"

// The word a reader gets that asks the stream for one byte at a time.
inline std::string byte_by_byte(std::FILE* in, char stop, int& cl)
{
    std::string word;
    for (;;) {
        const int c = std::getc(in);
        --cl;
        if (c == EOF || static_cast<char>(c) == stop)
            break;
        word.push_back(static_cast<char>(c));
        if (cl == 0)
            break;
    }
    return word.substr(0, word.find('\0'));
}

// unescape_url's result, one byte at a time.
inline std::string unescaped_byte_by_byte(std::string text)
{
    text.resize(std::min(text.size(), text.find('\0')));
    std::string out;
    for (std::size_t r = 0; r < text.size(); ++r) {
        char c = text[r];
        if (c == '%' && r + 2 < text.size()) {
            c = x2c(text.data() + r + 1);
            if (c == '\0')
                break;
            r += 2;
        }
        out.push_back(c);
    }
    return out;
}

// A stream holding `body`, with a stdio buffer of `size` bytes at `buffer`.
inline std::FILE* stream_of(const std::string& body, char* buffer, std::size_t size)
{
    std::FILE* in = std::tmpfile();
    std::fwrite(body.data(), 1, body.size(), in);
    std::rewind(in);
    std::setvbuf(in, buffer, _IOFBF, size);
    return in;
}
