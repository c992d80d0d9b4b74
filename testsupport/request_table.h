// The programs' tables of requests: one row a request, as a web server makes
// it, and all that must come of it. Each row is a test of its own, run twice,
// with the body in a file and through a socket in pieces, as servers hand it
// over (`ctest -R` or `--gtest_filter` runs one); a row beyond the sizes
// sites accept runs once. A program built with the portable form reader runs
// only the rows marked for it, which reach that reader's refills and its end
// of input.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "testsupport/run_program.h"

using Env = std::vector<std::pair<std::string, std::string>>;

struct RequestCase {
    std::vector<std::string> args;
    Env env;
    std::string body;
    std::string page;  // standard output, byte for byte
    int status = 0;
    std::optional<std::string> mail = std::nullopt;  // nullopt: the mailer never starts
    std::string log = {};                            // standard error: the server's error log
    const char* program = nullptr;                   // nullptr: the table's own program
    std::string mailerMode = {};                     // the test mailer's behaviour; empty: read all, exit 0
    std::string mailerArgs = "sendmail\n-t\n-oi\n";   // the mailer's argument list, one a line
};

// The whole environment the mailer gets from the gateway, one a line.
inline const char* const mailer_environment = "PATH=/usr/sbin:/usr/bin:/sbin:/bin\n";

// Runs the test mailer, in `mode`, from `mailbox`: it records what it was
// given and read there.
void use_mailbox(Request& request, const TempDir& mailbox, const std::string& mode = "");

// A row makes its case only when it runs, so that a table of large bodies
// costs nothing to the rows that do not run.
struct RequestRow {
    const char* what;
    RequestCase (*make)();
    unsigned runs = 0;  // the flags below
};

// A row beyond the sizes sites accept: one feed is enough.
inline constexpr unsigned once = 1;
// A row that also runs against the program built with the portable reader.
inline constexpr unsigned portableToo = 2;

inline const char* const urlencoded = "application/x-www-form-urlencoded";

// A request with this CONTENT_LENGTH, content type and method.
Env request(const std::string& length, const std::string& type = urlencoded, const std::string& method = "POST");

// A well-formed request for `body`.
Env post(const std::string& body);

// Runs the case against `program` (or the case's own) with a mailbox of its
// own for the test mailer, fed as `feed`: the page, the status, the log and
// the mail, if any, with the mailer's arguments and environment, must be as
// the case says; a program given the body's true
// length must read all of it, whatever it answers, or a server that resets
// such a socket loses the page.
void expect_request(const char* program, const RequestCase& c, Feed feed);

using RequestParam = std::tuple<RequestRow, Feed>;

// The rows' tests: each row with both feeds (one for a row run once), and
// with `portable` only the rows marked portableToo.
std::vector<RequestParam> request_params(const std::vector<RequestRow>& rows, bool portable);

// A test's name made of a row's words: letters, digits and underscores.
std::string test_name(std::string words);

// The test's name: the row's words, and the feed.
std::string request_name(const testing::TestParamInfo<RequestParam>& info);

// The rows' tests for INSTANTIATE_TEST_SUITE_P, in a test program built with
// PORTABLE_READER for the portable reader's build of its program.
#if defined(PORTABLE_READER)
#define REQUEST_ROWS(rows) testing::ValuesIn(request_params({std::begin(rows), std::end(rows)}, true)), request_name
#else
#define REQUEST_ROWS(rows) testing::ValuesIn(request_params({std::begin(rows), std::end(rows)}, false)), request_name
#endif
