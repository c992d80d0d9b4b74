#include "htmlescape/html_escape.h"

namespace {

// The entity that stands for `c` in a page, or empty when `c` stands for itself.
std::string_view entity(char c)
{
    switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&#39;";
    default: return {};
    }
}

// Hands `put` the escaped text in order: runs of plain text and entities.
template <class Put>
void escape(std::string_view text, Put put)
{
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string_view replacement = entity(text[i]);
        if (replacement.empty())
            continue;
        put(text.substr(run, i - run));
        put(replacement);
        run = i + 1;
    }
    put(text.substr(run));
}

} // namespace

std::string html_escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    escape(text, [&](std::string_view piece) { out += piece; });
    return out;
}

void print_html_escaped(std::FILE* out, std::string_view text)
{
    escape(text, [&](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), out); });
}
