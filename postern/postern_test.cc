// The gateway run as a web server runs it, against the test mailer.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "postern/expected.h"
#include "testsupport/run_program.h"

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

class Gateway : public testing::Test {
protected:
    TempDir mailbox;

    Env postEnv(const std::string& body, const std::string& mode = "read:0") const
    {
        return {{"REQUEST_METHOD", "POST"},
                {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                {"CONTENT_LENGTH", std::to_string(body.size())},
                {"TESTMAILER_DIR", mailbox.path()},
                {"TESTMAILER_MODE", mode}};
    }

    Outcome post(const std::string& body, const std::string& mode = "read:0",
                 std::vector<std::string> args = {"forms@example.org"}) const
    {
        return run_program(POSTERN_PATH, {std::move(args), postEnv(body, mode), body});
    }

    bool mailerStarted() const { return file_exists(mailbox / "args"); }
    std::string mail() const { return read_file(mailbox / "message"); }
};

TEST_F(Gateway, DeliversDecodedFields)
{
    const Outcome r = post("name=Zo%C3%AB+Smith&topic=a%26b%3Dc&topic=second&msg=line+one%0D%0Aline+two");
    EXPECT_EQ(r.out, postern_success());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(mailbox / "args"), "sendmail\n-t\n-oi\n");
    EXPECT_EQ(mail(), postern_message("name: Zo\xc3\xab Smith\n\n"
                                 "topic: a&b=c\n\n"
                                 "       second\n\n"
                                 "msg: line one\r\n     line two\n\n"));
}

TEST_F(Gateway, ArgumentsSetSubjectAndRecipient)
{
    const struct {
        std::vector<std::string> args;
        std::string to;
        std::string subject;
    } cases[] = {
        {{"-s", "Hello", "someone"}, "someone", "Hello"},
        {{"-sfoo", "Hello", "someone"}, "someone", "Hello"},
        {{"first", "second"}, "second", "HTML Fill-Out Form Output"},
        {{"someone", "-s", "Late subject"}, "someone", "Late subject"},
        // The longest that fit in a header line of 998 octets.
        {{"-s", std::string(989, 's'), std::string(988, 'r')}, std::string(988, 'r'), std::string(989, 's')},
    };
    for (const auto& c : cases) {
        const Outcome r = post("a=1", "read:0", c.args);
        EXPECT_EQ(r.out, postern_success());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(mail(), postern_message("a: 1\n\n", c.to, c.subject)) << c.args[0].substr(0, 20);
    }
}

TEST_F(Gateway, BadArgumentsGiveTheUsagePage)
{
    const struct {
        std::vector<std::string> args;
        std::string log;
    } cases[] = {
        {{"forms@example.org", "-s"}, "-s without a subject"},
        {{"-x", "forms@example.org"}, "option \"-x\" is not -s"},
        {{"-", "forms@example.org"}, "option \"-\" is not -s"},
        {{}, "no recipient"},
        {{""}, "no recipient"},
        {{"-s", "Hi"}, "no recipient"},
        {{"forms@example.org\nBcc: victim@example.net"},
         "line break in the recipient \"forms@example.org\\x0ABcc: victim@example.net\""},
        {{"forms@example.org\r"}, "line break in the recipient \"forms@example.org\\x0D\""},
        {{"-s", "Hi\nBcc: victim@example.net", "forms@example.org"},
         "line break in the subject \"Hi\\x0ABcc: victim@example.net\""},
        {{"-s", "Hi\r", "forms@example.org"}, "line break in the subject \"Hi\\x0D\""},
        {{std::string(989, 'r')}, "the recipient of 989 bytes makes a header line longer than 998 octets"},
        {{"-s", std::string(990, 's'), "forms@example.org"},
         "the subject of 990 bytes makes a header line longer than 998 octets"},
    };
    for (const auto& c : cases) {
        const Outcome r = post("a=1", "read:0", c.args);
        EXPECT_EQ(r.out, postern_usage());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "postern: bad arguments: " + c.log + "\n");
        EXPECT_FALSE(mailerStarted());
    }
}

