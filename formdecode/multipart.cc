#include "formdecode/multipart.h"

#include "formdecode/letters.h"

namespace {

constexpr std::string_view crlf = "\r\n";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// `text` up to its first NUL byte: a NUL ends a name or a value.
std::string_view toNul(std::string_view text)
{
    return text.substr(0, text.find('\0'));
}

// The parameters of a header value or a content type after its first
// token: `name=value` or `name="value"` (the value up to the next double
// quote: browsers write a double quote in a name as %22, and a Windows path
// keeps its backslashes), separated by semicolons. Calls `take` with each.
template <class Take>
void eachParameter(std::string_view text, Take take)
{
    while (!text.empty()) {
        const std::size_t equals = text.find_first_of("=;");
        const std::string_view name = trimmed(text.substr(0, equals));
        if (equals == std::string_view::npos || text[equals] == ';') {
            text.remove_prefix(equals == std::string_view::npos ? text.size() : equals + 1);
            continue;
        }
        text.remove_prefix(equals + 1);
        while (!text.empty() && isBlank(text.front()))
            text.remove_prefix(1);
        std::string_view value;
        if (!text.empty() && text.front() == '"') {
            const std::size_t close = text.find('"', 1);
            value = text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
            text.remove_prefix(close == std::string_view::npos ? text.size() : close + 1);
            const std::size_t semicolon = text.find(';');
            text.remove_prefix(semicolon == std::string_view::npos ? text.size() : semicolon + 1);
        } else {
            const std::size_t semicolon = text.find(';');
            value = trimmed(text.substr(0, semicolon));
            text.remove_prefix(semicolon == std::string_view::npos ? text.size() : semicolon + 1);
        }
        take(name, value);
    }
}

// A boundary of 1 to 70 of the characters a boundary may hold, not ending
// in a space.
bool usableBoundary(std::string_view boundary)
{
    if (boundary.empty() || boundary.size() > 70 || boundary.back() == ' ')
        return false;
    for (const char c : boundary) {
        const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && std::string_view("'()+_,-./:=? ").find(c) == std::string_view::npos)
            return false;
    }
    return true;
}

// A delimiter line: where it starts (its CR LF, or the body's start), where
// what follows it starts, and whether it closes the body.
struct Delimiter {
    std::size_t start;
    std::size_t end;
    bool close;
};

class Delimiters {
public:
    Delimiters(std::string_view text, std::string_view boundary)
        : body(text), dashes("\r\n--" + std::string(boundary))
    {
    }

    // The delimiter line whose dashes start at `at`: "--boundary" and then
    // "--", or white space and CR LF. A line that only begins with the
    // boundary is none.
    std::optional<Delimiter> lineAt(std::size_t start, std::size_t at) const
    {
        std::size_t p = at + dashes.size() - crlf.size();
        if (body.substr(p, 2) == "--")
            return Delimiter{start, p + 2, true};
        while (p < body.size() && isBlank(body[p]))
            ++p;
        if (body.substr(p, 2) == crlf)
            return Delimiter{start, p + 2, false};
        return std::nullopt;
    }

    // The first delimiter: at the body's start, or after a preamble.
    std::optional<Delimiter> first() const
    {
        if (body.substr(0, dashes.size() - crlf.size()) == std::string_view(dashes).substr(crlf.size()))
            if (auto d = lineAt(0, 0))
                return d;
        return after(0);
    }

    // The next delimiter whose CR LF is at or after `from`.
    std::optional<Delimiter> after(std::size_t from) const
    {
        for (;;) {
            const std::size_t found = body.find(dashes, from);
            if (found == std::string_view::npos)
                return std::nullopt;
            if (auto d = lineAt(found, found + crlf.size()))
                return d;
            from = found + 1;
        }
    }

private:
    std::string_view body;
    std::string dashes;  // CR LF, "--" and the boundary
};

// Takes the part's header lines into `part`; false when none of them names
// it as a field of the form.
bool readHeaders(std::string_view headers, FormPart& part)
{
    bool named = false;
    while (!headers.empty()) {
        const std::size_t end = headers.find(crlf);
        const std::string_view line = headers.substr(0, end);
        headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + crlf.size());
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !same_name(trimmed(line.substr(0, colon)), "Content-Disposition"))
            continue;
        std::string_view value = line.substr(colon + 1);
        const std::size_t semicolon = value.find(';');
        if (!same_name(trimmed(value.substr(0, semicolon)), "form-data"))
            continue;
        value.remove_prefix(semicolon == std::string_view::npos ? value.size() : semicolon + 1);
        eachParameter(value, [&](std::string_view name, std::string_view text) {
            if (same_name(name, "name")) {
                part.name = toNul(text);
                named = true;
            } else if (same_name(name, "filename")) {
                part.filename = toNul(text);
                part.isFile = true;
            }
        });
    }
    return named;
}

} // namespace

std::optional<std::string> multipart_boundary(std::string_view type)
{
    const std::size_t semicolon = type.find(';');
    if (!same_name(trimmed(type.substr(0, semicolon)), "multipart/form-data"))
        return std::nullopt;
    std::string boundary;
    if (semicolon != std::string_view::npos)
        eachParameter(type.substr(semicolon + 1), [&](std::string_view name, std::string_view value) {
            if (same_name(name, "boundary"))
                boundary = value;
        });
    return usableBoundary(boundary) ? boundary : std::string();
}

const char* multipart_fault_text(MultipartFault fault)
{
    switch (fault) {
    case MultipartFault::none: return "whole";
    case MultipartFault::noBoundary: return "no delimiter line with the boundary of its content type";
    case MultipartFault::headersNotEnded: return "the header lines of a part do not end";
    case MultipartFault::noName: return "a part has no name";
    case MultipartFault::notClosed: return "it ends before its closing delimiter";
    case MultipartFault::tooManyParts: return "too many parts";
    }
    return "";
}

MultipartFault read_multipart(std::string_view body, std::string_view boundary, std::size_t maxParts,
                              std::vector<FormPart>& parts)
{
    const Delimiters delimiters(body, boundary);
    std::optional<Delimiter> at = delimiters.first();
    if (!at)
        return MultipartFault::noBoundary;
    std::size_t count = 0;
    while (!at->close) {
        if (++count > maxParts)
            return MultipartFault::tooManyParts;
        // The part runs from the end of its delimiter line to the CR LF of
        // the next; its header lines end at an empty line, which may be the
        // first (a part with no header lines).
        const std::size_t from = at->end - crlf.size();
        const std::optional<Delimiter> next = delimiters.after(from);
        const std::size_t limit = next ? next->start : body.size();
        const std::size_t headersEnd = body.substr(from, limit - from).find("\r\n\r\n");
        if (headersEnd == std::string_view::npos)
            return MultipartFault::headersNotEnded;
        if (!next)
            return MultipartFault::notClosed;
        FormPart part;
        const std::size_t contentStart = from + headersEnd + 4;
        if (!readHeaders(headersEnd == 0 ? std::string_view() : body.substr(at->end, headersEnd - crlf.size()), part))
            return MultipartFault::noName;
        part.value = body.substr(contentStart, limit - contentStart);
        if (!part.isFile)
            part.value = toNul(part.value);
        if (!(part.isFile && part.filename.empty() && part.value.empty()))
            parts.push_back(std::move(part));
        at = next;
    }
    return MultipartFault::none;
}
