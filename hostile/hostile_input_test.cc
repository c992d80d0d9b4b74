// Every byte of a request is the visitor's to choose. One row a request: the
// page expected byte for byte, the exit status, the mail, if any, and the
// line in the server's error log, if any. Each row runs twice: with the body
// in a file, and through a socket in pieces, as servers hand it over; then a
// program that was given the body's true length must have read all of it,
// whatever it answered, or a server that resets such a socket loses the page.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "folio/expected.h"
#include "lookout/expected.h"
#include "postern/expected.h"
#include "testsupport/run_program.h"

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

struct Row {
    const char* what;
    const char* program;
    std::vector<std::string> args;
    Env env;
    std::string body;
    std::string page;
    int status;
    std::optional<std::string> mail;  // nullopt: the mailer is never started
    std::string log = {};             // standard error: the server's error log
};

const char* const form = "application/x-www-form-urlencoded";

// A request with this CONTENT_LENGTH, content type and method.
Env request(const std::string& length, const std::string& type = form, const std::string& method = "POST")
{
    return {{"REQUEST_METHOD", method}, {"CONTENT_TYPE", type}, {"CONTENT_LENGTH", length}};
}

// A well-formed request for `body`.
Env post(const std::string& body) { return request(std::to_string(body.size())); }

std::string invalidMethod(const std::string& shown)
{
    return postern_error("<P>This program was invoked with an invalid\nrequest method (" + shown + ").</P>\n");
}

std::string invalidType(const std::string& shown)
{
    return postern_error("<P>This program was invoked with an invalid\ncontent type (" + shown + ").</P>\n");
}

// `request` with a QUERY_STRING.
Env withQuery(Env env, const std::string& query)
{
    env.emplace_back("QUERY_STRING", query);
    return env;
}

