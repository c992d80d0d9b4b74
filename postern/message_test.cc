#include "postern/message.h"
#include "postern/expected.h"
#include "testsupport/written.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const char* const reportVariables[] = {
    "REMOTE_HOST", "REMOTE_ADDR", "HTTP_USER_AGENT", "SERVER_NAME", "SERVER_PORT",
    "SERVER_SOFTWARE", "SERVER_PROTOCOL", "GATEWAY_INTERFACE", "SCRIPT_NAME"};

std::string message(const std::vector<FormEntry>& fields)
{
    return written_by([&](std::FILE* out) { writeMessage(out, "forms@example.org", "Workshop sign-up", fields); });
}

// The whole message for these fields, every report line "(unknown)".
std::string expected(const std::string& values)
{
    return postern_message(values, "forms@example.org", "Workshop sign-up");
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
    const struct {
        const char* what;
        std::vector<FormEntry> fields;
        std::string values;
    } cases[] = {
        {"no fields", {}, ""},
        {"repeated name aligned", {{"a", "1"}, {"a", "2"}, {"b", "3"}}, "a: 1\n\n   2\n\nb: 3\n\n"},
        {"continuation indented", {{"msg", "one\r\ntwo"}}, "msg: one\r\n     two\n\n"},
        {"value ending in newline", {{"ab", "x\n"}}, "ab: x\n    \n\n"},
        {"empty names", {{"", "x"}, {"", "y"}}, ": x\n\n  y\n\n"},
        {"only neighbours compared", {{"a", "1"}, {"b", "2"}, {"a", "3"}}, "a: 1\n\nb: 2\n\na: 3\n\n"},
        {"repeated name, multi-line", {{"n", "p\nq"}, {"n", "r\ns"}}, "n: p\n   q\n\n   r\n   s\n\n"},
        {"empty value", {{"name", ""}}, "name: \n\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(message(c.fields), expected(c.values)) << c.what;
}

TEST_F(Message, ReportsTheEnvironment)
{
    const char* const values[] = {"client.example.net", "127.0.0.1", "Mozilla/5.0 <x>",
                                  "www.example.org", "8080", "lighttpd/1.4", "HTTP/1.1",
                                  "CGI/1.1", "/cgi-bin/contact"};
    for (std::size_t i = 0; i < std::size(reportVariables); ++i)
        setenv(reportVariables[i], values[i], 1);
    setenv("SERVER_PORT", "", 1);  // set but empty is not unknown

    EXPECT_EQ(message({{"a", "1"}}),
              "To: forms@example.org\nCc:\nSubject: Workshop sign-up\nReply-To: forms@example.org\n"
              "X-Delivered-Via: Postern Version 1.1 of 1994/12/22 18:59:32\n\n"
              "\nREMOTE USER INFORMATION\n-----------------------\n"
              "\tRemote host name:      client.example.net\n"
              "\tRemote host address:   127.0.0.1\n"
              "\tRemote user's browser: Mozilla/5.0 <x>\n"
              "\nLOCAL SERVER INFORMATION\n------------------------\n"
              "\tServer host name:      www.example.org\n"
              "\tServer host port:      \n"
              "\tServer software:       lighttpd/1.4\n"
              "\tServer protocol:       HTTP/1.1\n"
              "\tGateway interface:     CGI/1.1\n"
              "\tCGI script name:       /cgi-bin/contact\n"
              "\nFILL-OUT FORM VALUES\n--------------------\n"
              "a: 1\n\n");
}

// The fields as the layout defines them, byte by byte.
std::string laid_out(const std::vector<FormEntry>& fields)
{
    std::string out;
    const std::string* previous = nullptr;
    for (const auto& field : fields) {
        const std::string indent(field.name.size() + 2, ' ');
        const auto put = [&](const std::string& text) {
            for (const char c : text) {
                out += c;
                if (c == '\n')
                    out += indent;
            }
        };
        if (previous != nullptr && *previous == field.name)
            out += indent;
        else {
            put(field.name);
            out += ": ";
        }
        put(field.value);
        out += "\n\n";
        previous = &field.name;
    }
    return out;
}

// Names and values are written 16 bytes at a time for indents up to 64 and
// line by line beyond: over many short and long lines, names of every
// length and repeated names, both give the layout byte for byte.
TEST_F(Message, LongAndManyLinesKeepTheLayout)
{
    std::mt19937 random(20261210);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same fields every run
    const char alphabet[] = "ab\n\n\r xyz";
    const auto text = [&](std::size_t most) {
        std::string t(random() % most, ' ');
        for (char& c : t)
            c = alphabet[random() % (sizeof alphabet - 1)];
        return t;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<FormEntry> fields;
        for (int i = 0; i < 6; ++i) {
            std::string name = random() % 3 == 0 && !fields.empty() ? fields.back().name
                                                                   : text(random() % 2 == 0 ? 8 : 90);
            fields.push_back({std::move(name), text(300)});
        }
        ASSERT_EQ(message(fields), expected(laid_out(fields)));
    }
}

TEST(PrintSpaces, WritesExactlyCount)
{
    for (std::size_t count : {0UL, 1UL, 63UL, 64UL, 65UL, 1000UL})
        EXPECT_EQ(written_by([&](std::FILE* out) { printSpaces(out, count); }), std::string(count, ' '));
}

} // namespace
