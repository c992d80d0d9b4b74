// The mailer is another process and can fail in every way. One row a
// behaviour: the success page only when the whole message was handed over
// and the mailer exited 0; nothing ever ahead of the content-type header;
// each failure's cause in one line of the server's error log; a
// mailer that runs gets the pipe, the server's log and nothing else of the
// gateway's (nor what the server left open to the gateway), and SIGPIPE as a
// new program expects it, however the gateway itself was started.

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "postern/expected.h"
#include "testsupport/request_table.h"

namespace {

struct Row {
    const char* what;
    const char* program;
    const char* mode;  // the test mailer's behaviour
    std::string body;
    std::string log;   // standard error: the server's error log
    bool delivered = false;
    std::string values = {};  // the form values the delivered mail holds
    std::vector<int> closed = {};   // standard descriptors the gateway starts without
    std::vector<int> ignored = {};  // signals the gateway starts with ignored
    std::vector<int> inherited = {};  // descriptors above 2 the gateway starts with open
};

// `count` lines of `length` bytes of `c`: as a form sends them, and as the
// mail lays them out under a name of `nameLength` bytes.
struct Lines {
    std::string sent;
    std::string laidOut;
};
Lines lines(int count, std::size_t length, char c, std::size_t nameLength)
{
    Lines out;
    for (int i = 0; i < count; ++i) {
        out.sent += std::string(length, c) + "%0A";
        out.laidOut += std::string(length, c) + "\n" + std::string(nameLength + 2, ' ');
    }
    return out;
}

std::vector<Row> rows()
{
    const std::string small = "a=1&b=2";
    const std::string x(1 << 20, 'x');
    const std::string big = "big=" + x;  // far beyond a pipe's buffer
    const Lines y = lines(100, 200, 'y', 1);
    const Lines mib = lines(10280, 99, 'm', 3);  // a message beyond a pipe's buffer, in short lines
    const std::string mailer = TESTMAILER_PATH;
    const std::string brokenPipe = "postern: message not written whole to the mailer " + mailer + ": Broken pipe\n";
    const std::string killed = "postern: mailer " + mailer + " ended by signal 9 (Killed)\n";
    const auto exited = [&](int status) {
        return "postern: mailer " + mailer + " exited with status " + std::to_string(status) + "\n";
    };
    const std::string chatter = "mailer chatter on standard output\n";
    return {
        {"missing (exec fails)", POSTERN_MISSING_MAILER_PATH, "read:0", small,
         "postern: cannot run the mailer " MISSING_MAILER_PATH ": No such file or directory\n"},
        {"exits 0 without reading", POSTERN_PATH, "noread:0", big, brokenPipe},
        {"exits 1 without reading", POSTERN_PATH, "noread:1", small, exited(1)},
        {"exits 75 without reading", POSTERN_PATH, "noread:75", small, exited(75)},
        {"closes its input, lingers, exits 0", POSTERN_PATH, "stay:300", big, brokenPipe},
        {"reads half, then exits 0", POSTERN_PATH, "partial:524288:0", big, brokenPipe},
        {"killed by a signal while reading", POSTERN_PATH, "signal", big, killed},
        {"killed by a signal, small message", POSTERN_PATH, "signal", small, killed},
        {"reads everything, exits 1", POSTERN_PATH, "read:1", small, exited(1)},
        {"reads everything, exits 75", POSTERN_PATH, "read:75", big, exited(75)},
        {"writes on its standard output", POSTERN_PATH, "chatter", small, chatter, true, "a: 1\n\nb: 2\n\n"},
        {"reads slowly", POSTERN_PATH, "slow", "a=1&b=" + y.sent, "", true, "a: 1\n\nb: " + y.laidOut + "\n\n"},
        {"reads everything, exits 0", POSTERN_PATH, "read:0", "big=" + mib.sent, "", true,
         "big: " + mib.laidOut + "\n\n"},
        {"gateway started with SIGCHLD ignored", POSTERN_PATH, "read:0", small, "", true, "a: 1\n\nb: 2\n\n",
         {}, {SIGCHLD}},
        {"gateway started with standard error closed", POSTERN_PATH, "chatter", small, "", true,
         "a: 1\n\nb: 2\n\n", {STDERR_FILENO}},
        {"gateway started with other descriptors open", POSTERN_PATH, "read:0", small, "", true,
         "a: 1\n\nb: 2\n\n", {}, {}, {5, 9}},
    };
}

class MailerFaults : public testing::TestWithParam<Row> {};

TEST_P(MailerFaults, PageStatusAndLog)
{
    const Row& row = GetParam();
    const TempDir mailbox;
    Request request{{"forms@example.org"},
                    {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                     {"CONTENT_LENGTH", std::to_string(row.body.size())}},
                    row.body};
    use_mailbox(request, mailbox, row.mode);
    request.closed = row.closed;
    request.ignored = row.ignored;
    request.inherited = row.inherited;
    const Outcome r = run_program(row.program, request);
    EXPECT_EQ(r.out, row.delivered ? postern_success() : postern_error(mailer_failed));
    EXPECT_EQ(r.status, row.delivered ? 0 : 1);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.err, row.log);
    if (row.delivered) {
        EXPECT_TRUE(read_file(mailbox / "message") == postern_message(row.values));
        EXPECT_EQ(read_file(mailbox / "setup"), "descriptors: 0 1 2\nSIGPIPE: default\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Mailers, MailerFaults, testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<Row>& row) { return test_name(row.param.what); });

} // namespace