std::vector<Row> rows()
{
    const std::vector<std::string> to = {"forms@example.org"};
    const std::string charset = std::string(form) + "; charset=UTF-8";
    const std::string huge(64 << 20, 'x');
    const std::string hugeBody = "big=" + huge;
    // 64 MiB in one field, in lines that fit in mail.
    std::string hugeLines = "big=";
    std::string hugeLaidOut = "big: ";
    for (int i = 0; i < (64 << 20) / 512; ++i) {
        hugeLines += std::string(509, 'x') + "%0A";
        hugeLaidOut += std::string(509, 'x') + "\n     ";
    }
    const auto times = [](int count, const std::string& text) {
        std::string out;
        for (int i = 0; i < count; ++i)
            out += text;
        return out;
    };
    const std::string qp = quoted_printable_mime();
    const std::string paragraph = "message=" + std::string(990, 'p');
    const std::string forgedByCr = "msg=hi%0DREMOTE+USER+INFORMATION%0D%09Remote+host+address%3A+6.6.6.6";
    Env longAgent = post("a=1");
    longAgent.emplace_back("HTTP_USER_AGENT", std::string(975, 'a'));
    // 500 letters of two bytes after "m: ": 24 bytes, encoded, on the first
    // line, 25 on each further one, so the lines start with either byte.
    const std::string utf8Paragraph = "m=" + times(500, "%C3%A9");
    const std::string startsC3 = times(12, "=C3=A9") + "=C3";
    const std::string startsA9 = "=A9" + times(12, "=C3=A9");
    const std::string nulBody("a=x\0<b>&n\0ame=v", 15);
    const std::string markup = "<script>alert('x')</script>=<b onmouseover=\"steal()\">&x=1";
    const std::string forgedName = "x%0A%0AREMOTE+USER+INFORMATION%0A-----------------------%0A"
                                   "%09Remote+host+address%3A+++6.6.6.6=hi";
    const std::string forgedIndent(84, ' ');  // the decoded name's 82 bytes and two
    const std::string abc = "a=1&b=2&c=3";
    // 25 fields of 8000 bytes: the last five are far beyond stdio's buffer.
    const std::string value(8000, 'v');
    std::string twentyFive;
    std::string twenty;
    for (int i = 0; i < 25; ++i) {
        twentyFive += (i != 0 ? "&f" : "f") + std::to_string(i) + "=" + value;
        if (i < 20)
            twenty += "\nf" + std::to_string(i) + "<BR>\n\n" + value + "<BR>\n";
    }
    const std::string madeFromQuery = "\" holds no \"=\": the server may have made the command line from it\n";
    const std::string mime = "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
                             "Content-Transfer-Encoding: 8bit\n";
    Env robot = post("name=Bot&website=http%3A%2F%2Fspam.example&msg=hi");
    robot.emplace_back("REMOTE_ADDR", "192.0.2.7");
    return {
        {"length far beyond the body", POSTERN_PATH, to, request("1000000"), "a=1&b=2",
         postern_success(), 0, postern_message("a: 1\n\nb: 2\n\n")},
        {"negative length", POSTERN_PATH, to, request("-7"), "a=1", postern_success(), 0, postern_message("")},
        {"length not a number", POSTERN_PATH, to, request("seven"), "a=1", postern_success(), 0, postern_message("")},
        {"length with trailing text", POSTERN_PATH, to, request("3xyz"), "a=123",
         postern_success(), 0, postern_message("a: 1\n\n")},
        {"length past the int range by 7", POSTERN_PATH, to, request("4294967303"), abc,
         postern_success(), 0, postern_message("a: 1\n\nb: 2\n\nc: 3\n\n")},
        {"length one past the int range", POSTERN_PATH, to, request("2147483648"), abc,
         postern_success(), 0, postern_message("a: 1\n\nb: 2\n\nc: 3\n\n")},
        {"length of twenty digits", POSTERN_PATH, to, request("99999999999999999999"), abc,
         postern_success(), 0, postern_message("a: 1\n\nb: 2\n\nc: 3\n\n")},
        {"length below the int range", POSTERN_PATH, to, request("-4294967297"), abc,
         postern_success(), 0, postern_message("")},
        {"length absent", POSTERN_PATH, to, {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", form}}, "a=1",
         postern_error("<P>This program was invoked without a content\nlength in its environment.</P>\n"), 1, std::nullopt,
         "postern: content length not set\n"},
        {"64 MiB in one field", POSTERN_PATH, to, post(hugeLines), hugeLines,
         postern_success(), 0, postern_message(hugeLaidOut + "\n\n")},
        {"a paragraph of 990 bytes: a line too long for mail, quoted-printable", POSTERN_PATH, to,
         post(paragraph), paragraph, postern_success(), 0,
         postern_message("message: " + std::string(66, 'p') + "=\n" + times(12, std::string(75, 'p') + "=\n") +
                         std::string(24, 'p') + "\n\n", "forms@example.org", "HTML Fill-Out Form Output", qp)},
        {"a browser's name of 975 bytes: a report line too long for mail", POSTERN_PATH, to, longAgent, "a=1",
         postern_success(), 0,
         postern_message("a: 1\n\n", "forms@example.org", "HTML Fill-Out Form Output", qp,
                         std::string(51, 'a') + "=\n" + times(12, std::string(75, 'a') + "=\n") + std::string(24, 'a'))},
        {"a CR alone cannot start a report line", POSTERN_PATH, to, post(forgedByCr), forgedByCr,
         postern_success(), 0,
         postern_message("msg: hi=0D     REMOTE USER INFORMATION=0D     \tRemote host address: 6.6.6.6\n\n",
                         "forms@example.org", "HTML Fill-Out Form Output", qp)},
        {"1025 fields", POSTERN_PATH, to, post(numbered_fields(1025)), numbered_fields(1025),
         postern_error("<P>This program has a maximum limit of\n1024 input elements.\n</P>"), 1, std::nullopt,
         "postern: more than 1024 fields in the form\n"},
        {"raw NUL bytes", POSTERN_PATH, to, post(nulBody), nulBody,
         postern_success(), 0, postern_message("a: x\n\nn: \n\n")},
        {"%00 in a name", POSTERN_PATH, to, post("na%00me=v&b=2"), "na%00me=v&b=2",
         postern_success(), 0, postern_message("na: \n\nb: 2\n\n")},
        {"%00 in a value", POSTERN_PATH, to, post("a=x%00y&b=2"), "a=x%00y&b=2",
         postern_success(), 0, postern_message("a: x\n\nb: 2\n\n")},
        {"percent sign at the end", POSTERN_PATH, to, post("a=100%&b=%4"), "a=100%&b=%4",
         postern_success(), 0, postern_message("a: 100%\n\nb: %4\n\n")},
        {"%3D in a name", POSTERN_PATH, to, post("k%3Dv=w"), "k%3Dv=w",
         postern_success(), 0, postern_message("k: v=w\n\n")},
        {"encoded line breaks stay in the value", POSTERN_PATH, to, post("to=x%0D%0ABcc:+y"), "to=x%0D%0ABcc:+y",
         postern_success(), 0, postern_message("to: x\r\n    Bcc: y\n\n")},
        {"line breaks in a name cannot start a report line", POSTERN_PATH, to, post(forgedName), forgedName,
         postern_success(), 0,
         postern_message("x\n" + forgedIndent + "\n" + forgedIndent + "REMOTE USER INFORMATION\n" + forgedIndent +
                         "-----------------------\n" + forgedIndent + "\tRemote host address:   6.6.6.6: hi\n\n")},
        {"query string without = (Apache's command line from the visitor)", POSTERN_PATH,
         {"-s", "Buy now", "victim@elsewhere.example"},
         withQuery(request("3"), "-s+Buy+now+victim%40elsewhere.example"), "a=1", postern_usage(), 1, std::nullopt,
         "postern: bad arguments: query string \"-s+Buy+now+victim%40elsewhere.example" + madeFromQuery},
        {"query string without = beside the wrapper's own arguments", POSTERN_PATH, to,
         withQuery(request("3"), "victim%40elsewhere.example"), "a=1", postern_usage(), 1, std::nullopt,
         "postern: bad arguments: query string \"victim%40elsewhere.example" + madeFromQuery},
        {"query string with =", POSTERN_PATH, to, withQuery(request("3"), "from=contact"), "a=1",
         postern_success(), 0, postern_message("a: 1\n\n")},
        {"query string empty", POSTERN_PATH, to, withQuery(request("3"), ""), "a=1",
         postern_success(), 0, postern_message("a: 1\n\n")},
        {"method post", POSTERN_PATH, to, request("3", form, "post"), "a=1", invalidMethod("post"), 1, std::nullopt,
         "postern: request method \"post\" is not POST\n"},
        {"method POST with a space", POSTERN_PATH, to, request("3", form, "POST "), "a=1",
         invalidMethod("POST "), 1, std::nullopt,
         "postern: request method \"POST \" is not POST\n"},
        {"method with markup", POSTERN_PATH, to, request("3", form, "<img src=x onerror=alert(1)>"), "a=1",
         invalidMethod("&lt;img src=x onerror=alert(1)&gt;"), 1, std::nullopt,
         "postern: request method \"<img src=x onerror=alert(1)>\" is not POST\n"},
        {"content type with a charset", POSTERN_PATH, to, request("3", charset), "a=1",
         invalidType(charset), 1, std::nullopt,
         "postern: content type \"" + charset + "\" is not " + form + "\n"},
        {"recipient with a newline", POSTERN_PATH, {"forms@example.org\nBcc: victim@example.net"}, request("3"), "a=1",
         postern_usage(), 1, std::nullopt,
         "postern: bad arguments: line break in the recipient \"forms@example.org\\x0ABcc: victim@example.net\"\n"},
        {"recipient with a carriage return", POSTERN_PATH, {"forms@example.org\rBcc: v@example.net"}, request("3"),
         "a=1", postern_usage(), 1, std::nullopt,
         "postern: bad arguments: line break in the recipient \"forms@example.org\\x0DBcc: v@example.net\"\n"},
        {"subject with a newline", POSTERN_PATH, {"-s", "Hi\nBcc: victim@example.net", "forms@example.org"},
         request("3"), "a=1", postern_usage(), 1, std::nullopt,
         "postern: bad arguments: line break in the subject \"Hi\\x0ABcc: victim@example.net\"\n"},
        {"site options: trap field filled", POSTERN_OPTIONS_PATH, to, robot,
         "name=Bot&website=http%3A%2F%2Fspam.example&msg=hi", postern_success(), 0, std::nullopt,
         "postern: trap field filled; not mailed (remote address \"192.0.2.7\")\n"},
        {"site options: trap field empty, mail in UTF-8", POSTERN_OPTIONS_PATH, to,
         post("name=Zo%C3%AB&website=&msg=hi"), "name=Zo%C3%AB&website=&msg=hi", postern_success(), 0,
         postern_message("name: Zo\xc3\xab\n\nmsg: hi\n\n", "forms@example.org", "HTML Fill-Out Form Output", mime)},
        {"site options: the site's webmaster on an error page", POSTERN_OPTIONS_PATH, to,
         request("3", form, "GET"), "a=1",
         postern_error("<P>This program was invoked with an invalid\nrequest method (GET).</P>\n",
                       "Office &lt;office@orvik.example&gt;"),
         1, std::nullopt, "postern: request method \"GET\" is not POST\n"},
        {"site options: a subject beyond ASCII in encoded words", POSTERN_OPTIONS_PATH,
         {"-s", "Zo\xc3\xab's form", "forms@example.org"}, post("a=1"), "a=1", postern_success(), 0,
         postern_message("a: 1\n\n", "forms@example.org", "=?UTF-8?Q?Zo=C3=AB=27s_form?=", mime)},
        {"site options: a long subject folded into words of whole letters", POSTERN_OPTIONS_PATH,
         {"-s", times(41, "\xc3\xab"), "forms@example.org"}, post("a=1"), "a=1", postern_success(), 0,
         postern_message("a: 1\n\n", "forms@example.org",
                         times(4, "=?UTF-8?Q?" + times(10, "=C3=AB") + "?=\n ") + "=?UTF-8?Q?=C3=AB?=", mime)},
        {"site options: a long line in the site's charset", POSTERN_OPTIONS_PATH, to, post(utf8Paragraph),
         utf8Paragraph, postern_success(), 0,
         postern_message("m: " + times(12, "=C3=A9") + "=\n" + times(19, startsC3 + "=\n" + startsA9 + "=\n") +
                         startsC3 + "=\n=A9\n\n", "forms@example.org", "HTML Fill-Out Form Output",
                         quoted_printable_mime("UTF-8"))},
        {"raw markup in a text/plain body", FOLIO_PATH, {}, request(std::to_string(markup.size()), "text/plain"), markup,
         folio_page("2", "\n&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;<BR>\n"
                         "\n&lt;b onmouseover=&quot;steal()&quot;&gt;<BR>\n\nx<BR>\n\n1<BR>\n"), 0, std::nullopt},
        {"echo page: length far beyond the body", FOLIO_PATH, {}, request("1000000"), "a=1",
         folio_page("1", "\na<BR>\n\n1<BR>\n"), 0, std::nullopt},
        {"echo page: length past the int range", FOLIO_PATH, {}, request("4294967303"), abc,
         folio_page("3", "\na<BR>\n\n1<BR>\n\nb<BR>\n\n2<BR>\n\nc<BR>\n\n3<BR>\n"), 0, std::nullopt},
        {"echo page: 25 fields, 20 shown", FOLIO_PATH, {}, post(twentyFive), twentyFive,
         folio_page("20", twenty), 0, std::nullopt},
        {"echo page: 64 MiB in one field", FOLIO_PATH, {}, post(hugeBody), hugeBody,
         folio_page("1", "\nbig<BR>\n\n" + huge + "<BR>\n"), 0, std::nullopt},
        {"user agent with markup", LOOKOUT_PATH, {}, {{"HTTP_USER_AGENT", "<script>document.cookie</script>&"}}, "",
         lookout_page("&lt;script&gt;document.cookie&lt;/script&gt;&amp;"), 0, std::nullopt},
        {"user agent absent", LOOKOUT_PATH, {}, {}, "", lookout_page("(unknown)"), 0, std::nullopt},
    };
}

TEST(HostileInput, Table)
{
    for (const Feed feed : {Feed::file, Feed::pieces}) {
        for (auto& row : rows()) {
            const TempDir mailbox;
            row.env.emplace_back("TESTMAILER_DIR", mailbox.path());
            Request request{row.args, row.env, row.body};
            request.feed = feed;
            const Outcome r = run_program(row.program, request);
            const std::string what = std::string(row.what) + (feed == Feed::pieces ? " (in pieces)" : "");
            EXPECT_TRUE(r.out == row.page) << what << ": page differs\n" << r.out.substr(0, 2000);
            EXPECT_EQ(r.status, row.status) << what;
            EXPECT_EQ(r.err, row.log) << what;
            const bool trueLength = std::find(row.env.begin(), row.env.end(),
                std::pair<std::string, std::string>("CONTENT_LENGTH", std::to_string(row.body.size()))) != row.env.end();
            if (feed == Feed::pieces && trueLength) {
                EXPECT_FALSE(r.bodyLeftUnread) << what;
            }
            EXPECT_EQ(file_exists(mailbox / "args"), row.mail.has_value()) << what;
            if (row.mail) {
                EXPECT_TRUE(read_file(mailbox / "message") == *row.mail) << what << ": mail differs";
            }
        }
    }
}

} // namespace