TEST_F(Gateway, RequestChecks)
{
    const std::string form = "application/x-www-form-urlencoded";
    const struct {
        Env env;
        std::string lines;
        std::string log;
    } cases[] = {
        {{{"REQUEST_METHOD", "GET"}, {"CONTENT_TYPE", form}, {"CONTENT_LENGTH", "3"}},
         "<P>This program was invoked with an invalid\nrequest method (GET).</P>\n",
         "request method \"GET\" is not POST"},
        {{{"REQUEST_METHOD", "post"}, {"CONTENT_TYPE", form}, {"CONTENT_LENGTH", "3"}},
         "<P>This program was invoked with an invalid\nrequest method (post).</P>\n",
         "request method \"post\" is not POST"},
        {{{"REQUEST_METHOD", "POST "}, {"CONTENT_TYPE", form}, {"CONTENT_LENGTH", "3"}},
         "<P>This program was invoked with an invalid\nrequest method (POST ).</P>\n",
         "request method \"POST \" is not POST"},
        {{{"CONTENT_TYPE", form}, {"CONTENT_LENGTH", "3"}},
         "<P>This program was invoked with an invalid\nrequest method ().</P>\n", "request method not set"},
        {{{"REQUEST_METHOD", "<b>\"GET\"&'x'</b>"}},
         "<P>This program was invoked with an invalid\n"
         "request method (&lt;b&gt;&quot;GET&quot;&amp;&#39;x&#39;&lt;/b&gt;).</P>\n",
         "request method \"<b>\\x22GET\\x22&'x'</b>\" is not POST"},
        {{{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", form + "; charset=UTF-8"}, {"CONTENT_LENGTH", "3"}},
         "<P>This program was invoked with an invalid\n"
         "content type (application/x-www-form-urlencoded; charset=UTF-8).</P>\n",
         "content type \"" + form + "; charset=UTF-8\" is not " + form},
        {{{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "3"}},
         "<P>This program was invoked with an invalid\ncontent type ().</P>\n", "content type not set"},
        {{{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "text/plain<script>"}},
         "<P>This program was invoked with an invalid\ncontent type (text/plain&lt;script&gt;).</P>\n",
         "content type \"text/plain<script>\" is not " + form},
        {{{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", form}},
         "<P>This program was invoked without a content\nlength in its environment.</P>\n",
         "content length not set"},
    };
    for (const auto& c : cases) {
        Env env = c.env;
        env.emplace_back("TESTMAILER_DIR", mailbox.path());
        const Outcome r = run_program(POSTERN_PATH, {{"forms@example.org"}, env, "a=1"});
        EXPECT_EQ(r.out, postern_error(c.lines));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "postern: " + c.log + "\n");
        EXPECT_FALSE(mailerStarted());
    }
}

TEST_F(Gateway, ContentLengthThatReadsNothing)
{
    for (const std::string length : {"0", "-5", "abc"}) {
        Env env = postEnv("a=1");
        env[2].second = length;
        const Outcome r = run_program(POSTERN_PATH, {{"forms@example.org"}, env, "a=1"});
        EXPECT_EQ(r.out, postern_success()) << length;
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(mail(), postern_message("")) << length;
    }
}

TEST_F(Gateway, ContentLengthBeyondBody)
{
    const struct {
        std::string body;
        std::string values;
    } cases[] = {
        {"a=1&", "a: 1\n\n: \n\n"},
        {"", ": \n\n"},
    };
    for (const auto& c : cases) {
        Env env = postEnv(c.body);
        env[2].second = "50";
        const Outcome r = run_program(POSTERN_PATH, {{"forms@example.org"}, env, c.body});
        EXPECT_EQ(r.out, postern_success());
        EXPECT_EQ(mail(), postern_message(c.values));
    }
}

TEST_F(Gateway, ReportsTheVisitorAndServer)
{
    Env env = postEnv("a=1");
    env.insert(env.end(), {{"REMOTE_ADDR", "127.0.0.1"}, {"HTTP_USER_AGENT", "Test<Agent>"},
                           {"SERVER_SOFTWARE", "lighttpd/1.4.69"}, {"SCRIPT_NAME", "/cgi-bin/contact"}});
    const Outcome r = run_program(POSTERN_PATH, {{"forms@example.org"}, env, "a=1"});
    EXPECT_EQ(r.out, postern_success());
    std::string expected = postern_message("a: 1\n\n");
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"address:   (unknown)", "address:   127.0.0.1"},
                                   {"browser: (unknown)", "browser: Test<Agent>"},
                                   {"software:       (unknown)", "software:       lighttpd/1.4.69"},
                                   {"name:       (unknown)", "name:       /cgi-bin/contact"}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(mail(), expected);
}

TEST_F(Gateway, FieldLimit)
{
    const Outcome accepted = post(numbered_fields(1024));
    EXPECT_EQ(accepted.out, postern_success());
    std::string values;
    for (int i = 0; i < 1024; ++i)
        values += "f" + std::to_string(i) + ": v\n\n";
    EXPECT_EQ(mail(), postern_message(values));

    const std::string tooMany = numbered_fields(1025);
    std::filesystem::remove(mailbox / "args");
    const Outcome refused = post(tooMany);
    EXPECT_EQ(refused.out, postern_error("<P>This program has a maximum limit of\n1024 input elements.\n</P>"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_FALSE(mailerStarted());
}

TEST_F(Gateway, MailerOutputNeverReachesThePage)
{
    const Outcome r = post("a=1", "chatter");
    EXPECT_EQ(r.out, postern_success());
    EXPECT_EQ(r.err, "mailer chatter on standard output\n");
}

TEST_F(Gateway, MissingMailer)
{
    const Outcome r = run_program(POSTERN_MISSING_MAILER_PATH,
                                  {{"forms@example.org"}, postEnv("a=1"), "a=1"});
    EXPECT_EQ(r.out, postern_error(mailer_failed));
    EXPECT_EQ(r.status, 1);
}

TEST_F(Gateway, NoPipeForTheMailer)
{
    Request request{{"forms@example.org"}, postEnv("a=1"), "a=1"};
    request.fileLimit = 4;  // standard input, output, error and one more: no room for a pipe
    const Outcome r = run_program(POSTERN_PATH, request);
    EXPECT_EQ(r.out, postern_error("<P>Could not open pipe to mail program.</P>\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "postern: cannot make a pipe to the mailer: Too many open files\n");
    EXPECT_FALSE(mailerStarted());
}

TEST_F(Gateway, OutOfMemory)
{
#if defined(__SANITIZE_ADDRESS__) || defined(CGI_SANITIZED)
    GTEST_SKIP() << "an address-space limit cannot be combined with the address sanitizer";
#endif
    const std::string body = "f=" + std::string(256 << 20, 'x');
    Request request{{"forms@example.org"}, postEnv(body), body};
    request.memoryLimit = 128UL << 20;
    const Outcome r = run_program(POSTERN_PATH, request);
    EXPECT_EQ(r.out, postern_error("<P>The form was too large for the memory of this server.</P>\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "postern: out of memory while reading the form\n");
    EXPECT_FALSE(mailerStarted());
}

} // namespace
