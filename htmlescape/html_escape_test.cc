#include "htmlescape/html_escape.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "testsupport/written.h"

namespace {

TEST(HtmlEscape, EscapesTheFiveCharacters)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"", ""},
        {"plain text 123", "plain text 123"},
        {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
        {"a&b", "a&amp;b"},
        {"&amp;", "&amp;amp;"},
        {"\"quoted\"", "&quot;quoted&quot;"},
        {"Zo\xc3\xab \xff\x01", "Zo\xc3\xab \xff\x01"},
        // < & at bytes 15 and 16, " ' at 31 and 32, > at 47: at the edges of 16-byte blocks
        {std::string(15, 'a') + "<&" + std::string(14, 'b') + "\"'" + std::string(14, 'c') + ">tail",
         std::string(15, 'a') + "&lt;&amp;" + std::string(14, 'b') + "&quot;&#39;" + std::string(14, 'c') + "&gt;tail"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(html_escape(c.in), c.out) << c.in;
        EXPECT_EQ(written_by([&](std::FILE* out) { print_html_escaped(out, c.in); }), c.out) << c.in;
    }
}

} // namespace
