#include "folio/screen.h"

#include <new>

const Tag tags[3] = {
    {"\"", "&qt"},
    {"<", "&lt"},
    {">", "&gt"},
};

namespace {

// Tested against the upper-cased line, in this order.
constexpr std::string_view forbidden[] = {
    "</UL", "<LI", ".EXE", "CGI", "/HTML", "/BODY", "<FORM", "#EXEC", "CMD=",
    "<META", "</TITLE", "<TITLE", "<ADDRESS>", "<BASE HREF", "<LINK REV", "!-",
    "COMMAND=",
};

char upper_byte(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool is_control(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

int valid_line(std::string_view line, std::size_t longest, std::size_t shortest)
{
    line = line.substr(0, line.find('\0'));
    if (line.size() > longest || line.size() < shortest)
        return 0;
    std::string copy;
    try {
        copy.assign(line);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    for (char& c : copy) {
        if (is_control(c))
            return 0;
        c = upper_byte(c);
    }
    for (const auto text : forbidden)
        if (copy.find(text) != std::string::npos)
            return 0;
    return 1;
}

std::string* snr(std::string& str, std::string_view pattern, std::string_view replacement)
{
    if (pattern.empty())
        return &str;
    try {
        std::string result;
        std::size_t from = 0;
        for (auto at = str.find(pattern); at != std::string::npos; at = str.find(pattern, from)) {
            result.append(str, from, at - from);
            result.append(replacement);
            from = at + pattern.size();
        }
        if (from == 0)
            return &str;
        result.append(str, from);
        str.swap(result);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return &str;
}

int xtoe(std::string& str)
{
    for (const auto& tag : tags)
        if (snr(str, tag.plain, tag.entity) == nullptr)
            return 0;
    return 1;
}

int etox(std::string& str)
{
    for (const auto& tag : tags)
        if (snr(str, tag.entity, tag.plain) == nullptr)
            return 0;
    return 1;
}

void upper(std::string& str)
{
    for (char& c : str)
        c = upper_byte(c);
}
