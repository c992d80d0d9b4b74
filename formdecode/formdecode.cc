#include "formdecode/formdecode.h"

#include <algorithm>

namespace {

// Cuts `text` at its first NUL byte, if any.
void end_at_nul(std::string& text)
{
    if (auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
}

// A digit as the decoding has always taken it: the byte as a signed value,
// so that bytes from 0x80 up count as negative.
int hex_digit(char c)
{
    const int ch = static_cast<signed char>(c);  // NOLINT(bugprone-signed-char-misuse,cert-str34-c)
    return ch <= 64 ? ch - 48 : (ch & 0xDF) - 55;
}

} // namespace

std::string fmakeword(std::FILE* in, char stop, int& cl, std::size_t block)
{
    std::string word;
    word.reserve(block);
    for (;;) {
        const int c = getc_unlocked(in);
        --cl;
        if (c == EOF || static_cast<char>(c) == stop)
            break;
        word.push_back(static_cast<char>(c));
        if (cl == 0)
            break;
    }
    end_at_nul(word);
    return word;
}

bool at_end(std::FILE* in)
{
    return std::feof(in) != 0 || std::ferror(in) != 0;
}

std::string makeword(std::string& line, char stop)
{
    std::string word;
    getword(word, line, stop);
    return word;
}

void getword(std::string& word, std::string& line, char stop)
{
    const auto at = line.find(stop);
    if (at == std::string::npos) {
        word.assign(line);
        line.clear();
        return;
    }
    word.assign(line, 0, at);
    line.erase(0, at + 1);
}

char x2c(const char* what)
{
    const int value = hex_digit(what[0]) * 16 + hex_digit(what[1]);
    return static_cast<char>(value & 0xFF);
}

void unescape_url(std::string& url)
{
    const std::size_t length = std::min(url.size(), url.find('\0'));
    std::size_t w = 0;
    for (std::size_t r = 0; r < length; ++r, ++w) {
        char c = url[r];
        if (c == '%' && r + 2 < length) {
            c = x2c(&url[r + 1]);
            r += 2;
            if (c == '\0')
                break;
        }
        url[w] = c;
    }
    url.resize(w);
}

void plustospace(std::string& str)
{
    std::replace(str.begin(), str.end(), '+', ' ');
}
