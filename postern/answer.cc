#include "postern/answer.h"

#include <cstdint>

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view text, std::string_view name)
{
    if (text.size() != name.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (lower(text[i]) != lower(name[i]))
            return false;
    return true;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A quality of 0: "0", "0." and any number of zeros after it.
bool zeroQuality(std::string_view q)
{
    if (q.empty() || q[0] != '0')
        return false;
    q.remove_prefix(1);
    if (q.empty())
        return true;
    if (q[0] != '.')
        return false;
    for (const char c : q.substr(1))
        if (c != '0')
            return false;
    return true;
}

// The length of the UTF-8 letter at the start of `text`, or 0 when it is not
// one (RFC 3629).
std::size_t utf8Letter(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned c = byte(0);
    std::size_t length = 0;
    unsigned low = 0x80;
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

} // namespace

bool accepts_json(std::string_view accept)
{
    // Media ranges separated by commas, each a type and its parameters
    // separated by semicolons.
    const auto next = [](std::string_view& text, char separator) {
        const std::size_t at = text.find(separator);
        const std::string_view piece = trimmed(text.substr(0, at));
        text.remove_prefix(at == std::string_view::npos ? text.size() : at + 1);
        return piece;
    };
    while (!accept.empty()) {
        std::string_view range = next(accept, ',');
        if (!sameName(next(range, ';'), "application/json"))
            continue;
        bool zero = false;
        while (!range.empty()) {
            const std::string_view parameter = next(range, ';');
            if (parameter.size() >= 2 && lower(parameter[0]) == 'q' && parameter[1] == '=')
                zero = zeroQuality(trimmed(parameter.substr(2)));
        }
        if (!zero)
            return true;
    }
    return false;
}

std::string json_string(std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string out = "\"";
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text[0]);
        if (c >= 0x80) {
            const std::size_t length = utf8Letter(text);
            out += length == 0 ? std::string_view("\\ufffd") : text.substr(0, length);
            text.remove_prefix(length == 0 ? 1 : length);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F || c == '<' || c == '>' || c == '&' || c == '\'') {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
        text.remove_prefix(1);
    }
    return out + "\"";
}

std::string plain_text(std::string_view lines)
{
    static constexpr std::string_view entities[][2] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}};
    std::string out;
    for (std::size_t i = 0; i < lines.size();) {
        const char c = lines[i];
        if (c == '<') {
            const std::size_t close = lines.find('>', i);
            i = close == std::string_view::npos ? lines.size() : close + 1;
            continue;
        }
        if (c == '&') {
            bool decoded = false;
            for (const auto& [entity, plain] : entities)
                if (lines.substr(i, entity.size()) == entity) {
                    out += plain;
                    i += entity.size();
                    decoded = true;
                    break;
                }
            if (decoded)
                continue;
        }
        out += c == '\n' ? ' ' : c;
        ++i;
    }
    return std::string(trimmed(out));
}
