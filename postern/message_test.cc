#include "postern/message.h"
#include "postern/expected.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const char* const reportVariables[] = {
    "REMOTE_HOST", "REMOTE_ADDR", "HTTP_USER_AGENT", "SERVER_NAME", "SERVER_PORT",
    "SERVER_SOFTWARE", "SERVER_PROTOCOL", "GATEWAY_INTERFACE", "SCRIPT_NAME"};

// A form without options, but for its charset.
Settings form(std::string_view charset = {})
{
    Settings settings;
    settings.recipient = "forms@example.org";
    settings.subject = "Workshop sign-up";
    settings.mailCharset = charset;
    return settings;
}

// The message for these fields as `settings` make it.
std::string message(const std::vector<FormEntry>& fields, const Settings& settings = form())
{
    Mail mail;
    std::uint64_t size = 0;
    EXPECT_TRUE(composeMessage(settings, fields, UINT64_MAX, mail, size));
    EXPECT_EQ(size, mail.size);
    return std::string(mail.text());
}

// The whole message for these fields, every report line "(unknown)".
std::string expected(const std::string& values, const std::string& mime = "")
{
    return postern_message(values, "forms@example.org", "Workshop sign-up", mime);
}

// `count` copies of `text`.
std::string times(int count, const std::string& text)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

// The body of a message: what follows the empty line after its headers.
std::string bodyOf(const std::string& mail)
{
    return mail.substr(mail.find("\n\n") + 2);
}

bool hasBareCr(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return true;
    return false;
}

// What a message must be whatever the fields: the fields laid out as the
// layout defines them, unchanged while every line fits in mail and no CR
// stands alone; otherwise a quoted-printable body of lines of at most 76
// characters that a mail reader decodes to that same text.
void expectLaidOut(const std::string& mail, const std::vector<FormEntry>& fields)
{
    const std::string plain = expected(laid_out(fields));
    const std::string body = bodyOf(plain);
    if (longest_line(body) <= longestMailLine && !hasBareCr(body)) {
        EXPECT_TRUE(mail == plain);
        return;
    }
    const bool eightBit = std::any_of(body.begin(), body.end(), [](char c) { return (c & 0x80) != 0; });
    const std::string head = expected("", quoted_printable_mime(eightBit ? "unknown-8bit" : "us-ascii"));
    EXPECT_EQ(mail.substr(0, head.size()), head);
    EXPECT_LE(longest_line(bodyOf(mail)), 76U);
    EXPECT_TRUE(decoded_quoted_printable(bodyOf(mail)) == lf_line_ends(body));
}

class Message : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* v : reportVariables)
            unsetenv(v);
    }
};

TEST_F(Message, FieldLayout)
{
    const std::string qp = quoted_printable_mime();
    const auto x = [](std::size_t count) { return std::string(count, 'x'); };
    const std::string x75 = x(75) + "=\n";
    const std::string name1000(1000, 'n');
    const struct {
        const char* what;
        std::vector<FormEntry> fields;
        std::string values;
        std::string mime = {};
    } cases[] = {
        {"no fields", {}, ""},
        {"repeated name aligned", {{"a", "1"}, {"a", "2"}, {"b", "3"}}, "a: 1\n\n   2\n\nb: 3\n\n"},
        {"continuation indented", {{"msg", "one\r\ntwo"}}, "msg: one\r\n     two\n\n"},
        {"value ending in newline", {{"ab", "x\n"}}, "ab: x\n    \n\n"},
        {"empty names", {{"", "x"}, {"", "y"}}, ": x\n\n  y\n\n"},
        {"only neighbours compared", {{"a", "1"}, {"b", "2"}, {"a", "3"}}, "a: 1\n\nb: 2\n\na: 3\n\n"},
        {"repeated name, multi-line", {{"n", "p\nq"}, {"n", "r\ns"}}, "n: p\n   q\n\n   r\n   s\n\n"},
        {"empty value", {{"name", ""}}, "name: \n\n"},
        {"a line of 998 octets goes as it is", {{"message", x(989)}}, "message: " + x(989) + "\n\n"},
        {"a line of 999 octets goes quoted-printable", {{"message", x(990)}},
         "message: " + x(66) + "=\n" + times(12, x75) + x(24) + "\n\n", qp},
        {"a CR alone is a line break", {{"msg", "one\rtwo"}}, "msg: one=0D     two\n\n", qp},
        {"CR CR LF: two line breaks, white space before one encoded", {{"msg", "a\r\r\nb"}},
         "msg: a=0D    =20\n     b\n\n", qp},
        {"a report heading after a CR alone stays in the value column", {{"x", "hi\rREMOTE USER INFORMATION"}},
         "x: hi=0D   REMOTE USER INFORMATION\n\n", qp},
        {"a name of 1000 bytes with short value lines", {{name1000, "a\nb"}},
         times(13, std::string(75, 'n') + "=\n") + std::string(25, 'n') + ": a\n" +
             times(13, std::string(75, ' ') + "=\n") + std::string(27, ' ') + "b\n\n", qp},
        {"no encoded line starts with From", {{"m", x(72) + "From " + x(1000)}},
         "m: " + x(72) + "=\n=46rom " + x(68) + "=\n" + times(12, x75) + x(32) + "\n\n", qp},
        {"bytes beyond ASCII in a long line: charset unknown", {{"m", "\xe9" + x(998)}},
         "m: =E9" + x(69) + "=\n" + times(12, x75) + x(29) + "\n\n", quoted_printable_mime("unknown-8bit")},
    };
    for (const auto& c : cases) {
        const std::string mail = message(c.fields);
        EXPECT_EQ(mail, expected(c.values, c.mime)) << c.what;
        expectLaidOut(mail, c.fields);
    }
}

