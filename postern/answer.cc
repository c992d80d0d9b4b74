#include "postern/answer.h"

#include "formdecode/letters.h"

namespace {

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
        if (!same_name(next(range, ';'), "application/json"))
            continue;
        bool zero = false;
        while (!range.empty()) {
            const std::string_view parameter = next(range, ';');
            if (parameter.size() >= 2 && ascii_lower(parameter[0]) == 'q' && parameter[1] == '=')
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
            const std::size_t length = utf8_letter(text);
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
