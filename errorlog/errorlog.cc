#include "errorlog/errorlog.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace {

constexpr std::size_t shownBytes = 200;

bool needs_escape(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte >= 0x7F || c == '\\' || c == '"';
}

} // namespace

std::string log_quoted(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    const std::string_view shown = text.substr(0, shownBytes);
    std::string out = "\"";
    for (const char c : shown) {
        if (needs_escape(c)) {
            const auto byte = static_cast<unsigned char>(c);
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
    if (shown.size() < text.size())
        out += "...";
    return out;
}

void log_error(std::string_view program, std::string_view message)
{
    char separator[] = ": ";
    char newline[] = "\n";
    iovec parts[] = {
        {const_cast<char*>(program.data()), program.size()},  // writev only reads them
        {separator, 2},
        {const_cast<char*>(message.data()), message.size()},
        {newline, 1},
    };
    while (writev(STDERR_FILENO, parts, 4) < 0 && errno == EINTR) {
    }
}
