// The gateway run as a web server runs it, against the test mailer: one row a
// request, with the page, the exit status, the mail, if any, and the line in
// the server's error log, if any. Every byte of a request is the visitor's to
// choose; the arguments are the server side's.

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "postern/expected.h"
#include "testsupport/request_table.h"

namespace {

const std::vector<std::string> to = {"forms@example.org"};
const std::string defaultSubject = "HTML Fill-Out Form Output";

std::string invalidMethod(const std::string& shown)
{
    return postern_error("<P>This program was invoked with an invalid\nrequest method (" + shown + ").</P>\n");
}

std::string invalidType(const std::string& shown)
{
    return postern_error("<P>This program was invoked with an invalid\ncontent type (" + shown + ").</P>\n");
}

const std::string noLength = "<P>This program was invoked without a content\nlength in its environment.</P>\n";

// `env` with a QUERY_STRING.
Env withQuery(Env env, const std::string& query)
{
    env.emplace_back("QUERY_STRING", query);
    return env;
}

// `env` and one more variable.
Env with(Env env, const std::string& name, const std::string& value)
{
    env.emplace_back(name, value);
    return env;
}

// A request the gateway mails: the success page and `values` in the mail.
RequestCase mailed(std::vector<std::string> args, Env env, std::string body, const std::string& values)
{
    return {std::move(args), std::move(env), std::move(body), postern_success(), 0, postern_message(values)};
}

// A request the gateway mails, `body` with its true length.
RequestCase mailed(const std::string& body, const std::string& values)
{
    return mailed(to, post(body), body, values);
}

// A request refused with `page` and the log line `log`; no mail.
RequestCase refused(std::vector<std::string> args, Env env, const std::string& page, const std::string& log)
{
    return {std::move(args), std::move(env), "a=1", page, 1, std::nullopt, "postern: " + log + "\n"};
}

RequestCase badArguments(std::vector<std::string> args, const std::string& log, Env env = request("3"))
{
    return refused(std::move(args), std::move(env), postern_usage(), "bad arguments: " + log);
}

std::string times(int count, const std::string& text)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

const std::string madeFromQuery = "\" holds no \"=\": the server may have made the command line from it";
const std::string eightBit = quoted_printable_mime("UTF-8", "8bit");

RequestCase thousandTwentyFourFields()
{
    std::string values;
    for (int i = 0; i < 1024; ++i)
        values += "f" + std::to_string(i) + ": v\n\n";
    return mailed(numbered_fields(1024), values);
}

// 64 MiB in one field, in lines that fit in mail.
RequestCase hugeField()
{
    std::string body = "big=";
    std::string values = "big: ";
    for (int i = 0; i < (64 << 20) / 512; ++i) {
        body += std::string(509, 'x') + "%0A";
        values += std::string(509, 'x') + "\n     ";
    }
    return mailed(body, values + "\n\n");
}

// The options of a form that turns every setting on but the envelope sender:
// its successes send the visitor to its thank-you page.
const std::vector<std::string> allOptions = {"--trap-field=website", "--mail-charset=UTF-8",
                                             "--webmaster=Office <office@orvik.example>", "--reply-to-field=email",
                                             "--thanks-url=/thanks.html"};

RequestCase withOptions(RequestCase c)
{
    c.args.insert(c.args.begin(), allOptions.begin(), allOptions.end());
    if (c.page == postern_success())
        c.page = postern_thanks("/thanks.html");
    return c;
}

// `args` and then the recipient.
std::vector<std::string> options(std::vector<std::string> args)
{
    args.insert(args.end(), to.begin(), to.end());
    return args;
}

// A body of `breaks` raw LFs under a name of `nameLength` bytes: the
// value column's indent after each makes a message of about their product.
std::string breaksUnderName(std::size_t nameLength, std::size_t breaks)
{
    return std::string(nameLength, 'n') + "=" + std::string(breaks, '\n');
}

// A body of `fields` that the composer refuses, its mail larger than its
// bound: no mail, the memory page, and the sizes in the log.
RequestCase tooLargeMail(const std::string& body, const std::vector<FormEntry>& fields)
{
    const std::uint64_t mailBytes = postern_message("").size() + laid_out_size(fields);
    return {to, post(body), body,
            postern_error("<P>The form was too large for the memory of this server.</P>\n"), 1, std::nullopt,
            "postern: the mail would be " + std::to_string(mailBytes) + " bytes for a form of " +
                std::to_string(body.size()) + " bytes; not mailed\n"};
}

// The bodies of a name of 900 bytes over raw line breaks whose mail is the
// largest under the composer's bound, and the smallest over it.
std::pair<std::string, std::string> boundCrossing()
{
    const std::string name(900, 'n');
    const auto fits = [&](std::size_t breaks) {
        const std::string body = breaksUnderName(name.size(), breaks);
        return postern_message("").size() + laid_out_size({{name, body.substr(901)}}) <= 16 * body.size() + (1 << 20);
    };
    std::size_t breaks = 1000;
    while (fits(breaks + 1))
        ++breaks;
    return {breaksUnderName(name.size(), breaks), breaksUnderName(name.size(), breaks + 1)};
}

RequestCase justUnderTheBound()
{
    const std::string under = boundCrossing().first;
    return mailed(under, laid_out({{std::string(900, 'n'), under.substr(901)}}));
}

RequestCase justOverTheBound()
{
    const std::string over = boundCrossing().second;
    return tooLargeMail(over, {{std::string(900, 'n'), over.substr(901)}});
}

// 1 MiB in lines of three bytes: mailed, exactly as laid out.
RequestCase shortLinesMiB()
{
    std::string value;
    while (value.size() + 4 < 1048576 - 2)
        value += "abc\n";
    return mailed("m=" + value, laid_out({{"m", value}}));
}

const std::string officeShown = "Office &lt;office@orvik.example&gt;";
const std::string getRefused = "<P>This program was invoked with an invalid\nrequest method (GET).</P>\n";

// A form whose reply field holds `sent` (as the body sends it, `typed` as it
// is decoded): mailed with the field in its place, and replies going to it
// when `plain`, else to the recipient.
RequestCase replyTo(const std::string& sent, const std::string& typed, bool plain)
{
    auto c = mailed("name=Zo&email=" + sent + "&msg=hi", "");
    c.mail = postern_message("name: Zo\n\nemail: " + typed + "\n\nmsg: hi\n\n", "forms@example.org", defaultSubject,
                             eightBit, {}, plain ? typed : "");
    return withOptions(c);
}

// A part of a multipart/form-data body: a field, or a file with its name.
struct Sent {
    std::string name;
    std::string value;
    std::optional<std::string> filename = std::nullopt;
};

// A multipart/form-data body of `parts`, as a browser sends it, with the
// boundary "XyZzy".
std::string multipart(const std::vector<Sent>& parts)
{
    std::string body;
    for (const auto& part : parts) {
        body += "--XyZzy\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (part.filename)
            body += "; filename=\"" + *part.filename + "\"\r\nContent-Type: application/octet-stream";
        body += "\r\n\r\n" + part.value + "\r\n";
    }
    return body + "--XyZzy--\r\n";
}

const std::string multipartType = "multipart/form-data; boundary=XyZzy";

// A form that takes every kind of file, posted with `parts`: mailed with
// `files`, the text's fields `values` laid out in a text part in `charset`.
RequestCase withFiles(const std::vector<Sent>& parts, const std::string& values, const std::vector<MailFile>& files,
                      const std::string& charset = "us-ascii", std::vector<std::string> args = {})
{
    const std::string body = multipart(parts);
    args.insert(args.begin(), "--attachments=pdf,doc,docx,odt,rtf,txt");
    args.emplace_back("forms@example.org");
    return {args, request(std::to_string(body.size()), multipartType), body, postern_success(), 0,
            postern_files_message(values, files,
                                  "Content-Type: text/plain; charset=" + charset + "\nContent-Transfer-Encoding: 8bit\n")};
}

// A form that takes `kinds` of file, `most` bytes together, refuses the file
// `name` in `parts` for `why`, with `cause` in the log.
RequestCase fileRefused(const std::vector<Sent>& parts, const std::string& name, FileRefusal why,
                        const std::string& cause, const std::string& kinds = "pdf,doc,docx,odt,rtf,txt",
                        std::uint64_t most = 5242880)
{
    const std::string body = multipart(parts);
    return {{"--attachments=" + kinds, "--attachments-max=" + std::to_string(most), "forms@example.org"},
            request(std::to_string(body.size()), multipartType), body,
            postern_file_refused(name, why, kinds, most), 1, std::nullopt,
            "postern: file \"" + name + "\" " + cause + "\n"};
}

// The first bytes of a file of each kind.
const std::string pdf = "%PDF-1.4\n1 0 obj<<>>endobj\n%%EOF\n";
const std::string doc = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(8, '\0');
const std::string zip = std::string("PK\x03\x04\x14\0\0\0", 8) + "mimetype";
const std::string rtf = "{\\rtf1\\ansi Hello}";
const std::string txt = "Zo\xc3\xab \xf0\x9f\x98\x80\r\n";

// A file that says it is `extension` and begins as none of the kinds do.
RequestCase wrongBytes(const std::string& extension)
{
    return fileRefused({{"cv", "MZ\x90\0\3", "cv." + extension}}, "cv." + extension, FileRefusal::bytes,
                       "does not begin as a ." + extension + " file does");
}

// `c` as a script posts it: with --json and an Accept header that asks for
// JSON, answered with `status` and `body`.
RequestCase asScript(RequestCase c, const std::string& status, const std::string& body,
                     const std::string& headers = "")
{
    c.args.insert(c.args.begin(), "--json");
    c.env.emplace_back("HTTP_ACCEPT", "application/json");
    c.page = postern_json(status, body, headers);
    return c;
}

// A refusal to a script, its sentence as the page says it, in plain text.
std::string jsonError(const std::string& sentence)
{
    return "{\"ok\":false,\"error\":\"" + sentence + "\"}";
}

const std::string siteOrigin = "https://www.orvik.example";
const std::string allowedLines = "Access-Control-Allow-Origin: https://www.orvik.example\nVary: Origin\n";

// `c` from a page of the site on another origin: the form allows it, and
// the request comes from `origin`.
RequestCase fromOrigin(RequestCase c, const std::string& origin)
{
    c.args.insert(c.args.begin(), "--allow-origin=" + siteOrigin);
    c.env.emplace_back("HTTP_ORIGIN", origin);
    return c;
}

const RequestRow rows[] = {
    // The arguments: subject and recipient.
    {"s and a subject", [] {
         auto c = mailed({"-s", "Hello", "someone"}, post("a=1"), "a=1", "");
         c.mail = postern_message("a: 1\n\n", "someone", "Hello");
         return c;
     }},
    {"letters after s ignored", [] {
         auto c = mailed({"-sfoo", "Hello", "someone"}, post("a=1"), "a=1", "");
         c.mail = postern_message("a: 1\n\n", "someone", "Hello");
         return c;
     }},
    {"a later recipient replaces an earlier", [] {
         auto c = mailed({"first", "second"}, post("a=1"), "a=1", "");
         c.mail = postern_message("a: 1\n\n", "second");
         return c;
     }},
    {"subject after the recipient", [] {
         auto c = mailed({"someone", "-s", "Late subject"}, post("a=1"), "a=1", "");
         c.mail = postern_message("a: 1\n\n", "someone", "Late subject");
         return c;
     }},
    {"the longest recipient and subject a header line takes", [] {
         auto c = mailed({"-s", std::string(989, 's'), std::string(988, 'r')}, post("a=1"), "a=1", "");
         c.mail = postern_message("a: 1\n\n", std::string(988, 'r'), std::string(989, 's'));
         return c;
     }},
    {"s as the last argument", [] { return badArguments({"forms@example.org", "-s"}, "-s without a subject"); }},
    {"option x", [] { return badArguments({"-x", "forms@example.org"}, "option \"-x\" is not -s"); }},
    {"a lone minus", [] { return badArguments({"-", "forms@example.org"}, "option \"-\" is not -s"); }},
    {"no arguments", [] { return badArguments({}, "no recipient"); }},
    {"empty recipient", [] { return badArguments({""}, "no recipient"); }},
    {"a subject and no recipient", [] { return badArguments({"-s", "Hi"}, "no recipient"); }},
    {"recipient with a newline", [] {
         return badArguments({"forms@example.org\nBcc: victim@example.net"},
                             "line break in the recipient \"forms@example.org\\x0ABcc: victim@example.net\"");
     }},
    {"recipient with a carriage return", [] {
         return badArguments({"forms@example.org\rBcc: v@example.net"},
                             "line break in the recipient \"forms@example.org\\x0DBcc: v@example.net\"");
     }},
    {"subject with a newline", [] {
         return badArguments({"-s", "Hi\nBcc: victim@example.net", "forms@example.org"},
                             "line break in the subject \"Hi\\x0ABcc: victim@example.net\"");
     }},
    {"subject with a carriage return", [] {
         return badArguments({"-s", "Hi\r", "forms@example.org"}, "line break in the subject \"Hi\\x0D\"");
     }},
    {"recipient too long for a header line", [] {
         return badArguments({std::string(989, 'r')},
                             "the recipient of 989 bytes makes a header line longer than 998 octets");
     }},
    {"subject too long for a header line", [] {
         return badArguments({"-s", std::string(990, 's'), "forms@example.org"},
                             "the subject of 990 bytes makes a header line longer than 998 octets");
     }},
    // Apache makes the command line from a query string without "=".
    {"query string without = as the whole command line", [] {
         return badArguments({"-s", "Buy now", "victim@elsewhere.example"},
                             "query string \"-s+Buy+now+victim%40elsewhere.example" + madeFromQuery,
                             withQuery(request("3"), "-s+Buy+now+victim%40elsewhere.example"));
     }},
    {"query string without = beside the wrapper s own arguments", [] {
         return badArguments(to, "query string \"victim%40elsewhere.example" + madeFromQuery,
                             withQuery(request("3"), "victim%40elsewhere.example"));
     }},
    {"query string with =", [] { return mailed(to, withQuery(request("3"), "from=contact"), "a=1", "a: 1\n\n"); }},
    {"query string empty", [] { return mailed(to, withQuery(request("3"), ""), "a=1", "a: 1\n\n"); }},

    // The request: method, content type, length.
    {"method GET", [] {
         return refused(to, request("3", urlencoded, "GET"), invalidMethod("GET"),
                        "request method \"GET\" is not POST");
     }},
    {"method post", [] {
         return refused(to, request("3", urlencoded, "post"), invalidMethod("post"),
                        "request method \"post\" is not POST");
     }},
    {"method POST with a space", [] {
         return refused(to, request("3", urlencoded, "POST "), invalidMethod("POST "),
                        "request method \"POST \" is not POST");
     }},
    {"method not set", [] {
         return refused(to, {{"CONTENT_TYPE", urlencoded}, {"CONTENT_LENGTH", "3"}}, invalidMethod(""),
                        "request method not set");
     }},
    {"method with markup", [] {
         return refused(to, {{"REQUEST_METHOD", "<b>\"GET\"&'x'</b>"}},
                        invalidMethod("&lt;b&gt;&quot;GET&quot;&amp;&#39;x&#39;&lt;/b&gt;"),
                        "request method \"<b>\\x22GET\\x22&'x'</b>\" is not POST");
     }},
    {"content type with a charset", [] {
         const std::string type = std::string(urlencoded) + "; charset=UTF-8";
         return refused(to, request("3", type), invalidType(type),
                        "content type \"" + type + "\" is not " + urlencoded);
     }},
    {"content type not set", [] {
         return refused(to, {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "3"}}, invalidType(""),
                        "content type not set");
     }},
    {"content type with markup", [] {
         return refused(to, {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "text/plain<script>"}},
                        invalidType("text/plain&lt;script&gt;"),
                        std::string("content type \"text/plain<script>\" is not ") + urlencoded);
     }},
    {"length not set", [] {
         return refused(to, {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", urlencoded}}, postern_error(noLength),
                        "content length not set");
     }},
    {"length 0", [] { return mailed(to, request("0"), "a=1", ""); }},
    {"negative length", [] { return mailed(to, request("-7"), "a=1", ""); }},
    {"length not a number", [] { return mailed(to, request("seven"), "a=1", ""); }},
    {"length with trailing text", [] { return mailed(to, request("3xyz"), "a=123", "a: 1\n\n"); }},
    {"length past the int range by 7", [] {
         return mailed(to, request("4294967303"), "a=1&b=2&c=3", "a: 1\n\nb: 2\n\nc: 3\n\n");
     }},
    {"length one past the int range", [] {
         return mailed(to, request("2147483648"), "a=1&b=2&c=3", "a: 1\n\nb: 2\n\nc: 3\n\n");
     }},
    {"length of twenty digits", [] {
         return mailed(to, request("99999999999999999999"), "a=1&b=2&c=3", "a: 1\n\nb: 2\n\nc: 3\n\n");
     }},
    {"length below the int range", [] { return mailed(to, request("-4294967297"), "a=1&b=2&c=3", ""); }},
    {"length far beyond the body", [] { return mailed(to, request("1000000"), "a=1&b=2", "a: 1\n\nb: 2\n\n"); }, portableToo},
    {"length beyond a body ending in an ampersand", [] { return mailed(to, request("50"), "a=1&", "a: 1\n\n: \n\n"); }, portableToo},
    {"length beyond an empty body", [] { return mailed(to, request("50"), "", ": \n\n"); }},

    // The fields and their mail.
    {"fields decoded and aligned", [] {
         return mailed("name=Zo%C3%AB+Smith&topic=a%26b%3Dc&topic=second&msg=line+one%0D%0Aline+two",
                       "name: Zo\xc3\xab Smith\n\ntopic: a&b=c\n\n       second\n\n"
                       "msg: line one\r\n     line two\n\n");
     }, portableToo},
    {"the visitor and the server reported", [] {
         Env env = post("a=1");
         env.insert(env.end(), {{"REMOTE_ADDR", "127.0.0.1"}, {"HTTP_USER_AGENT", "Test<Agent>"},
                                {"SERVER_SOFTWARE", "lighttpd/1.4.69"}, {"SCRIPT_NAME", "/cgi-bin/contact"},
                                {"SERVER_PORT", ""}});  // set but empty is not unknown
         MailReport report;
         report.remoteAddr = "127.0.0.1";
         report.agent = "Test<Agent>";
         report.serverSoftware = "lighttpd/1.4.69";
         report.scriptName = "/cgi-bin/contact";
         report.serverPort = "";
         return RequestCase{to, env, "a=1", postern_success(), 0,
                            postern_message("a: 1\n\n", "forms@example.org", defaultSubject, "", report)};
     }},
    {"1024 fields", thousandTwentyFourFields, portableToo},
    {"1025 fields", [] {
         const std::string body = numbered_fields(1025);
         return RequestCase{to, post(body), body,
                            postern_error("<P>This program has a maximum limit of\n1024 input elements.\n</P>"), 1,
                            std::nullopt, "postern: more than 1024 fields in the form\n"};
     }},
    {"64 MiB in one field", hugeField, once},
    {"names and values split as the form reader splits them", [] {
         return mailed("abc&a=&=x&a=b=c&&z=1", "abc: \n\na: \n\n: x\n\na: b=c\n\n: \n\nz: 1\n\n");
     }},
    {"hex digits of either case a plus and an encoded plus", [] {
         return mailed("%41=%4a%4A&p=1+2%2B3", "A: JJ\n\np: 1 2+3\n\n");
     }},
    {"raw NUL bytes", [] {
         const std::string body("a=x\0<b>&n\0ame=v", 15);
         return mailed(body, "a: x\n\nn: \n\n");
     }},
    {"00 in a name", [] { return mailed("na%00me=v&b=2", "na: \n\nb: 2\n\n"); }},
    {"00 in a value", [] { return mailed("a=x%00y&b=2", "a: x\n\nb: 2\n\n"); }},
    {"percent sign at the end", [] { return mailed("a=100%&b=%4", "a: 100%\n\nb: %4\n\n"); }},
    {"3D in a name", [] { return mailed("k%3Dv=w", "k: v=w\n\n"); }},
    {"encoded line breaks stay in the value", [] { return mailed("to=x%0D%0ABcc:+y", "to: x\r\n    Bcc: y\n\n"); }},
    {"line breaks in a name cannot start a report line", [] {
         const std::string indent(84, ' ');  // the decoded name's 82 bytes and two
         return mailed("x%0A%0AREMOTE+USER+INFORMATION%0A-----------------------%0A"
                       "%09Remote+host+address%3A+++6.6.6.6=hi",
                       "x\n" + indent + "\n" + indent + "REMOTE USER INFORMATION\n" + indent +
                           "-----------------------\n" + indent + "\tRemote host address:   6.6.6.6: hi\n\n");
     }, portableToo},
    {"a CR alone cannot start a report line", [] {
         auto c = mailed("msg=hi%0DREMOTE+USER+INFORMATION%0D%09Remote+host+address%3A+6.6.6.6", "");
         c.mail = postern_message("msg: hi=0D     REMOTE USER INFORMATION=0D     \tRemote host address: 6.6.6.6\n\n",
                                  "forms@example.org", defaultSubject, quoted_printable_mime());
         return c;
     }, portableToo},
    {"a paragraph of 990 bytes goes quoted-printable", [] {
         auto c = mailed("message=" + std::string(990, 'p'), "");
         c.mail = postern_message("message: " + std::string(66, 'p') + "=\n" + times(12, std::string(75, 'p') + "=\n") +
                                      std::string(24, 'p') + "\n\n",
                                  "forms@example.org", defaultSubject, quoted_printable_mime());
         return c;
     }},
    {"a browser s name of 975 bytes goes quoted-printable", [] {
         auto c = mailed(to, with(post("a=1"), "HTTP_USER_AGENT", std::string(975, 'a')), "a=1", "");
         MailReport report;
         report.agent = std::string(51, 'a') + "=\n" + times(12, std::string(75, 'a') + "=\n") + std::string(24, 'a');
         c.mail = postern_message("a: 1\n\n", "forms@example.org", defaultSubject, quoted_printable_mime(), report);
         return c;
     }},

    // With every site option on: a trap field, the mail in UTF-8, the site's
    // webmaster, replies to the visitor's address, and the site's thank-you
    // page.
    {"options trap field filled", [] {
         const std::string body = "name=Bot&website=http%3A%2F%2Fspam.example&msg=hi";
         return withOptions({to, with(post(body), "REMOTE_ADDR", "192.0.2.7"), body, postern_success(), 0, std::nullopt,
                             "postern: trap field filled; not mailed (remote address \"192.0.2.7\")\n"});
     }},
    {"options trap field empty mail in UTF 8", [] {
         auto c = mailed("name=Zo%C3%AB&website=&msg=hi", "");
         c.mail = postern_message("name: Zo\xc3\xab\n\nmsg: hi\n\n", "forms@example.org", defaultSubject, eightBit);
         return withOptions(c);
     }},
    {"options the site s webmaster on an error page", [] {
         return withOptions(refused(to, request("3", urlencoded, "GET"), postern_error(getRefused, officeShown),
                                    "request method \"GET\" is not POST"));
     }},
    {"options the bad arguments page unchanged", [] {
         return withOptions(refused({}, request("3"), postern_usage(officeShown), "bad arguments: no recipient"));
     }},
    {"options a mailer that fails gets the error page not the thank you page", [] {
         auto c = withOptions(mailed(to, post("a=1"), "a=1", ""));
         c.mailerMode = "read:1";
         c.page = postern_error(mailer_failed, officeShown);
         c.status = 1;
         c.mail = postern_message("a: 1\n\n", "forms@example.org", defaultSubject, eightBit);
         c.log = "postern: mailer " + std::string(TESTMAILER_PATH) + " exited with status 1\n";
         return c;
     }},
    {"options a subject beyond ASCII in encoded words", [] {
         auto c = mailed({"-s", "Zo\xc3\xab's form", "forms@example.org"}, post("a=1"), "a=1", "");
         c.mail = postern_message("a: 1\n\n", "forms@example.org", "=?UTF-8?Q?Zo=C3=AB=27s_form?=", eightBit);
         return withOptions(c);
     }},
    {"options a long subject folded into words of whole letters", [] {
         auto c = mailed({"-s", times(41, "\xc3\xab"), "forms@example.org"}, post("a=1"), "a=1", "");
         c.mail = postern_message("a: 1\n\n", "forms@example.org",
                                  "=?UTF-8?Q?" + times(9, "=C3=AB") + "?=\n " +
                                      times(3, "=?UTF-8?Q?" + times(10, "=C3=AB") + "?=\n ") + "=?UTF-8?Q?=C3=AB=C3=AB?=",
                                  eightBit);
         return withOptions(c);
     }},
    {"options a long line in the site s charset", [] {
         // 500 letters of two bytes after "m: ": 24 bytes, encoded, on the
         // first line, 25 on each further one, so lines start with either byte.
         const std::string startsC3 = times(12, "=C3=A9") + "=C3";
         const std::string startsA9 = "=A9" + times(12, "=C3=A9");
         auto c = mailed("m=" + times(500, "%C3%A9"), "");
         c.mail = postern_message("m: " + times(12, "=C3=A9") + "=\n" + times(19, startsC3 + "=\n" + startsA9 + "=\n") +
                                      startsC3 + "=\n=A9\n\n",
                                  "forms@example.org", defaultSubject, quoted_printable_mime("UTF-8"));
         return withOptions(c);
     }},
    {"options reply to a plain address", [] { return replyTo("zoe.smith%2Bforms%40mail.example.org",
                                                             "zoe.smith+forms@mail.example.org", true); }},
    {"options reply to the recipient an empty address", [] { return replyTo("", "", false); }},
    {"options reply to the recipient two addresses", [] {
         return replyTo("a%40x.example%2C+b%40y.example", "a@x.example, b@y.example", false);
     }},
    {"options reply to the recipient a display name", [] {
         return replyTo("%22Eve%22+%3Ceve%40x.example%3E", "\"Eve\" <eve@x.example>", false);
     }},
    {"options reply to the recipient a line break", [] {
         return replyTo("a@b.example%0ABcc:+victim@elsewhere.example", "a@b.example\n" + std::string(7, ' ') +
                        "Bcc: victim@elsewhere.example", false);
     }},
    {"options reply to the recipient an encoded word", [] {
         return replyTo("%3D%3FUTF-8%3FB%3FZXZl%3F%3D%40x.example", "=?UTF-8?B?ZXZl?=@x.example", false);
     }},
    {"options reply to the recipient bytes beyond ASCII", [] {
         return replyTo("zo%C3%AB%40example.org", "zo\xc3\xab@example.org", false);
     }},
    {"options reply to the recipient dots not between letters", [] {
         return replyTo(".zoe%40example.org", ".zoe@example.org", false);
     }},
    {"options reply to the recipient two dots", [] { return replyTo("zoe%40example..org", "zoe@example..org", false); }},
    {"options reply to the recipient no domain", [] { return replyTo("zoe%40", "zoe@", false); }},
    {"options reply to the recipient a local part of 65 bytes", [] {
         const std::string address = std::string(65, 'l') + "@x.example";
         return replyTo(address, address, false);
     }},
    {"options reply to a local part of 64 bytes", [] {
         const std::string address = std::string(64, 'l') + "@x.example";
         return replyTo(address, address, true);
     }},
    {"options reply to an address of 254 bytes", [] {
         const std::string address = "l@" + times(62, "ddd.") + "dddd";
         return replyTo(address, address, true);
     }},
    {"options reply to the recipient an address of 255 bytes", [] {
         const std::string address = "l@" + times(63, "ddd.") + "d";
         return replyTo(address, address, false);
     }},
    {"options reply to the recipient no such field", [] {
         auto c = mailed("name=Zo&msg=hi", "");
         c.mail = postern_message("name: Zo\n\nmsg: hi\n\n", "forms@example.org", defaultSubject, eightBit);
         return withOptions(c);
     }},
    {"options reply to the first of two address fields", [] {
         auto c = mailed("email=first%40x.example&email=second%40y.example", "");
         c.mail = postern_message("email: first@x.example\n\n       second@y.example\n\n", "forms@example.org",
                                  defaultSubject, eightBit, {}, "first@x.example");
         return withOptions(c);
     }},
    // A form's options on the wrapper's command line, alone and together.
    {"option trap field and thank you page a robot", [] {
         const std::string body = "name=Bot&website=http%3A%2F%2Fspam.example";
         return RequestCase{options({"--trap-field=website", "--thanks-url=https://www.orvik.example/thanks"}),
                            post(body), body, postern_thanks("https://www.orvik.example/thanks"), 0, std::nullopt,
                            "postern: trap field filled; not mailed (remote address unknown)\n"};
     }},
    {"option reply to charset and envelope sender", [] {
         auto c = mailed(options({"--reply-to-field=email", "--mail-charset=iso-8859-1",
                                  "--envelope-sender=bounces@orvik.example"}),
                         post("email=zoe%40mail.example&msg=h%E9"), "email=zoe%40mail.example&msg=h%E9", "");
         c.mail = postern_message("email: zoe@mail.example\n\nmsg: h\xe9\n\n", "forms@example.org", defaultSubject,
                                  quoted_printable_mime("iso-8859-1", "8bit"), {}, "zoe@mail.example");
         c.mailerArgs = "sendmail\n-t\n-oi\n-f\nbounces@orvik.example\n";
         return c;
     }},
    {"option a subject in a charset of one byte a letter", [] {
         auto c = mailed(options({"--mail-charset=windows-1252", "-s", "Caf\xe9 " + std::string(70, 'x')}),
                         post("a=1"), "a=1", "");
         c.mail = postern_message("a: 1\n\n", "forms@example.org",
                                  "=?windows-1252?Q?Caf=E9_" + std::string(41, 'x') + "?=\n =?windows-1252?Q?" +
                                      std::string(29, 'x') + "?=",
                                  quoted_printable_mime("windows-1252", "8bit"));
         return c;
     }},
    {"option the mailer s deadline", [] {
         auto c = mailed(options({"--mailer-timeout=1"}), post("a=1"), "a=1", "");
         c.mailerMode = "hang";  // and SIGTERM ignored: stopped by SIGKILL
         c.page = postern_error(mailer_failed);
         c.status = 1;
         c.mail = postern_message("a: 1\n\n");
         c.log = "postern: mailer " + std::string(TESTMAILER_PATH) + " did not finish within 1 s; stopped\n";
         return c;
     }},
    {"option unknown", [] { return badArguments(options({"--colour=red"}), "option \"--colour\" is not one of postern's"); }},
    {"option without a value", [] { return badArguments(options({"--trap-field"}), "--trap-field without \"=\" and a value"); }},
    {"option with an empty value", [] { return badArguments(options({"--webmaster="}), "--webmaster with an empty value"); }},
    {"option thank you page not a path", [] {
         return badArguments(options({"--thanks-url=//evil.example"}),
                             "--thanks-url \"//evil.example\" is not a path or an http(s) URL");
     }},
    {"option thank you page with a space", [] {
         return badArguments(options({"--thanks-url=/thanks page.html"}),
                             "--thanks-url \"/thanks page.html\" holds a space or a control character");
     }},
    {"option field name with a line break", [] {
         return badArguments(options({"--reply-to-field=email\nBcc"}),
                             "--reply-to-field \"email\\x0ABcc\" holds a line break");
     }},
    {"option charset of several bytes a letter", [] {
         return badArguments(options({"--mail-charset=Shift_JIS"}),
                             "--mail-charset \"Shift_JIS\" is not UTF-8, US-ASCII, ISO-8859-n, windows-125n, KOI8-R "
                             "or KOI8-U");
     }},
    {"option envelope sender taken for an option", [] {
         return badArguments(options({"--envelope-sender=-oQ/tmp@x.example"}),
                             "--envelope-sender \"-oQ/tmp@x.example\" begins with \"-\"");
     }},
    {"option envelope sender with a display name", [] {
         return badArguments(options({"--envelope-sender=Office <office@orvik.example>"}),
                             "--envelope-sender \"Office <office@orvik.example>\" is not a plain address");
     }},
    {"option deadline of 0 s", [] {
         return badArguments(options({"--mailer-timeout=0"}),
                             "--mailer-timeout \"0\" is not a whole number of seconds from 1 to 3600");
     }},

    // The mail's size is bounded by the form's: the indent after each line
    // break of a long name, or under one, would make it the square.
    {"bound 4000 line breaks as a name", [] {
         const std::string body = std::string(4000, '\n') + "=x";
         return tooLargeMail(body, {{std::string(4000, '\n'), "x"}});
     }},
    {"bound 65535 line breaks as a name", [] {
         const std::string body = std::string(65535, '\n') + "=x";
         return tooLargeMail(body, {{std::string(65535, '\n'), "x"}});
     }},
    {"bound a long name over line breaks just under", justUnderTheBound},
    {"bound a long name over line breaks just over", justOverTheBound},
    {"bound 1 MiB of short lines mailed", shortLinesMiB, portableToo},

    // A form that takes files, posted as multipart/form-data.
    {"files a PDF its Windows path cut an empty file input left out", [] {
         return withFiles({{"name", "Zo\xc3\xab"}, {"message", "Two lines\r\nand more"},
                           {"cv", pdf, "C:\\Users\\Zo\xc3\xab\\cv.pdf"}, {"letter", "", ""}},
                          "name: Zo\xc3\xab\n\nmessage: Two lines\r\n         and more\n\ncv: cv.pdf (" +
                              std::to_string(pdf.size()) + " bytes, attached)\n\n",
                          {{"application/pdf", "filename=\"cv.pdf\"", pdf}}, "unknown-8bit");
     }},
    {"files of every kind their types from their names", [] {
         const std::vector<Sent> parts = {{"a", pdf, "A.PDF"},  {"b", doc, "b.Doc"}, {"c", zip, "c.docx"},
                                          {"d", zip, "d.odt"},  {"e", rtf, "e.rtf"}, {"f", txt, "r\xc3\xa9sum\xc3\xa9.txt"},
                                          {"g", "", "empty.txt"}};
         std::string values;
         for (const auto& part : parts)
             values += part.name + ": " + *part.filename + " (" + std::to_string(part.value.size()) + " bytes, attached)\n\n";
         return withFiles(parts, values,
                          {{"application/pdf", "filename=\"A.PDF\"", pdf},
                           {"application/msword", "filename=\"b.Doc\"", doc},
                           {"application/vnd.openxmlformats-officedocument.wordprocessingml.document",
                            "filename=\"c.docx\"", zip},
                           {"application/vnd.oasis.opendocument.text", "filename=\"d.odt\"", zip},
                           {"application/rtf", "filename=\"e.rtf\"", rtf},
                           {"text/plain; charset=UTF-8",
                            "filename*=UTF-8''r%C3%A9sum%C3%A9.txt;\n filename=\"r__sum__.txt\"", txt},
                           {"text/plain; charset=UTF-8", "filename=\"empty.txt\"", ""}},
                          "unknown-8bit");
     }},
    {"files a name with quotes and backslashes as the browser sends it", [] {
         return withFiles({{"cv", pdf, "a%22b\\c.pdf"}}, "cv: c.pdf (" + std::to_string(pdf.size()) + " bytes, attached)\n\n",
                          {{"application/pdf", "filename=\"c.pdf\"", pdf}});
     }},
    {"files a line of the text that begins as the mail s boundary", [] {
         const std::string values =
             "--=_postern_00000000: x\n\ncv: cv.pdf (" + std::to_string(pdf.size()) + " bytes, attached)\n\n";
         const std::vector<MailFile> files = {{"application/pdf", "filename=\"cv.pdf\"", pdf}};
         auto c = withFiles({{"--=_postern_00000000", "x"}, {"cv", pdf, "cv.pdf"}}, values, files);
         c.mail = postern_files_message(values, files,
                                        "Content-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: 8bit\n",
                                        "=_postern_00000001");
         return c;
     }},
    {"files exactly at the form s limit", [] {
         return withFiles({{"a", pdf, "a.pdf"}, {"b", pdf, "b.pdf"}},
                          "a: a.pdf (" + std::to_string(pdf.size()) + " bytes, attached)\n\nb: b.pdf (" +
                              std::to_string(pdf.size()) + " bytes, attached)\n\n",
                          {{"application/pdf", "filename=\"a.pdf\"", pdf}, {"application/pdf", "filename=\"b.pdf\"", pdf}},
                          "us-ascii", {"--attachments-max=" + std::to_string(2 * pdf.size())});
     }},
    {"files past the form s limit by one byte", [] {
         return fileRefused({{"a", pdf, "a.pdf"}, {"b", pdf, "b.pdf"}}, "b.pdf", FileRefusal::limit,
                            "takes the files to " + std::to_string(2 * pdf.size()) + " bytes, past the form's limit of " +
                                std::to_string(2 * pdf.size() - 1),
                            "pdf", 2 * pdf.size() - 1);
     }},
    {"files a pdf that is not one", [] { return wrongBytes("pdf"); }},
    {"files a doc that is not one", [] { return wrongBytes("doc"); }},
    {"files a docx that is not one", [] { return wrongBytes("docx"); }},
    {"files an odt that is not one", [] { return wrongBytes("odt"); }},
    {"files an rtf that is not one", [] { return wrongBytes("rtf"); }},
    {"files a txt that is not UTF 8", [] {
         return fileRefused({{"cv", "caf\xe9", "cv.txt"}}, "cv.txt", FileRefusal::bytes,
                            "does not begin as a .txt file does");
     }},
    {"files a kind the form does not take", [] {
         return fileRefused({{"cv", pdf, "cv.pdf"}}, "cv.pdf", FileRefusal::kind, "is not of a kind the form takes",
                            "docx");
     }},
    {"files a name longer than 255 bytes", [] {
         const std::string name = std::string(252, 'n') + ".pdf";
         auto c = fileRefused({{"cv", pdf, name}}, name, FileRefusal::name, "has a name longer than 255 bytes");
         c.log = "postern: file \"" + std::string(200, 'n') + "\"... has a name longer than 255 bytes\n";
         return c;
     }},
    {"files a form that did not arrive whole", [] {
         std::string body = multipart({{"name", "Zo"}});
         body.resize(body.size() - std::strlen("--XyZzy--\r\n"));
         return RequestCase{{"--attachments=pdf", "forms@example.org"}, request(std::to_string(body.size()), multipartType),
                            body, postern_error("<P>The form did not arrive whole.</P>\n"), 1, std::nullopt,
                            "postern: the form did not arrive whole: it ends before its closing delimiter\n"};
     }},
    {"files 1025 parts", [] {
         std::vector<Sent> parts;
         for (int i = 0; i < 1025; ++i)
             parts.push_back({"f" + std::to_string(i), "v"});
         const std::string body = multipart(parts);
         return RequestCase{{"--attachments=pdf", "forms@example.org"}, request(std::to_string(body.size()), multipartType),
                            body, postern_error("<P>This program has a maximum limit of\n1024 input elements.\n</P>"), 1,
                            std::nullopt, "postern: more than 1024 fields in the form\n"};
     }},
    {"files a multipart post to a form that takes none", [] {
         return refused(to, request("3", multipartType), invalidType(multipartType),
                        "content type \"" + multipartType + "\" is not " + urlencoded);
     }},
    {"files a multipart post without a boundary", [] {
         return refused({"--attachments=pdf", "forms@example.org"}, request("3", "multipart/form-data"),
                        invalidType("multipart/form-data"),
                        "content type \"multipart/form-data\" is not " + std::string(urlencoded) +
                            " or multipart/form-data with a boundary");
     }},
    {"option attachments of another kind", [] {
         return badArguments(options({"--attachments=pdf,exe"}),
                             "--attachments \"pdf,exe\" is not a list of pdf, doc, docx, odt, rtf and txt, separated by "
                             "commas");
     }},
    {"option attachments max of 0", [] {
         return badArguments(options({"--attachments-max=0"}),
                             "--attachments-max \"0\" is not a whole number of bytes from 1 to 2147483647");
     }},

    // A script that posts with fetch() and asks for JSON, on a form that
    // answers it: real status codes, and the page's sentence as plain text.
    {"json delivered", [] { return asScript(mailed("a=1", "a: 1\n\n"), "200 OK", "{\"ok\":true}"); }},
    {"json delivered with the next page", [] {
         auto c = asScript(mailed("a=1", "a: 1\n\n"), "200 OK", "{\"ok\":true,\"next\":\"/thanks.html\"}");
         c.args.insert(c.args.begin(), "--thanks-url=/thanks.html");
         return c;
     }},
    {"json a robot s trap field filled", [] {
         auto c = asScript({to, post("website=x"), "website=x", "", 0, std::nullopt,
                            "postern: trap field filled; not mailed (remote address unknown)\n"},
                           "200 OK", "{\"ok\":true}");
         c.args.insert(c.args.begin(), "--trap-field=website");
         return c;
     }},
    {"json method", [] {
         return asScript(refused(to, request("3", urlencoded, "GET"), "", "request method \"GET\" is not POST"),
                         "405 Method Not Allowed", jsonError("This program was invoked with an invalid request method (GET)."),
                         "Allow: POST\n");
     }},
    {"json content type with markup and quotes", [] {
         return asScript(refused(to, request("3", "text/<b>\"x\"&'"), "",
                                 std::string("content type \"text/<b>\\x22x\\x22&'\" is not ") + urlencoded),
                         "415 Unsupported Media Type",
                         jsonError("This program was invoked with an invalid content type "
                                   "(text/\\u003cb\\u003e\\\"x\\\"\\u0026\\u0027)."));
     }},
    {"json content type of letters beyond ASCII and a byte that is none", [] {
         return asScript(refused(to, request("3", "text/caf\xc3\xa9\xe9"), "",
                                 std::string("content type \"text/caf\\xC3\\xA9\\xE9\" is not ") + urlencoded),
                         "415 Unsupported Media Type",
                         jsonError("This program was invoked with an invalid content type (text/caf\xc3\xa9\\ufffd)."));
     }},
    {"json no length", [] {
         return asScript(refused(to, {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", urlencoded}}, "", "content length not set"),
                         "411 Length Required", jsonError("This program was invoked without a content length in its environment."));
     }},
    {"json too many fields", [] {
         const std::string body = numbered_fields(1025);
         return asScript({to, post(body), body, "", 1, std::nullopt, "postern: more than 1024 fields in the form\n"},
                         "413 Content Too Large", jsonError("This program has a maximum limit of 1024 input elements."));
     }},
    {"json a mail past its bound", [] {
         auto c = tooLargeMail(std::string(4000, '\n') + "=x", {{std::string(4000, '\n'), "x"}});
         return asScript(c, "413 Content Too Large", jsonError("The form was too large for the memory of this server."));
     }},
    {"json a file that is not what its name says", [] {
         auto c = fileRefused({{"cv", "MZ", "cv.pdf"}}, "cv.pdf", FileRefusal::bytes, "does not begin as a .pdf file does");
         return asScript(c, "422 Unprocessable Content",
                         jsonError("The file cv.pdf is not what its name says. This form takes files ending in .pdf, .doc, "
                                   ".docx, .odt, .rtf, .txt, of at most 5242880 bytes together."));
     }},
    {"json files past the form s limit", [] {
         auto c = fileRefused({{"a", pdf, "a.pdf"}}, "a.pdf", FileRefusal::limit,
                              "takes the files to " + std::to_string(pdf.size()) + " bytes, past the form's limit of 1",
                              "pdf", 1);
         return asScript(c, "413 Content Too Large",
                         jsonError("The file a.pdf would take the files past this form\\u0027s limit. This form takes files "
                                   "ending in .pdf, of at most 1 bytes together."));
     }},
    {"json a form that did not arrive whole", [] {
         const std::string body = "--XyZzy\r\n";
         return asScript({{"--attachments=pdf", "forms@example.org"}, request(std::to_string(body.size()), multipartType),
                          body, "", 1, std::nullopt,
                          "postern: the form did not arrive whole: the header lines of a part do not end\n"},
                         "400 Bad Request", jsonError("The form did not arrive whole."));
     }},
    {"json bad arguments", [] {
         return asScript(badArguments({}, "no recipient"), "500 Internal Server Error",
                         jsonError("The arguments to this program have been impromperly specified on the server side."));
     }},
    {"json the mailer failed", [] {
         auto c = mailed("a=1", "a: 1\n\n");
         c.mailerMode = "read:75";
         c.status = 1;
         c.log = "postern: mailer " + std::string(TESTMAILER_PATH) + " exited with status 75\n";
         return asScript(c, "502 Bad Gateway", jsonError("An error occurred executing the mailer."));
     }},
    {"json the mailer s deadline", [] {
         auto c = mailed(options({"--mailer-timeout=1"}), post("a=1"), "a=1", "a: 1\n\n");
         c.mailerMode = "hang";
         c.status = 1;
         c.log = "postern: mailer " + std::string(TESTMAILER_PATH) + " did not finish within 1 s; stopped\n";
         return asScript(c, "504 Gateway Timeout", jsonError("An error occurred executing the mailer."));
     }},
    {"json asked for in a list of types", [] {
         auto c = asScript(mailed("a=1", "a: 1\n\n"), "200 OK", "{\"ok\":true}");
         c.env.back().second = "text/plain, Application/JSON; charset=utf-8; q=0.5, */*;q=0.1";
         return c;
     }},
    {"json refused with q 0 gets the page", [] {
         auto c = mailed("a=1", "a: 1\n\n");
         c.args.insert(c.args.begin(), "--json");
         c.env.emplace_back("HTTP_ACCEPT", "application/json;q=0.000, text/html");
         return c;
     }},
    {"json a browser s own post gets the page", [] {
         auto c = mailed("a=1", "a: 1\n\n");
         c.args.insert(c.args.begin(), "--json");
         c.env.emplace_back("HTTP_ACCEPT", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
         return c;
     }},
    {"json asked of a form that does not answer it gets the page", [] {
         auto c = mailed("a=1", "a: 1\n\n");
         c.env.emplace_back("HTTP_ACCEPT", "application/json");
         return c;
     }},
    {"origin allowed on a page", [] {
         auto c = fromOrigin(mailed("a=1", "a: 1\n\n"), siteOrigin);
         c.page = allowedLines + c.page;
         return c;
     }},
    {"origin allowed on a refusal in JSON", [] {
         return fromOrigin(asScript(refused(to, request("3", urlencoded, "GET"), "", "request method \"GET\" is not POST"),
                                    "405 Method Not Allowed",
                                    jsonError("This program was invoked with an invalid request method (GET)."),
                                    "Allow: POST\n" + allowedLines),
                           siteOrigin);
     }},
    {"origin allowed on the thank you redirect", [] {
         auto c = fromOrigin(mailed(options({"--thanks-url=/thanks.html"}), post("a=1"), "a=1", "a: 1\n\n"), siteOrigin);
         const std::string thanks = postern_thanks("/thanks.html");
         const std::size_t at = thanks.find("Content-type:");
         c.page = thanks.substr(0, at) + allowedLines + thanks.substr(at);
         return c;
     }},
    {"origin of another site", [] {
         return fromOrigin(mailed("a=1", "a: 1\n\n"), "https://evil.example");
     }},
    {"origin with a path is no origin", [] {
         return badArguments(options({"--allow-origin=https://www.orvik.example/"}),
                             "--allow-origin \"https://www.orvik.example/\" is not http(s)://host with an optional :port");
     }},
    {"option json with a value", [] {
         return badArguments(options({"--json=yes"}), "--json takes no value");
     }},

    {"options reply to the recipient when the first of two address fields is not plain", [] {
         auto c = mailed("email=first&email=second%40y.example", "");
         c.mail = postern_message("email: first\n\n       second@y.example\n\n", "forms@example.org",
                                  defaultSubject, eightBit);
         return withOptions(c);
     }},
};

class Gateway : public testing::TestWithParam<RequestParam> {};

TEST_P(Gateway, Answers)
{
    expect_request(POSTERN_PATH, std::get<0>(GetParam()).make(), std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Requests, Gateway, REQUEST_ROWS(rows));

} // namespace
