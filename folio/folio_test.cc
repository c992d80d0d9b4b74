// folio run as a web server runs it.

#include <gtest/gtest.h>

#include <string>

#include "folio/expected.h"
#include "testsupport/run_program.h"

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

std::string many(int count)
{
    std::string body;
    for (int i = 0; i < count; ++i)
        body += (i != 0 ? "&n" : "n") + std::to_string(i) + "=v" + std::to_string(i);
    return body;
}

std::string shown(int count)
{
    std::string fields;
    for (int i = 0; i < count; ++i)
        fields += "\nn" + std::to_string(i) + "<BR>\n\nv" + std::to_string(i) + "<BR>\n";
    return fields;
}

TEST(Folio, EchoPage)
{
    const struct {
        const char* what;
        std::string body;
        const char* length;  // nullptr: not set
        std::string page;
    } cases[] = {
        {"two fields", "a=1&b=2", "7", folio_page("2", "\na<BR>\n\n1<BR>\n\nb<BR>\n\n2<BR>\n")},
        {"shown as encoded", "First+Name=Jo%20Ann", "19",
         folio_page("1", "\nFirst+Name<BR>\n\nJo%20Ann<BR>\n")},
        {"length 0", "a=1", "0", folio_page("0", "")},
        {"length unset", "a=1", nullptr, folio_page("0", "")},
        {"length not a number", "a=1", "many", folio_page("0", "")},
        {"negative length reads to the end", "a=1&b=2", "-1",
         folio_page("2", "\na<BR>\n\n1<BR>\n\nb<BR>\n\n2<BR>\n")},
        {"length past a trailing ampersand", "a=1&", "10",
         folio_page("2", "\na<BR>\n\n1<BR>\n\n<BR>\n\n<BR>\n")},
        {"length with empty body", "", "5", folio_page("1", "\n<BR>\n\n<BR>\n")},
        {"no equals sign", "lonely", "6", folio_page("1", "\nlonely<BR>\n\n<BR>\n")},
        {"length short of body", "a=1&b=2", "3", folio_page("1", "\na<BR>\n\n1<BR>\n")},
        {"raw markup escaped", "<script>alert('x')</script>=\"&x=<b>y</b>", "41",
         folio_page("2", "\n&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;<BR>\n\n&quot;<BR>\n"
                   "\nx<BR>\n\n&lt;b&gt;y&lt;/b&gt;<BR>\n")},
        {"NUL ends a field", std::string("a=1\0<b>&b=2", 11), "11",
         folio_page("2", "\na<BR>\n\n1<BR>\n\nb<BR>\n\n2<BR>\n")},
        {"twenty fields", many(20), "-1", folio_page("20", shown(20))},
        {"only twenty of twenty-five shown", many(25), "-1", folio_page("20", shown(20))},
    };
    for (const auto& c : cases) {
        Env env{{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "text/plain"}};
        if (c.length != nullptr)
            env.emplace_back("CONTENT_LENGTH", c.length);
        const Outcome r = run_program(FOLIO_PATH, {{}, env, c.body});
        EXPECT_EQ(r.out, c.page) << c.what;
        EXPECT_EQ(r.status, 0) << c.what;
    }
}

TEST(Folio, LargeField)
{
    const std::string value(300000, 'z');  // beyond two blocks
    const std::string body = "big=" + value;
    const Outcome r = run_program(FOLIO_PATH, {{}, {{"CONTENT_LENGTH", std::to_string(body.size())}}, body});
    EXPECT_EQ(r.out, folio_page("1", "\nbig<BR>\n\n" + value + "<BR>\n"));
}

} // namespace

namespace {

TEST(Folio, OutOfMemory)
{
#if defined(__SANITIZE_ADDRESS__) || defined(CGI_SANITIZED)
    GTEST_SKIP() << "an address-space limit cannot be combined with the address sanitizer";
#endif
    const std::string body = "a=1&big=" + std::string(256 << 20, 'x');
    Request request{{}, {{"CONTENT_LENGTH", std::to_string(body.size())}}, body};
    request.memoryLimit = 128UL << 20;
    const Outcome r = run_program(FOLIO_PATH, request);
    EXPECT_TRUE(r.out == folio_page("1", "\na<BR>\n\n1<BR>\n"
                                         "\n<P>The form was too large for the memory of this server.</P>\n"))
        << r.out.substr(0, 1000);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "folio: out of memory while reading the form\n");
}

} // namespace
