// The echo page's text routines over hostile text: the line screen within its
// limits, the entity round trip, and search-and-replace against a plain
// reference count.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "folio/screen.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

std::size_t occurrences(std::string_view text, std::string_view pattern)
{
    std::size_t count = 0;
    for (auto at = text.find(pattern); at != std::string_view::npos; at = text.find(pattern, at + pattern.size()))
        ++count;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t longest = data[0];
    const std::size_t shortest = data[1] % 16;
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

    // The screen reads only the line, whatever the limits; case does not
    // matter to it; a control character or a length out of bounds fails a
    // line; and each half of a line it passes passes too.
    const std::string line(text.substr(0, text.find('\0')));
    const int answer = valid_line(text, longest, shortest);
    std::string upperLine = line;
    upper(upperLine);
    check(valid_line(upperLine, longest, shortest) == answer);
    const bool control = std::any_of(line.begin(), line.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    if (control || line.size() > longest || line.size() < shortest)
        check(answer == 0);
    if (answer == 1) {
        check(valid_line(line.substr(0, line.size() / 2), longest, 0) == 1);
        check(valid_line(line.substr(line.size() / 2), longest, 0) == 1);
    }

    // Conversions: text without the entity texts comes back unchanged.
    std::string converted = text;
    check(xtoe(converted) == 1);
    check(converted.find_first_of("\"<>") == std::string::npos);
    if (text.find("&qt") == std::string::npos && text.find("&lt") == std::string::npos &&
        text.find("&gt") == std::string::npos) {
        check(etox(converted) == 1);
        check(converted == text);
    }

    // Search and replace: pattern and replacement are cut from the text.
    const std::size_t cut = text.size() / 3;
    const std::string_view pattern = std::string_view(text).substr(0, cut % 5);
    const std::string_view replacement = std::string_view(text).substr(cut, cut % 7);
    std::string replaced = text;
    check(snr(replaced, pattern, replacement) == &replaced);
    if (pattern.empty())
        check(replaced == text);
    else
        check(replaced.size() == text.size() + occurrences(text, pattern) * replacement.size() -
                                     occurrences(text, pattern) * pattern.size());

    // Upper-casing changes the POSIX letters a to z and nothing else.
    std::string upperCased = text;
    upper(upperCased);
    check(upperCased.size() == text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        check(upperCased[i] == (text[i] >= 'a' && text[i] <= 'z' ? text[i] - 'a' + 'A' : text[i]));
    return 0;
}
