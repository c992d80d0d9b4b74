// The page escaping over hostile text: the result never holds a raw < > " '
// and every ampersand starts one of the five entities; removing the escaping
// gives the text back.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "htmlescape/html_escape.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

constexpr std::string_view entities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"};
constexpr char plain[] = {'&', '<', '>', '"', '\''};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string escaped = html_escape(text);
    check(escaped.find_first_of("<>\"'") == std::string::npos);

    std::string back;
    for (std::size_t i = 0; i < escaped.size();) {
        if (escaped[i] != '&') {
            back += escaped[i++];
            continue;
        }
        bool known = false;
        for (std::size_t e = 0; e < std::size(entities); ++e) {
            if (escaped.compare(i, entities[e].size(), entities[e]) == 0) {
                back += plain[e];
                i += entities[e].size();
                known = true;
                break;
            }
        }
        check(known);
    }
    check(back == text);
    return 0;
}