// Over many short and long lines, in names of every length and repeated
// names, with CRs alone, white space and bytes beyond ASCII: every message is
// the layout, as it stands or quoted-printable.
TEST_F(Message, LongAndManyLinesKeepTheLayout)
{
    std::string paragraph;  // 20,000 bytes of UTF-8 without a line break
    while (paragraph.size() < 20000)
        paragraph += "Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87 g\xc4\x99\xc5\x9bl\xc4\x85 ja\xc5\xba\xc5\x84 ";
    paragraph.resize(20000);
    expectLaidOut(message({{"message", paragraph}}), {{"message", paragraph}});

    std::mt19937 random(20261210);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same fields every run
    const std::string lines = "ab\n\n\r xyz";
    const std::string longLines = "ab\t =From\xc3\xa9\n";
    const auto text = [&](std::size_t most, const std::string& alphabet) {
        std::string t(random() % most, ' ');
        for (char& c : t)
            c = alphabet[random() % alphabet.size()];
        return t;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<FormEntry> fields;
        for (int i = 0; i < 6; ++i) {
            std::string name = random() % 3 == 0 && !fields.empty() ? fields.back().name
                                                                   : text(random() % 2 == 0 ? 8 : 90, lines);
            fields.push_back({std::move(name), random() % 4 == 0 ? text(3000, longLines) : text(300, lines)});
        }
        expectLaidOut(message(fields), fields);
    }
}

// However long the subject, and in whichever character set a form may name,
// no line of the encoded subject is longer than encoded words allow (76
// characters, "Subject: " included).
TEST_F(Message, EncodedSubjectLinesFit)
{
    const std::string letters[] = {"\xc3\xab", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "a", " ", "=", "?"};
    std::mt19937 random(20261209);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same subjects every run
    for (const char* charset : {"UTF-8", "ISO-8859-15", "windows-1252", "KOI8-R"}) {
        for (int length = 1; length < 120; length += 7) {
            std::string subject;
            for (int i = 0; i < length; ++i)
                subject += letters[random() % std::size(letters)];
            subject += "\xc3\xab";  // beyond ASCII: encoded
            Settings settings = form(charset);
            settings.subject = subject;
            const std::string mail = message({}, settings);
            const std::size_t start = mail.find("Subject:");
            const std::size_t end = mail.find("\nReply-To:");
            std::string_view header(mail);
            header = header.substr(start, end - start);
            for (std::size_t at = 0; at < header.size();) {
                const std::size_t lf = std::min(header.find('\n', at), header.size());
                EXPECT_LE(lf - at, 76U) << charset << " " << length << ": " << header.substr(at, lf - at);
                at = lf + 1;
            }
        }
    }
}

} // namespace
