#include "folio/page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "config.h"
#include "testsupport/written.h"

namespace {

TEST(Page, RoutinesWriteTheirExactBytes)
{
    const struct {
        const char* what;
        std::function<void(std::FILE*)> write;
        std::string bytes;
    } cases[] = {
        {"content type", [](std::FILE* f) { output_html(f); }, "Content-type: text/html\n\n"},
        {"redirect", [](std::FILE* f) { output_location("http://example.org/a?b=1", f); },
         "Location: http://example.org/a?b=1\n\n"},
        {"redirect cut at newline", [](std::FILE* f) { output_location("/x\nSet-Cookie: a=1", f); },
         "Location: /x\n\n"},
        {"redirect cut at carriage return", [](std::FILE* f) { output_location("/x\r\nX: y", f); },
         "Location: /x\n\n"},
        {"plain head", [](std::FILE* f) { html_header("Thanks", f); },
         "<HTML><HEAD><TITLE>Thanks</TITLE></HEAD>\n<BODY>\n"},
        {"plain foot", [](std::FILE* f) { html_footer(f); }, "</BODY></HTML>\n"},
        {"banner", [](std::FILE* f) { orvik_header("ORVIK-Resume Workshop", "white", f); },
         "<HTML>\n"
         "<TITLE>ORVIK-Resume Workshop</TITLE><BODY BGCOLOR=white TEXT=BLACK><BR>\n"
         "<IMG SRC=\"../IMAGES/orvik_2.gif\" ALIGN=MIDDLE WIDTH=66>\n"
         "<FONT SIZE=+3><I>ORVIK Resume Workshop</I></FONT>\n"
         "<HR>\n"},
        {"signature", [](std::FILE* f) { orvik_signature(f); },
         std::string("<hr noshade with=90%>\n<h4 ALIGN=RIGHT><i> ") + orgName + "<BR>\n" +
             orgRoom + "<BR>\n        " + orgCity + "<BR>\n\t " + orgPhone + "<BR>\n"
             "</h4></i>\n</BODY></HTML>\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(written_by(c.write), c.bytes) << c.what;
}

} // namespace
