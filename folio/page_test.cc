#include "folio/page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "testsupport/written.h"

namespace {

// The page routines the echo page does not use, and the redirect's cut at a
// line break, which no header may hold; the banner and the signature are
// the echo page's, which its table holds.
TEST(Page, RoutinesWriteTheirExactBytes)
{
    const struct {
        const char* what;
        std::function<void(std::FILE*)> write;
        std::string bytes;
    } cases[] = {
        {"redirect", [](std::FILE* f) { output_location("http://example.org/a?b=1", f); },
         "Location: http://example.org/a?b=1\n\n"},
        {"redirect cut at newline", [](std::FILE* f) { output_location("/x\nSet-Cookie: a=1", f); },
         "Location: /x\n\n"},
        {"redirect cut at carriage return", [](std::FILE* f) { output_location("/x\r\nX: y", f); },
         "Location: /x\n\n"},
        {"plain head", [](std::FILE* f) { html_header("Thanks", f); },
         "<HTML><HEAD><TITLE>Thanks</TITLE></HEAD>\n<BODY>\n"},
        {"plain foot", [](std::FILE* f) { html_footer(f); }, "</BODY></HTML>\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(written_by(c.write), c.bytes) << c.what;
}

} // namespace
