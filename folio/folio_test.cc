// folio run as a web server runs it: one row a request, with the page. folio
// shows the fields as the browser encoded them, escaped, at most 20.

#include <string>

#include "folio/expected.h"
#include "testsupport/request_table.h"

namespace {

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
        fields += folio_field("n" + std::to_string(i), "v" + std::to_string(i));
    return fields;
}

// A text/plain post of `body` with this CONTENT_LENGTH (nullptr: not set).
RequestCase echoed(const std::string& body, const char* length, const std::string& count, const std::string& fields)
{
    Env env{{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "text/plain"}};
    if (length != nullptr)
        env.emplace_back("CONTENT_LENGTH", length);
    return {{}, env, body, folio_page(count, fields)};
}

RequestCase echoed(const std::string& body, const std::string& count, const std::string& fields)
{
    return echoed(body, std::to_string(body.size()).c_str(), count, fields);
}

const RequestRow rows[] = {
    {"two fields", [] { return echoed("a=1&b=2", "2", "\na<BR>\n\n1<BR>\n\nb<BR>\n\n2<BR>\n"); }, portableToo},
    {"shown as encoded", [] { return echoed("First+Name=Jo%20Ann", "1", "\nFirst+Name<BR>\n\nJo%20Ann<BR>\n"); }},
    {"length 0", [] { return echoed("a=1", "0", "0", ""); }},
    {"length not set", [] { return echoed("a=1", nullptr, "0", ""); }},
    {"length not a number", [] { return echoed("a=1", "many", "0", ""); }},
    {"negative length reads to the end", [] {
         return echoed("a=1&b=2", "-1", "2", "\na<BR>\n\n1<BR>\n\nb<BR>\n\n2<BR>\n");
     }, portableToo},
    {"length past a trailing ampersand", [] { return echoed("a=1&", "10", "2", "\na<BR>\n\n1<BR>\n\n<BR>\n\n<BR>\n"); }, portableToo},
    {"length with an empty body", [] { return echoed("", "5", "1", "\n<BR>\n\n<BR>\n"); }},
    {"length far beyond the body", [] { return echoed("a=1", "1000000", "1", "\na<BR>\n\n1<BR>\n"); }, portableToo},
    {"length past the int range", [] {
         return echoed("a=1&b=2&c=3", "4294967303", "3", "\na<BR>\n\n1<BR>\n\nb<BR>\n\n2<BR>\n\nc<BR>\n\n3<BR>\n");
     }},
    {"length below the int range", [] {
         // The counter stops at the int range's end instead of wrapping round.
         return echoed("a=1&b=2", "-4294967297", "2", "\na<BR>\n\n1<BR>\n\nb<BR>\n\n2<BR>\n");
     }},
    {"length short of the body", [] { return echoed("a=1&b=2", "3", "1", "\na<BR>\n\n1<BR>\n"); }},
    {"no equals sign", [] { return echoed("lonely", "1", "\nlonely<BR>\n\n<BR>\n"); }},
    {"raw markup escaped", [] {
         return echoed("<script>alert('x')</script>=<b onmouseover=\"steal()\">&x=1", "2",
                       "\n&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;<BR>\n"
                       "\n&lt;b onmouseover=&quot;steal()&quot;&gt;<BR>\n\nx<BR>\n\n1<BR>\n");
     }},
    {"NUL ends a field", [] {
         return echoed(std::string("a=1\0<b>&b=2", 11), "2", "\na<BR>\n\n1<BR>\n\nb<BR>\n\n2<BR>\n");
     }},
    {"twenty fields", [] { return echoed(many(20), "-1", "20", shown(20)); }},
    {"only twenty of twenty five shown", [] { return echoed(many(25), "-1", "20", shown(20)); }},
    {"twenty five fields of 8000 bytes twenty shown", [] {
         // The last five are far beyond stdio's buffer, and read all the same.
         const std::string value(8000, 'v');
         std::string body;
         std::string fields;
         for (int i = 0; i < 25; ++i) {
             body += (i != 0 ? "&f" : "f") + std::to_string(i) + "=" + value;
             if (i < 20)
                 fields += "\nf" + std::to_string(i) + "<BR>\n\n" + value + "<BR>\n";
         }
         return echoed(body, "20", fields);
     }, portableToo},
    {"a field beyond two blocks", [] {
         const std::string value(300000, 'z');
         return echoed("big=" + value, "1", "\nbig<BR>\n\n" + value + "<BR>\n");
     }, portableToo},
    {"64 MiB in one field", [] {
         const std::string value(64 << 20, 'x');
         return echoed("big=" + value, "1", "\nbig<BR>\n\n" + value + "<BR>\n");
     }, once},
};

class Folio : public testing::TestWithParam<RequestParam> {};

TEST_P(Folio, EchoPage)
{
    expect_request(FOLIO_PATH, std::get<0>(GetParam()).make(), std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Requests, Folio, REQUEST_ROWS(rows));

} // namespace
